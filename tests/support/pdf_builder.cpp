#include "support/pdf_builder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

#include "objects/stream_filters.h"
#include "security/aes.h"
#include "security/md5.h"
#include "security/rc4.h"
#include "security/standard_keys.h"

namespace verava::testing {
namespace {

std::string Pad(int64_t value, int width) {
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), '0');
    return s;
}

void PutBigEndian(std::string& out, uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

struct Row {
    int type;  // 0 free, 1 in use, 2 compressed
    int64_t field2;
    int field3;
};

// Cross-reference stream rows for `numbers` (W [1 4 2]) and the Index array covering them.
std::string EncodeRows(const std::vector<std::pair<int, Row>>& rows, bool predicted) {
    std::string raw;
    for (const auto& r : rows) {
        PutBigEndian(raw, static_cast<uint64_t>(r.second.type), 1);
        PutBigEndian(raw, static_cast<uint64_t>(r.second.field2), 4);
        PutBigEndian(raw, static_cast<uint64_t>(r.second.field3), 2);
    }
    if (!predicted) return raw;
    // PNG "Up" predictor: each row tagged 2 and stored as the difference to the row above.
    const size_t columns = 7;
    std::string rowsOut;
    std::string previous(columns, '\0');
    for (size_t i = 0; i < raw.size(); i += columns) {
        rowsOut.push_back(2);
        for (size_t k = 0; k < columns; ++k) {
            rowsOut.push_back(static_cast<char>(static_cast<unsigned char>(raw[i + k]) -
                                                static_cast<unsigned char>(previous[k])));
        }
        previous = raw.substr(i, columns);
    }
    return FlateEncode(rowsOut);
}

std::string IndexArray(const std::vector<std::pair<int, Row>>& rows) {
    std::string index = "[";
    size_t i = 0;
    while (i < rows.size()) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1].first == rows[j].first + 1) ++j;
        index += " " + std::to_string(rows[i].first) + " " + std::to_string(j - i + 1);
        i = j + 1;
    }
    return index + " ]";
}

std::string ClassicSection(const std::vector<std::pair<int, Row>>& rows,
                           const std::string& rowEnd) {
    std::string out = "xref\n";
    size_t i = 0;
    while (i < rows.size()) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1].first == rows[j].first + 1) ++j;
        out += std::to_string(rows[i].first) + " " + std::to_string(j - i + 1) + "\n";
        for (size_t k = i; k <= j; ++k) {
            const Row& r = rows[k].second;
            const bool free = r.type != 1;
            out += Pad(free ? 0 : r.field2, 10) + " " +
                   Pad(free && rows[k].first == 0 ? 65535 : r.field3, 5) + (free ? " f" : " n") +
                   rowEnd;
        }
        i = j + 1;
    }
    return out;
}

std::string HexOf(std::string_view bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out = "<";
    for (unsigned char c : bytes) {
        out.push_back(kDigits[c >> 4]);
        out.push_back(kDigits[c & 15]);
    }
    return out + ">";
}

std::string Xor(std::string key, int value) {
    for (char& c : key) c = static_cast<char>(c ^ value);
    return key;
}

// Fixed, so that written files are the same from run to run.
const std::string kDocumentId = "VERava-test-id-0";
constexpr int32_t kPermissions = -1028;

std::string PermissionBytes() {
    std::string p;
    for (int i = 0; i < 4; ++i) p.push_back(static_cast<char>((kPermissions >> (8 * i)) & 0xFF));
    return p;
}

// The password padded or cut to 32 bytes (ISO 32000-1 7.6.3.3, Algorithm 2 step a).
std::string PadPassword(const std::string& password) {
    std::string padded = password.substr(0, 32);
    padded += PasswordPadding().substr(0, 32 - padded.size());
    return padded;
}

