// Files whose crypt filters differ by kind of data (ISO 32000-1 7.6.5): strings, streams and
// embedded files each by a filter of their own or Identity, and an attachment whose own Crypt
// filter names Identity. qpdf, pdftotext and mutool must read the file as built and the file
// we save from it with its pages reversed (as the reverse job saves it) alike: same
// encryption methods, page texts, title and attachments, with the same password.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/pdf_document.h"
#include "objects/stream.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"

namespace verava {
namespace {

using testing::CryptFilterKinds;
using testing::CryptMethod;
using testing::Quote;
using testing::RunCommand;

constexpr int kPages = 3;
const std::string kUser = "usr";

struct Layout {
    const char* name;
    CryptFilterKinds kinds;
    // mutool 1.21 reads crypt filters named StdCF or Identity only, so one method per file.
    // (poppler 22 reads no revision 4 file whose kinds differ: "Unsupported version/revision
    // (4/4)"; it sees those only through qpdf's decrypted copy.)
    bool mutoolReads;
};

const Layout kLayouts[] = {
    {"StmF Identity, AESV2 strings", {CryptMethod::Aes128, CryptMethod::Identity}, true},
    {"StrF RC4, StmF AESV2", {CryptMethod::Rc4, CryptMethod::Aes128}, false},
    {"StrF AESV2, StmF RC4", {CryptMethod::Aes128, CryptMethod::Rc4}, false},
    {"StrF Identity, StmF RC4", {CryptMethod::Identity, CryptMethod::Rc4}, true},
    {"EFF RC4, AESV2 otherwise",
     {CryptMethod::Aes128, CryptMethod::Aes128, true, CryptMethod::Rc4},
     false},
    {"EFF AESV2, StrF and StmF Identity",
     {CryptMethod::Identity, CryptMethod::Identity, true, CryptMethod::Aes128},
     true},
    {"everything Identity", {CryptMethod::Identity, CryptMethod::Identity}, true},
    {"everything AESV2", {CryptMethod::Aes128, CryptMethod::Aes128}, true},
};

// Object numbers of DocumentWithAttachments(3): the Info dictionary and the two embedded
// files.
constexpr int kNotesStream = 11;
constexpr int kPlainStream = 13;

// What the independent tools make of a file opened with the user password: qpdf directly and
// through a copy it decrypts (read by poppler), and mutool.
struct ToolView {
    std::string encryption;  // qpdf's lines on the methods
    std::string notes, plain;
    std::vector<std::string> decryptedPages;
    std::string decryptedTitle;
    std::vector<std::string> mutoolPages;
    std::string mutoolTitle, mutoolNotes, mutoolPlain;
};

std::string MethodLines(const std::string& shown) {
    std::string out;
    size_t at = 0;
    while (at < shown.size()) {
        size_t end = shown.find('\n', at);
        if (end == std::string::npos) end = shown.size();
        const std::string line = shown.substr(at, end - at);
        if (line.find("encryption method") != std::string::npos) out += line + "\n";
        at = end + 1;
    }
    return out;
}

// The "Page n" labels in the order a text dump shows them.
std::vector<std::string> PageOrder(const std::string& text) {
    std::vector<std::string> labels;
    size_t at = 0;
    while ((at = text.find("Page ", at)) != std::string::npos) {
        labels.push_back(text.substr(at, 6));
        at += 6;
    }
    return labels;
}

ToolView Look(const std::string& path) {
    ToolView v;
    const std::string pw = " --password=" + kUser + " ";
    int status = -1;
    const std::string log = RunCommand("qpdf --check" + pw + Quote(path) + " 2>&1", &status);
    EXPECT_EQ(status, 0) << path << "\n" << log;
    v.encryption = MethodLines(RunCommand("qpdf --show-encryption" + pw + Quote(path)));
    v.notes = RunCommand("qpdf --show-attachment=notes.txt" + pw + Quote(path) + " 2>&1");
    v.plain = RunCommand("qpdf --show-attachment=plain.txt" + pw + Quote(path) + " 2>&1");
    const std::string decrypted = path + ".decrypted.pdf";
    RunCommand("qpdf --decrypt" + pw + Quote(path) + " " + Quote(decrypted) + " 2>&1", &status);
    EXPECT_EQ(status, 0) << path;
    v.decryptedPages = PageOrder(RunCommand("pdftotext " + Quote(decrypted) + " - 2>/dev/null"));
    v.decryptedTitle = testing::PdfInfoValue(decrypted, "Title");
    const std::string mutool = "mutool show -b -p " + kUser + " " + Quote(path) + " ";
    v.mutoolPages = PageOrder(
        RunCommand("mutool draw -q -p " + kUser + " -F txt -o - " + Quote(path) + " 2>/dev/null"));
    v.mutoolTitle = RunCommand(mutool + "trailer/Info/Title 2>/dev/null");
    v.mutoolNotes = RunCommand(mutool + std::to_string(kNotesStream) + " 2>/dev/null");
    v.mutoolPlain = RunCommand(mutool + std::to_string(kPlainStream) + " 2>/dev/null");
    return v;
}

// Loads `bytes` with the user password, reverses the pages and saves; "" on failure.
std::string SaveReversed(const std::string& bytes) {
    TPDFDocument document;
    TMemoryStream in(bytes);
    if (document.LoadFromStream(in, u"usr") != TPDFDocument::kLoaded) return {};
    std::vector<int32_t> order;
    for (int32_t n = kPages; n >= 1; --n) order.push_back(n);
    if (!document.PageTree().Reorder(order)) return {};
    TMemoryStream out;
    if (!document.WriteTo(out)) return {};
    return out.Data();
}

TEST(CryptFiltersPeer, ToolsReadOurInputsAndOurSavedFilesAlike) {
    for (const char* tool : {"qpdf", "pdftotext", "pdfinfo", "mutool"}) {
        ASSERT_TRUE(testing::HaveTool(tool)) << tool << " is needed";
    }
    int index = 0;
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        for (testing::XRefKind xref : {testing::XRefKind::Table, testing::XRefKind::Stream}) {
            testing::PdfBuilder b = testing::DocumentWithAttachments(kPages);
            // With a cross-reference stream, the catalog and info go into an object stream.
            if (xref == testing::XRefKind::Stream) {
                b.Compress(1);
                b.Compress(4);
            }
            b.EncryptByKind(layout.kinds, kUser, "own");
            const std::string input = b.Build(xref);
            const std::string tag = std::to_string(index++);
            const std::string inPath = testing::WriteTempFile("cf-in-" + tag + ".pdf", input);
            const std::string saved = SaveReversed(input);
            ASSERT_FALSE(saved.empty());
            const std::string outPath = testing::WriteTempFile("cf-out-" + tag + ".pdf", saved);

            const std::vector<std::string> forward{"Page 1", "Page 2", "Page 3"};
            const std::vector<std::string> backward{"Page 3", "Page 2", "Page 1"};
            const ToolView in = Look(inPath);
            const ToolView out = Look(outPath);
            // qpdf reads every layout: the same methods, what is encrypted and what not.
            EXPECT_NE(in.encryption, "");
            EXPECT_EQ(out.encryption, in.encryption);
            // qpdf 11.3 and mutool 1.21 decrypt an embedded file stream by StmF, not by EFF
            // as ISO 32000-1 7.6.5 asks: where the two differ they see the stored bytes, and
            // only our own reading (the document tests) can speak for the attachment.
            const bool effApart =
                layout.kinds.writeEff && layout.kinds.embeddedFiles != layout.kinds.streams;
            if (!effApart) {
                EXPECT_EQ(in.notes, "attached notes");
                EXPECT_EQ(out.notes, in.notes);
            }
            EXPECT_EQ(in.plain, "stored as is");
            EXPECT_EQ(out.plain, in.plain);
            EXPECT_EQ(in.decryptedPages, forward);
            EXPECT_EQ(out.decryptedPages, backward);
            EXPECT_EQ(in.decryptedTitle, "Test document");
            EXPECT_EQ(out.decryptedTitle, in.decryptedTitle);
            if (layout.mutoolReads) {
                EXPECT_EQ(in.mutoolPages, forward);
                EXPECT_EQ(out.mutoolPages, backward);
                EXPECT_EQ(in.mutoolTitle, "(Test document)\n");
                EXPECT_EQ(out.mutoolTitle, in.mutoolTitle);
                if (!effApart) {
                    EXPECT_EQ(in.mutoolNotes, "attached notes");
                    EXPECT_EQ(out.mutoolNotes, in.mutoolNotes);
                }
                EXPECT_EQ(in.mutoolPlain, "stored as is");
                EXPECT_EQ(out.mutoolPlain, in.mutoolPlain);
            }
        }
    }
}

}  // namespace
}  // namespace verava
