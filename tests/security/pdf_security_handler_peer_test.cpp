// Files encrypted by qpdf must open with exactly the passwords qpdf was given, and their
// strings and streams must decrypt to what qpdf itself shows.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "objects/pdf_structure.h"
#include "objects/pdf_text.h"
#include "security/aes.h"
#include "security/pdf_security_handler.h"
#include "support/requirements.h"

namespace verava {
namespace {

namespace fs = std::filesystem;

const std::string kTitle = "Peer Title";
const std::string kContent = "BT /F1 12 Tf 20 100 Td (Hello, peer) Tj ET\n";
const std::string kXmp =
    "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"></x:xmpmeta><?xpacket end=\"w\"?>";

// A one-page file with an Info dictionary and an XMP stream, offsets computed here.
std::string BuildPlainPdf() {
    const std::vector<std::string> bodies = {
        "<< /Type /Catalog /Pages 2 0 R /Metadata 6 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>",
        "<< /Length " + std::to_string(kContent.size()) + " >>\nstream\n" + kContent +
            "\nendstream",
        "<< /Title (" + kTitle + ") /Producer (VERava tests) >>",
        "<< /Type /Metadata /Subtype /XML /Length " + std::to_string(kXmp.size()) +
            " >>\nstream\n" + kXmp + "\nendstream",
    };
    std::string out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < bodies.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + bodies[i] + "\nendobj\n";
    }
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(bodies.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(bodies.size() + 1) +
           " /Root 1 0 R /Info 5 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Standard output of a shell command; `status` gets its exit code.
std::string RunShell(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return out;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int raw = pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// The objects of one file, found by their "N 0 obj" text and parsed on demand; streams take
// "Length" bytes after the "stream" line.
class FileObjects {
  public:
    explicit FileObjects(std::string bytes) : bytes_(std::move(bytes)) {
        store_.OnResolveReference = [this](TPDFIndRef*, int32_t number, int32_t) {
            return Fetch(number);
        };
    }

    TPDFStructure& Store() { return store_; }

    TPDFDictionary* Trailer() {
        const size_t at = bytes_.rfind("trailer");
        if (at == std::string::npos) return nullptr;
        size_t consumed = 0;
        return As<TPDFDictionary>(store_.Parse(bytes_, at + 7, consumed));
    }

    TPDFObject* Fetch(int32_t number) {
        if (auto it = cache_.find(number); it != cache_.end()) return it->second;
        const std::string marker = std::to_string(number) + " 0 obj";
        size_t at = 0;
        while ((at = bytes_.find(marker, at)) != std::string::npos) {
            if (at == 0 || bytes_[at - 1] == '\n' || bytes_[at - 1] == '\r') break;
            ++at;
        }
        if (at == std::string::npos) return nullptr;
        const size_t start = at + marker.size();
        size_t consumed = 0;
        TPDFObject* object = store_.Parse(bytes_, start, consumed);
        size_t after = start + consumed;
        while (after < bytes_.size() &&
               (bytes_[after] == ' ' || bytes_[after] == '\r' || bytes_[after] == '\n')) {
            ++after;
        }
        if (auto* dict = As<TPDFDictionary>(object);
            dict != nullptr && bytes_.compare(after, 6, "stream") == 0) {
            after += 6;
            if (after < bytes_.size() && bytes_[after] == '\r') ++after;
            if (after < bytes_.size() && bytes_[after] == '\n') ++after;
            const int32_t length = dict->GetInteger("Length", 0);
            object = store_.NewStreamWith(dict, ByteSlice(bytes_.substr(after, length)));
        }
        cache_[number] = object;
        return object;
    }

  private:
    std::string bytes_;
    TPDFStructure store_;
    std::map<int32_t, TPDFObject*> cache_;
};

struct PeerCase {
    const char* name;
    const char* keyArgs;  // what follows the passwords in --encrypt
    bool weak;            // needs --allow-weak-crypto
    std::string user;     // UTF-8
    std::string owner;
    const char* cipher;
    int revision;
    bool clearMetadata;
};

const PeerCase kCases[] = {
    {"RC4 40 R2, empty user", "40", true, "", "own40", "rc4-40", 2, false},
    {"RC4 40 R2, user set", "40", true, "u40", "o40", "rc4-40", 2, false},
    {"RC4 128 R3, empty user", "128 --use-aes=n", true, "", "own128", "rc4-128", 3, false},
    // "ä" has a PDFDocEncoding code: qpdf and we must both hash the single byte E4.
    {"RC4 128 R3, user set", "128 --use-aes=n", true, "u128", "p\xC3\xA4ss", "rc4-128", 3, false},
    {"AES-128 R4, empty user", "128 --use-aes=y", false, "", "ownaes", "aes-128", 4, false},
    {"AES-128 R4, user set", "128 --use-aes=y", false, "uaes", "oaes", "aes-128", 4, false},
    {"AES-128 R4, clear-text metadata", "128 --use-aes=y --cleartext-metadata", false, "uaes",
     "oaes", "aes-128", 4, true},
    {"AES-256 R6, empty user", "256", false, "", "own256", "aes-256", 6, false},
    {"AES-256 R6, user set", "256", false, "p\xC3\xA4ss\xE2\x82\xAC", "o256", "aes-256", 6, false},
    {"AES-256 R5, user set", "256 --force-R5", true, "u5", "o5", "aes-256", 5, false},
};

class PdfSecurityHandlerPeerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        VERAVA_REQUIRE_TOOLS("qpdf");
        dir_ = fs::temp_directory_path() / ("verava_sechandler_peer_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        plain_ = dir_ / "plain.pdf";
        std::ofstream(plain_, std::ios::binary) << BuildPlainPdf();
    }
    void TearDown() override {
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
    }

    // Encrypts the plain file with qpdf; empty on failure.
    std::string Encrypt(const PeerCase& c, const fs::path& out) {
        std::string command = "qpdf --object-streams=disable ";
        if (c.weak) command += "--allow-weak-crypto ";
        command += "--encrypt " + Quote(c.user) + " " + Quote(c.owner) + " " + c.keyArgs + " -- " +
                   plain_.string() + " " + out.string() + " 2>&1";
        int status = 0;
        const std::string log = RunShell(command, status);
        EXPECT_TRUE(status == 0 || status == 3) << command << "\n" << log;
        return ReadAll(out);
    }

    std::string QpdfStream(const fs::path& file, int number, const std::string& password,
                           const char* mode) {
        int status = 0;
        std::string out = RunShell("qpdf --show-object=" + std::to_string(number) + " " + mode +
                                       " --password=" + Quote(password) + " " + file.string(),
                                   status);
        EXPECT_EQ(status, 0) << "qpdf --show-object " << number << " " << mode;
        return out;
    }

    fs::path dir_;
    fs::path plain_;
};

int32_t RefNumber(TPDFDictionary* dict, const char* key) {
    const auto* ref = As<TPDFIndRef>(dict != nullptr ? dict->GetValue(key) : nullptr);
    return ref != nullptr ? ref->TargetNumber : -1;
}

TEST_F(PdfSecurityHandlerPeerTest, QpdfEncryptedFilesOpenAndDecryptLikeQpdfShowsThem) {
    int index = 0;
    for (const PeerCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir_ / ("enc" + std::to_string(index++) + ".pdf");
        const std::string bytes = Encrypt(c, file);
        ASSERT_FALSE(bytes.empty());
        const std::u16string user = Utf8ToUnicode(c.user);
        const std::u16string owner = Utf8ToUnicode(c.owner);

        FileObjects objects(bytes);
        TPDFDictionary* trailer = objects.Trailer();
        ASSERT_NE(trailer, nullptr);
        TPDFSecurityHandler h;
        h.ReadEncryption(trailer);
        ASSERT_EQ(h.EncryptionStatus(), 1);
        EXPECT_EQ(h.Encryption().Revision, c.revision);
        EXPECT_EQ(h.CipherName(), c.cipher);
        EXPECT_EQ(h.Encryption().EncryptMetadata, !c.clearMetadata);
        EXPECT_GT(h.Encryption().EncryptObjectNumber, 0);

        // Exactly the right passwords, in exactly their roles.
        h.TryPassword(u"wrong");
        EXPECT_FALSE(h.UserAccepted());
        EXPECT_FALSE(h.OwnerAccepted());
        h.TryPassword(owner);
        EXPECT_FALSE(h.UserAccepted());
        EXPECT_TRUE(h.OwnerAccepted());
        const std::string ownerKey = h.ObjectKeyBase();
        h.TryPassword(user);
        EXPECT_TRUE(h.UserAccepted());
        EXPECT_FALSE(h.OwnerAccepted());
        EXPECT_EQ(h.ObjectKeyBase(), ownerKey);
        EXPECT_EQ(h.EncryptionStatus(), 1);
        ASSERT_TRUE(h.NeedsDecryption());

        // The Info title.
        const int32_t infoNumber = RefNumber(trailer, "Info");
        auto* info = As<TPDFDictionary>(objects.Fetch(infoNumber));
        ASSERT_NE(info, nullptr);
        h.DecryptObject(h.ObjectKey(infoNumber, 0), info);
        const auto* title = As<TPDFString>(info->GetValue("Title"));
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(title->Bytes, kTitle);

        // The page's content stream, against qpdf's own view of it.
        auto* catalog = As<TPDFDictionary>(objects.Fetch(RefNumber(trailer, "Root")));
        auto* pages = As<TPDFDictionary>(objects.Fetch(RefNumber(catalog, "Pages")));
        ASSERT_NE(pages, nullptr);
        const auto* kids = As<TPDFArray>(pages->GetValue("Kids"));
        ASSERT_NE(kids, nullptr);
        auto* page = As<TPDFDictionary>(ResolveIfReference(kids->Get(0)));
        const int32_t contentNumber = RefNumber(page, "Contents");
        auto* content = As<TPDFStream>(objects.Fetch(contentNumber));
        ASSERT_NE(content, nullptr);
        const std::string encrypted(content->Data());
        h.DecryptObject(h.ObjectKey(contentNumber, 0), content);
        EXPECT_EQ(content->Data(), QpdfStream(file, contentNumber, c.user, "--raw-stream-data"));
        EXPECT_EQ(content->GetDecodedData(), kContent);
        EXPECT_EQ(QpdfStream(file, contentNumber, c.owner, "--filtered-stream-data"), kContent);

        // Metadata: encrypted unless qpdf was told to leave it clear.
        const int32_t metadataNumber = RefNumber(catalog, "Metadata");
        auto* metadata = As<TPDFStream>(objects.Fetch(metadataNumber));
        ASSERT_NE(metadata, nullptr);
        const bool storedClear = metadata->Data().find("xmpmeta") != std::string_view::npos;
        EXPECT_EQ(storedClear, c.clearMetadata);
        h.DecryptObject(h.ObjectKey(metadataNumber, 0), metadata);
        EXPECT_EQ(metadata->Data(), QpdfStream(file, metadataNumber, c.user, "--raw-stream-data"));
        EXPECT_EQ(metadata->GetDecodedData(), kXmp);

        // Encrypting again and decrypting gives the same plain objects back; RC4 even
        // reproduces the file's bytes.
        const std::string plainContent(content->Data());
        const TObjectKey contentKey = h.ObjectKey(contentNumber, 0);
        h.EncryptObject(contentKey, content);
        h.EncryptObject(h.ObjectKey(infoNumber, 0), info);
        if (h.Encryption().CipherMode == kCipherRc4) {
            EXPECT_EQ(content->Data(), encrypted);
        } else {
            EXPECT_NE(content->Data(), plainContent);
            EXPECT_EQ(AesDecryptWithIV(contentKey.Aes, content->Data()), plainContent);
        }
        EXPECT_NE(title->Bytes, kTitle);
        h.DecryptObject(contentKey, content);
        h.DecryptObject(h.ObjectKey(infoNumber, 0), info);
        EXPECT_EQ(content->Data(), plainContent);
        EXPECT_EQ(title->Bytes, kTitle);
    }
}

}  // namespace
}  // namespace verava