// Literal strings "(...)" outside stream data become hex strings of their encrypted bytes.
// Test bodies hold simple strings: escapes are taken over as they stand.
template <typename Transform>
std::string EncryptStrings(const std::string& text, Transform&& transform) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '(') {
            out.push_back(text[i++]);
            continue;
        }
        int depth = 0;
        size_t j = i;
        std::string bytes;
        for (; j < text.size(); ++j) {
            if (text[j] == '\\' && j + 1 < text.size()) {
                bytes.push_back(text[++j]);
                continue;
            }
            if (text[j] == '(' && depth++ == 0) continue;
            if (text[j] == ')' && --depth == 0) break;
            bytes.push_back(text[j]);
        }
        out += HexOf(transform(bytes));
        i = j + 1;
    }
    return out;
}

}  // namespace

void PdfBuilder::Encrypt(Cipher cipher, const std::string& userPassword,
                         const std::string& ownerPassword) {
    cipher_ = cipher;
    kinds_.reset();
    encryptNumber_ = next_;
    const std::string p = PermissionBytes();
    std::string dictionary;
    if (cipher == Cipher::Aes256) {
        // ISO 32000-2 7.6.4.4.7-8, Algorithms 8 and 9: salts fixed for repeatable files.
        fileKey_ = std::string(32, '\x5A');
        const std::string userValidation = "uvsalt01", userKeySalt = "uksalt01";
        const std::string ownerValidation = "ovsalt01", ownerKeySalt = "oksalt01";
        const std::string zeroIv(16, '\0');
        const std::string u = Revision6Hash(userPassword + userValidation, userPassword, "") +
                              userValidation + userKeySalt;
        const std::string ue = AesCbcEncrypt(
            Revision6Hash(userPassword + userKeySalt, userPassword, ""), zeroIv, fileKey_);
        const std::string o = Revision6Hash(ownerPassword + ownerValidation + u, ownerPassword, u) +
                              ownerValidation + ownerKeySalt;
        const std::string oe = AesCbcEncrypt(
            Revision6Hash(ownerPassword + ownerKeySalt + u, ownerPassword, u), zeroIv, fileKey_);
        std::string perms = p + "\xFF\xFF\xFF\xFFTadb0000";
        perms = AesCbcEncrypt(fileKey_, zeroIv, perms);
        dictionary =
            "<< /Filter /Standard /V 5 /R 6 /Length 256 /CF << /StdCF << /CFM /AESV3 "
            "/AuthEvent /DocOpen /Length 32 >> >> /StmF /StdCF /StrF /StdCF /O " +
            HexOf(o) + " /U " + HexOf(u) + " /OE " + HexOf(oe) + " /UE " + HexOf(ue) + " /Perms " +
            HexOf(perms) + " /P " + std::to_string(kPermissions) + " >>";
    } else {
        // ISO 32000-1 7.6.3.3-4, Algorithms 2-5.
        const bool revision2 = cipher == Cipher::Rc4_40;
        const size_t n = revision2 ? 5 : 16;
        std::string h = Md5(PadPassword(ownerPassword.empty() ? userPassword : ownerPassword));
        if (!revision2) {
            for (int i = 0; i < 50; ++i) h = Md5(h);
        }
        const std::string ownerKey = h.substr(0, n);
        std::string o = Rc4(ownerKey, PadPassword(userPassword));
        if (!revision2) {
            for (int i = 1; i <= 19; ++i) o = Rc4(Xor(ownerKey, i), o);
        }
        h = Md5(PadPassword(userPassword) + o + p + kDocumentId);
        if (!revision2) {
            for (int i = 0; i < 50; ++i) h = Md5(h.substr(0, n));
        }
        fileKey_ = h.substr(0, n);
        std::string u;
        if (revision2) {
            u = Rc4(fileKey_, PasswordPadding());
        } else {
            u = Rc4(fileKey_, Md5(PasswordPadding() + kDocumentId));
            for (int i = 1; i <= 19; ++i) u = Rc4(Xor(fileKey_, i), u);
            u += std::string(16, '\0');
        }
        const std::string entries =
            " /O " + HexOf(o) + " /U " + HexOf(u) + " /P " + std::to_string(kPermissions) + " >>";
        switch (cipher) {
            case Cipher::Rc4_40:
                dictionary = "<< /Filter /Standard /V 1 /R 2" + entries;
                break;
            case Cipher::Rc4_128:
                dictionary = "<< /Filter /Standard /V 2 /R 3 /Length 128" + entries;
                break;
            default:
                dictionary =
                    "<< /Filter /Standard /V 4 /R 4 /Length 128 /CF << /StdCF << /CFM "
                    "/AESV2 /AuthEvent /DocOpen /Length 16 >> >> /StmF /StdCF /StrF "
                    "/StdCF" +
                    entries;
                break;
        }
    }
    Set(encryptNumber_, dictionary);
    TrailerEntries += " /Encrypt " + std::to_string(encryptNumber_) + " 0 R /ID [" +
                      HexOf(kDocumentId) + " " + HexOf(kDocumentId) + "]";
}

