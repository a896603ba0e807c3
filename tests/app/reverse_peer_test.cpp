// The reverse job end to end on files that independent tools wrote or check: qpdf variants
// (object streams, linearized, encrypted), incremental updates and damaged files. Every
// output must pass `qpdf --check` and show its pages in reverse order in pdftotext.
#include <gtest/gtest.h>

#include "app/workflow.h"
#include "objects/pdf_text.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"

namespace verava {
namespace {

using testing::Quote;
using testing::RunCommand;

void ExpectReversed(const std::string& output, int pages, const std::string& password,
                    const std::string& what, bool ownerPassword = false) {
    const std::string pw = password.empty() ? "" : " --password=" + password;
    int status = 0;
    const std::string check =
        RunCommand("qpdf --check" + pw + " " + Quote(output) + " 2>&1", &status);
    EXPECT_EQ(status, 0) << what << "\n" << check;
    const std::string upw =
        password.empty() ? "" : (ownerPassword ? " -opw " : " -upw ") + password;
    for (int n = 1; n <= pages; ++n) {
        const std::string text =
            RunCommand("pdftotext" + upw + " -f " + std::to_string(n) + " -l " + std::to_string(n) +
                       " " + Quote(output) + " - 2>/dev/null");
        EXPECT_NE(text.find("Page " + std::to_string(pages + 1 - n)), std::string::npos)
            << what << " page " << n << ": " << text;
    }
}

std::string Reverse(const std::string& input, const std::string& password = "") {
    WorkflowProgress progress;
    const WorkflowResult r =
        ReverseFilePages(Utf8ToUnicode(input), progress, Utf8ToUnicode(password));
    EXPECT_EQ(r.outcome, WorkflowOutcome::Done) << input;
    return UnicodeToUtf8(r.outputPath);
}

class ReversePeer : public ::testing::Test {
  protected:
    void SetUp() override { VERAVA_REQUIRE_TOOLS("qpdf", "pdftotext"); }
};

TEST_F(ReversePeer, FilesRewrittenByQpdf) {
    const std::string source =
        testing::WriteTempFile("peer-src.pdf", testing::SimpleDocument(7).Build());
    const char* variants[] = {"--object-streams=generate", "--linearize",
                              "--object-streams=generate --linearize", "--qdf"};
    int i = 0;
    for (const char* options : variants) {
        const std::string input =
            testing::WriteTempFile("peer-in-" + std::to_string(i++) + ".pdf", "");
        int status = 0;
        RunCommand(std::string("qpdf ") + options + " " + Quote(source) + " " + Quote(input),
                   &status);
        ASSERT_EQ(status, 0) << options;
        ExpectReversed(Reverse(input), 7, "", options);
    }
}

TEST_F(ReversePeer, BuilderVariantsUpdatesAndDamage) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases;
    for (testing::XRefKind kind :
         {testing::XRefKind::Stream, testing::XRefKind::StreamFlatePredicted,
          testing::XRefKind::Hybrid}) {
        testing::PdfBuilder b = testing::SimpleDocument(5);
        b.Compress(3);
        b.Compress(6);
        cases.push_back({"xref stream kind", b.Build(kind)});
    }
    {
        testing::PdfBuilder b = testing::SimpleDocument(5);
        const std::string base = b.Build();
        cases.push_back({"incremental update", b.AppendUpdate(base, {{4, "<< /Title (v2) >>"}})});
    }
    {
        testing::PdfBuilder b = testing::SimpleDocument(5);
        const std::string good = b.Build();
        cases.push_back(
            {"garbage table", testing::Overwrite(good, static_cast<size_t>(b.StartXRef()) + 6,
                                                 std::string(50, '?'))});
        cases.push_back({"no startxref", good.substr(0, good.rfind("startxref"))});
        cases.push_back(
            {"shifted offsets", testing::InsertAt(good, static_cast<size_t>(b.OffsetOf(1)) - 1,
                                                  std::string(123, '\n'))});
    }
    {
        testing::PdfBuilder b = testing::SimpleDocument(5);
        b.Prefix = "garbage before the header\n";
        cases.push_back({"junk before the header", b.Build()});
    }
    {
        testing::PdfBuilder b = testing::SimpleDocument(5);
        b.RowEnd = " \r\n";
        cases.push_back({"21-byte table rows", b.Build()});
        const std::string good = b.Build();
        cases.push_back({"cut before the table", good.substr(0, static_cast<size_t>(b.StartXRef()))});
    }
    {
        // Object streams without their cross-reference stream.
        testing::PdfBuilder b = testing::SimpleDocument(5);
        for (int n : {1, 2, 3, 4, 5, 7}) b.Compress(n);
        const std::string good = b.Build(testing::XRefKind::Stream);
        cases.push_back({"object streams, cut", good.substr(0, static_cast<size_t>(b.StartXRef()))});
    }
    {
        // Trees that lie: a loop back to the root, a Count of 2^31, Kids that are no pages.
        testing::PdfBuilder b = testing::SimpleDocument(5);
        b.Set(2, "<< /Type /Pages /Kids [5 0 R 7 0 R 20 0 R] /Count 2147483648 >>");
        b.Set(20, "<< /Type /Pages /Parent 2 0 R /Kids [9 0 R 2 0 R 6 0 R 11 0 R 13 0 R 3 0 R "
                  "(x)] /Count 3 >>");
        cases.push_back({"a tree that lies", b.Build()});
    }
    {
        // Numbers beyond what four decimals can scale, in a page's own entries.
        testing::PdfBuilder b = testing::SimpleDocument(5);
        b.Set(5,
              "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 "
              "0 R >> >> /Contents 6 0 R /Big 123456789012345678901234 /Private [ "
              "100000000000000000000 -950000000000000.5 ] >>");
        cases.push_back({"huge numbers", b.Build()});
    }
    for (testing::Cipher cipher : {testing::Cipher::Rc4_40, testing::Cipher::Aes256}) {
        testing::PdfBuilder b = testing::SimpleDocument(5);
        for (int n : {1, 2, 4, 5, 7}) b.Compress(n);
        b.Encrypt(cipher, "", "own");
        cases.push_back({"encrypted object streams", b.Build(testing::XRefKind::Stream)});
    }
    {
        // Crypt filters per kind (ISO 32000-1 7.6.5): streams as stored, strings AESV2.
        testing::PdfBuilder b = testing::SimpleDocument(5);
        b.EncryptByKind({testing::CryptMethod::Aes128, testing::CryptMethod::Identity}, "", "own");
        cases.push_back({"StmF Identity, AESV2 strings", b.Build()});
    }
    int i = 0;
    for (const Case& c : cases) {
        const std::string input =
            testing::WriteTempFile("var-" + std::to_string(i++) + ".pdf", c.bytes);
        const bool encrypted = c.bytes.find("/Encrypt") != std::string::npos;
        const std::string output = Reverse(input);
        ExpectReversed(output, 5, encrypted ? "own" : "", c.what, encrypted);
        if (std::string(c.what) == "huge numbers") {
            // Written with every digit a double holds, never dropped.
            const std::string bytes = testing::ReadFileBytes(output);
            EXPECT_NE(bytes.find("/Big 123456789012345690000000.0\n"), std::string::npos);
            EXPECT_NE(bytes.find("/Private [ 100000000000000000000.0 -950000000000000.5 ]"),
                      std::string::npos);
        }
    }
}

TEST_F(ReversePeer, EncryptedFilesStayEncrypted) {
    const std::string source =
        testing::WriteTempFile("enc-src.pdf", testing::SimpleDocument(4).Build());
    struct Case {
        const char* what;
        std::string args;
        std::string user;
        std::string owner;
        std::string open;  // the password we give
    } cases[] = {
        {"rc4-40 empty user", "--allow-weak-crypto --encrypt '' own 40 --", "", "own", ""},
        {"rc4-128 user", "--allow-weak-crypto --encrypt usr own 128 --use-aes=n --", "usr", "own",
         "usr"},
        {"aes-128 owner", "--encrypt usr own 128 --use-aes=y --", "usr", "own", "own"},
        {"aes-256 user", "--encrypt usr own 256 --", "usr", "own", "usr"},
        {"aes-256 empty user", "--encrypt '' own 256 --", "", "own", ""},
        // What most current writers produce: object streams, encrypted.
        {"rc4-40 object streams", "--object-streams=generate --allow-weak-crypto --encrypt '' own 40 --",
         "", "own", ""},
        {"rc4-128 object streams user",
         "--object-streams=generate --allow-weak-crypto --encrypt usr own 128 --use-aes=n --",
         "usr", "own", "usr"},
        {"aes-128 object streams owner",
         "--object-streams=generate --encrypt usr own 128 --use-aes=y --", "usr", "own", "own"},
        {"aes-256 r5 object streams",
         "--object-streams=generate --allow-weak-crypto --encrypt '' own 256 --force-R5 --", "",
         "own", ""},
        {"aes-256 object streams user", "--object-streams=generate --encrypt usr own 256 --", "usr",
         "own", "usr"},
    };
    int i = 0;
    for (const Case& c : cases) {
        const std::string input = testing::WriteTempFile("enc-" + std::to_string(i++) + ".pdf", "");
        int status = 0;
        const std::string out = RunCommand(
            "qpdf " + c.args + " " + Quote(source) + " " + Quote(input) + " 2>&1", &status);
        ASSERT_EQ(status, 0) << c.what << out;
        const std::string output = Reverse(input, c.open);
        const bool owner = c.open.empty() || c.open == c.owner;
        ExpectReversed(output, 4, owner ? c.owner : c.open, c.what, owner);
        const std::string info =
            RunCommand("qpdf --show-encryption --password=" + c.owner + " " + Quote(output));
        EXPECT_EQ(info.find("File is not encrypted"), std::string::npos) << c.what << info;
    }
    // An encrypted file whose offsets all miss is repaired and still decrypted.
    {
        const std::string input = testing::WriteTempFile("enc-shifted.pdf", "");
        RunCommand("qpdf --object-streams=disable --encrypt '' own 128 --use-aes=y -- " +
                   Quote(source) + " " + Quote(input));
        std::string bytes = testing::ReadFileBytes(input);
        bytes = testing::InsertAt(bytes, bytes.find("1 0 obj"), std::string(64, '\n'));
        const std::string shifted = testing::WriteTempFile("enc-shifted2.pdf", bytes);
        ExpectReversed(Reverse(shifted), 4, "own", "encrypted and repaired", true);
    }
}

}  // namespace
}  // namespace verava
