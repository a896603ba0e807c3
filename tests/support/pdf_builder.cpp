#include "support/pdf_builder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "objects/stream_filters.h"

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

std::string ClassicSection(const std::vector<std::pair<int, Row>>& rows, bool crlf) {
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
                   (crlf ? "\r\n" : " \n");
        }
        i = j + 1;
    }
    return out;
}

}  // namespace

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
        out += std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body +
               "\nendobj\n";
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
        out += ClassicSection(tableRows, CrLfEntries);
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
        out += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
        rows.emplace_back(number, Row{1, offsets_[number], 0});
        objects_[number] = Object{0, body};
        if (number > maxNumber) maxNumber = number;
        if (number >= next_) next_ = number + 1;
    }
    if (trailerEntries.empty()) trailerEntries = TrailerEntries;
    if (kind == XRefKind::Table || kind == XRefKind::Hybrid) {
        const int size = maxNumber + 1;
        startXRef_ = static_cast<int64_t>(out.size());
        out += ClassicSection(rows, CrLfEntries);
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

std::string WriteTempFile(const std::string& name, const std::string& bytes) {
    const std::string dir = "/tmp/verava-tests-" + std::to_string(getpid());
    mkdir(dir.c_str(), 0700);
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string RunCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        if (status != nullptr) *status = -1;
        return output;
    }
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int rc = pclose(pipe);
    if (status != nullptr) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

bool HaveTool(const std::string& tool) {
    int status = 0;
    RunCommand("command -v " + tool + " >/dev/null 2>&1", &status);
    return status == 0;
}

}  // namespace verava::testing