void PdfBuilder::EncryptByKind(const CryptFilterKinds& kinds, const std::string& userPassword,
                               const std::string& ownerPassword) {
    // Revision 4's keys and entries, with a filter for each method used in place of StdCF.
    Encrypt(Cipher::Aes128, userPassword, ownerPassword);
    kinds_ = kinds;
    std::string filters, names;
    auto name = [&](const char* key, CryptMethod method) {
        const std::string filter = method == CryptMethod::Aes128 ? "StdCF"
                                   : method == CryptMethod::Rc4  ? "ArcCF"
                                                                 : "Identity";
        names += std::string(" /") + key + " /" + filter;
        if (method == CryptMethod::Identity || filters.find(filter) != std::string::npos) return;
        filters += " /" + filter + " << /Type /CryptFilter /CFM /" +
                   (method == CryptMethod::Rc4 ? "V2" : "AESV2") + " /Length 16 >>";
    };
    name("StrF", kinds.strings);
    name("StmF", kinds.streams);
    if (kinds.writeEff) name("EFF", kinds.embeddedFiles);
    std::string& dictionary = objects_[encryptNumber_].body;
    const size_t from = dictionary.find(" /CF "), to = dictionary.find(" /O ");
    dictionary.replace(from, to - from, " /CF <<" + filters + " >>" + names);
}

std::string PdfBuilder::Written(int number, int generation, const std::string& body) const {
    if (encryptNumber_ == 0 || number == encryptNumber_) return body;
    std::string key = fileKey_;
    std::string rc4Key;  // for data of a kind EncryptByKind gave RC4
    if (cipher_ != Cipher::Aes256) {
        std::string salt = key;
        for (int i = 0; i < 3; ++i) salt.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
        for (int i = 0; i < 2; ++i)
            salt.push_back(static_cast<char>((generation >> (8 * i)) & 0xFF));
        rc4Key = Md5(salt).substr(0, std::min<size_t>(fileKey_.size() + 5, 16));
        if (cipher_ == Cipher::Aes128) salt += "sAlT";
        key = Md5(salt).substr(0, std::min<size_t>(fileKey_.size() + 5, 16));
    }
    const bool aes = cipher_ == Cipher::Aes128 || cipher_ == Cipher::Aes256;
    auto transform = [&](const std::string& plain) {
        if (!aes) return Rc4(key, plain);
        // A fixed IV keeps files repeatable; PKCS#7 padding as the standard asks.
        const std::string iv = "VERava-test-iv-0";
        std::string padded = plain;
        padded.append(16 - plain.size() % 16, static_cast<char>(16 - plain.size() % 16));
        return iv + AesCbcEncrypt(key, iv, padded);
    };
    // With crypt filters per kind, data of each method as they are (Identity), by RC4, or as
    // the file's AES-128 has them.
    auto by = [&](CryptMethod method) -> std::function<std::string(const std::string&)> {
        if (!kinds_ || method == CryptMethod::Aes128) return transform;
        if (method == CryptMethod::Rc4)
            return [&](const std::string& plain) { return Rc4(rc4Key, plain); };
        return [](const std::string& plain) { return plain; };
    };
    const auto strings = by(kinds_ ? kinds_->strings : CryptMethod::Aes128);
    const size_t stream = body.find("stream\n");
    const size_t end = body.rfind("\nendstream");
    if (stream == std::string::npos || end == std::string::npos || end < stream) {
        return EncryptStrings(body, strings);
    }
    if (body.find("/Type /XRef") != std::string::npos) return body;
    CryptMethod method = kinds_ ? kinds_->streams : CryptMethod::Aes128;
    if (kinds_ && body.rfind("/Crypt", stream) != std::string::npos) {
        method = body.rfind("/Name /StdCF", stream) != std::string::npos   ? CryptMethod::Aes128
                 : body.rfind("/Name /ArcCF", stream) != std::string::npos ? CryptMethod::Rc4
                                                                           : CryptMethod::Identity;
    } else if (kinds_ && kinds_->writeEff &&
               body.rfind("/Type /EmbeddedFile", stream) != std::string::npos) {
        method = kinds_->embeddedFiles;
    }
    const std::string data = by(method)(body.substr(stream + 7, end - stream - 7));
    std::string head = EncryptStrings(body.substr(0, stream), strings);
    const size_t length = head.find("/Length ");
    if (length != std::string::npos) {
        size_t digits = length + 8;
        while (digits < head.size() && head[digits] >= '0' && head[digits] <= '9') ++digits;
        head.replace(length + 8, digits - length - 8, std::to_string(data.size()));
    }
    return head + "stream\n" + data + body.substr(end);
}

PdfBuilder::PdfBuilder(std::string version) : version_(std::move(version)) {}

int PdfBuilder::Add(std::string body) {
    const int number = next_;
    Set(number, std::move(body));
    return number;
}

void PdfBuilder::Set(int number, std::string body, int generation) {
    objects_[number] = Object{generation, std::move(body)};
    if (number >= next_) next_ = number + 1;
}

std::string PdfBuilder::StreamBody(std::string_view entries, std::string_view data) {
    std::string s = "<< ";
    s += entries;
    s += " /Length " + std::to_string(data.size()) + " >>\nstream\n";
    s += data;
    s += "\nendstream";
    return s;
}

void PdfBuilder::Compress(int number) { compressed_.insert(number); }

int64_t PdfBuilder::OffsetOf(int number) const {
    auto it = offsets_.find(number);
    return it == offsets_.end() ? -1 : it->second;
}

std::string PdfBuilder::Build(XRefKind kind) {
    offsets_.clear();
    std::string out = "%PDF-" + version_ + "\n%\xE2\xE3\xCF\xD3\n";
    auto write = [&](int number, int generation, const std::string& body) {
        offsets_[number] = static_cast<int64_t>(out.size());
        out += std::to_string(number) + " " + std::to_string(generation) + " obj\n" +
               Written(number, generation, body) + "\nendobj\n";
    };

    const bool useStreams = kind != XRefKind::Table && !compressed_.empty();
    std::map<int, Row> rows;
    for (const auto& [number, object] : objects_) {
        if (useStreams && compressed_.count(number) != 0) continue;
        write(number, object.generation, object.body);
        rows[number] = Row{1, offsets_[number], object.generation};
    }
    int objStm = 0;
    if (useStreams) {
        // One object stream holding every compressed object.
        objStm = next_;
        std::string header;
        std::string bodies;
        int index = 0;
        for (int number : compressed_) {
            header += std::to_string(number) + " " + std::to_string(bodies.size()) + " ";
            bodies += objects_.at(number).body + "\n";
            rows[number] = Row{2, objStm, index++};
        }
        const std::string data = header + bodies;
        write(objStm, 0,
              StreamBody("/Type /ObjStm /N " + std::to_string(compressed_.size()) + " /First " +
                             std::to_string(header.size()),
                         data));
        rows[objStm] = Row{1, offsets_[objStm], 0};
    }

    const int xrefNumber = useStreams ? objStm + 1 : next_;
    int size = (kind == XRefKind::Table ? next_ : xrefNumber + 1);
    std::vector<std::pair<int, Row>> all;
    for (int n = 0; n < size; ++n) {
        auto it = rows.find(n);
        all.emplace_back(n, it != rows.end() ? it->second : Row{0, 0, n == 0 ? 65535 : 0});
    }

    if (kind == XRefKind::Table || kind == XRefKind::Hybrid) {
        std::vector<std::pair<int, Row>> tableRows;
        for (auto r : all) {
            if (r.second.type == 2) r.second = Row{0, 0, 0};  // listed free; XRefStm has them
            tableRows.push_back(r);
        }
        std::string trailer = "<< /Size " + std::to_string(size) + " " + TrailerEntries;
        if (kind == XRefKind::Hybrid) {
            std::vector<std::pair<int, Row>> streamRows;
            for (const auto& r : all) {
                if (r.second.type == 2) streamRows.push_back(r);
            }
            const int64_t streamOffset = static_cast<int64_t>(out.size());
            write(xrefNumber, 0,
                  StreamBody("/Type /XRef /Size " + std::to_string(size) + " /W [1 4 2] /Index " +
                                 IndexArray(streamRows),
                             EncodeRows(streamRows, false)));
            trailer += " /XRefStm " + std::to_string(streamOffset);
        }
        startXRef_ = static_cast<int64_t>(out.size());
        out += ClassicSection(tableRows, RowEnd);
        out +=
            "trailer\n" + trailer + " >>\nstartxref\n" + std::to_string(startXRef_) + "\n%%EOF\n";
    } else {
        startXRef_ = static_cast<int64_t>(out.size());
        all[xrefNumber] = {xrefNumber, Row{1, startXRef_, 0}};
        const bool predicted = kind == XRefKind::StreamFlatePredicted;
        std::string entries =
            "/Type /XRef /Size " + std::to_string(size) + " /W [1 4 2] " + TrailerEntries;
        if (predicted)
            entries += " /Filter /FlateDecode /DecodeParms << /Columns 7 /Predictor 12 >>";
        write(xrefNumber, 0, StreamBody(entries, EncodeRows(all, predicted)));
        out += "startxref\n" + std::to_string(startXRef_) + "\n%%EOF\n";
    }
    lastSize_ = size;
    return Prefix + out;
}

std::string PdfBuilder::AppendUpdate(const std::string& base,
                                     const std::map<int, std::string>& objects, XRefKind kind,
                                     std::string trailerEntries) {
    std::string out = base.substr(Prefix.size());
    const int64_t previous = startXRef_;
    std::vector<std::pair<int, Row>> rows;
    int maxNumber = static_cast<int>(lastSize_) - 1;
    for (const auto& [number, body] : objects) {
        offsets_[number] = static_cast<int64_t>(out.size());
        out += std::to_string(number) + " 0 obj\n" + Written(number, 0, body) + "\nendobj\n";
        rows.emplace_back(number, Row{1, offsets_[number], 0});
        objects_[number] = Object{0, body};
        if (number > maxNumber) maxNumber = number;
        if (number >= next_) next_ = number + 1;
    }
    if (trailerEntries.empty()) trailerEntries = TrailerEntries;
    if (kind == XRefKind::Table || kind == XRefKind::Hybrid) {
        const int size = maxNumber + 1;
        startXRef_ = static_cast<int64_t>(out.size());
        out += ClassicSection(rows, RowEnd);
        out += "trailer\n<< /Size " + std::to_string(size) + " " + trailerEntries + " /Prev " +
               std::to_string(previous) + " >>\nstartxref\n" + std::to_string(startXRef_) +
               "\n%%EOF\n";
        lastSize_ = size;
    } else {
        const int xrefNumber = maxNumber + 1;
        const int size = xrefNumber + 1;
        startXRef_ = static_cast<int64_t>(out.size());
        rows.emplace_back(xrefNumber, Row{1, startXRef_, 0});
        const bool predicted = kind == XRefKind::StreamFlatePredicted;
        std::string entries = "/Type /XRef /Size " + std::to_string(size) + " /W [1 4 2] /Index " +
                              IndexArray(rows) + " /Prev " + std::to_string(previous) + " " +
                              trailerEntries;
        if (predicted)
            entries += " /Filter /FlateDecode /DecodeParms << /Columns 7 /Predictor 12 >>";
        offsets_[xrefNumber] = startXRef_;
        out += std::to_string(xrefNumber) + " 0 obj\n" +
               StreamBody(entries, EncodeRows(rows, predicted)) + "\nendobj\n";
        out += "startxref\n" + std::to_string(startXRef_) + "\n%%EOF\n";
        next_ = xrefNumber + 1;
        lastSize_ = size;
    }
    return Prefix + out;
}

PdfBuilder SimpleDocument(int pages, const std::string& pageTextPrefix) {
    PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int k = 0; k < pages; ++k) kids += std::to_string(5 + 2 * k) + " 0 R ";
    b.Set(2, "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages) + " >>");
    b.Set(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    b.Set(4, "<< /Producer (VERava tests) /Title (Test document) >>");
    for (int k = 0; k < pages; ++k) {
        const int page = 5 + 2 * k;
        b.Set(page,
              "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 "
              "R >> >> /Contents " +
                  std::to_string(page + 1) + " 0 R >>");
        b.Set(page + 1, PdfBuilder::StreamBody("", "BT /F1 24 Tf 72 700 Td (" + pageTextPrefix +
                                                       " " + std::to_string(k + 1) + ") Tj ET"));
    }
    b.TrailerEntries = "/Root 1 0 R /Info 4 0 R";
    return b;
}

PdfBuilder DocumentWithAttachments(int pages) {
    PdfBuilder b = SimpleDocument(pages);
    const int n = b.NextNumber();
    auto ref = [n](int k) { return std::to_string(n + k) + " 0 R"; };
    b.Set(n, PdfBuilder::StreamBody("/Type /EmbeddedFile", "attached notes"));
    b.Set(n + 1, "<< /Type /Filespec /F (notes.txt) /EF << /F " + ref(0) + " >> >>");
    b.Set(n + 2, PdfBuilder::StreamBody(
                     "/Type /EmbeddedFile /Filter [/Crypt] /DecodeParms [<< /Name /Identity >>]",
                     "stored as is"));
    b.Set(n + 3, "<< /Type /Filespec /F (plain.txt) /EF << /F " + ref(2) + " >> >>");
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /Names << /EmbeddedFiles << /Names [(notes.txt) " +
                 ref(1) + " (plain.txt) " + ref(3) + "] >> >> >>");
    return b;
}

std::string XRefStreamRow(int type, int64_t field2, int field3) {
    std::string row;
    PutBigEndian(row, static_cast<uint64_t>(type), 1);
    PutBigEndian(row, static_cast<uint64_t>(field2), 4);
    PutBigEndian(row, static_cast<uint64_t>(field3), 2);
    return row;
}

std::string Overwrite(std::string bytes, size_t offset, std::string_view text) {
    if (offset + text.size() > bytes.size()) throw std::out_of_range("Overwrite past the end");
    bytes.replace(offset, text.size(), text);
    return bytes;
}

std::string InsertAt(std::string bytes, size_t offset, std::string_view text) {
    bytes.insert(offset, text);
    return bytes;
}

std::string Truncate(std::string bytes, size_t length) {
    if (length < bytes.size()) bytes.resize(length);
    return bytes;
}

}  // namespace verava::testing
