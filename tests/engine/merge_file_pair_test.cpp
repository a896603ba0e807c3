// The engine's file merge: files on disk, the error codes, what is left at the output path
// on every way out, and the progress the merge reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/brannock.h"
#include "objects/pdf_text.h"
#include "objects/wide_file_stream.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"

namespace verava {
namespace {

using testing::FileExists;
using testing::FilePageOrder;
using testing::Quote;
using testing::ReadFileBytes;
using testing::RunCommand;
using testing::SimpleDocument;
using testing::WriteTempFile;

std::u16string U(const std::string& path) { return Utf8ToUnicode(path); }

// A file encrypted by qpdf with AES-256, an empty user password and an owner password: it
// opens for everyone, and the merge must still refuse it.
std::string EncryptedFile(const std::string& name) {
    const std::string plain = WriteTempFile(name + "-plain.pdf", SimpleDocument(2).Build());
    const std::string locked = WriteTempFile(name, "");
    int status = -1;
    const std::string log =
        RunCommand("qpdf --encrypt '' owner 256 -- '" + plain + "' '" + locked + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << log;
    return locked;
}

TEST(MergeFilePair, WritesAllPagesOfTheFirstFileThenOfTheSecond) {
    const std::string odd = WriteTempFile("mfp-odd.pdf", SimpleDocument(3, "Odd").Build());
    const std::string even = WriteTempFile("mfp-even.pdf", SimpleDocument(2, "Even").Build());
    const std::string output = WriteTempFile("mfp-out.pdf", "");
    unlink(output.c_str());
    TVelmorPDFLibrary engine;
    // A successful call without an output to replace leaves the code alone.
    engine.ErrorCode = 123;
    ASSERT_EQ(engine.MergeFilePair(U(odd), U(even), U(output)), 1);
    EXPECT_EQ(engine.ErrorCode, 123);
    EXPECT_EQ(FilePageOrder(output), "Odd 1,Odd 2,Odd 3,Even 1,Even 2");
    // The merge opens nothing as a document.
    EXPECT_EQ(engine.Documents.size(), 1u);

    // An existing output is replaced, and the code says it was deleted.
    engine.ErrorCode = 123;
    ASSERT_EQ(engine.MergeFilePair(U(even), U(odd), U(output)), 1);
    EXPECT_EQ(engine.ErrorCode, kErrorNone);
    EXPECT_EQ(FilePageOrder(output), "Even 1,Even 2,Odd 1,Odd 2,Odd 3");
}

TEST(MergeFilePair, TheSameFileTwiceGivesItsPagesTwice) {
    const std::string input = WriteTempFile("mfp-same.pdf", SimpleDocument(2).Build());
    const std::string output = WriteTempFile("mfp-same-out.pdf", "");
    TVelmorPDFLibrary engine;
    ASSERT_EQ(engine.MergeFilePair(U(input), U(input), U(output)), 1);
    EXPECT_EQ(FilePageOrder(output), "Page 1,Page 2,Page 1,Page 2");
}

TEST(MergeFilePair, RefusedInputsLeaveNoOutputFile) {
    VERAVA_REQUIRE_TOOLS("qpdf");
    const std::string plain = WriteTempFile("mfp-plain.pdf", SimpleDocument(2).Build());
    const std::string locked = EncryptedFile("mfp-locked.pdf");
    const std::string headless =
        WriteTempFile("mfp-headless.pdf", SimpleDocument(2).Build().substr(9));  // no "%PDF-1.4"
    const struct {
        const char* what;
        std::string first, second;
        int32_t code;
    } cases[] = {
        {"encrypted first", locked, plain, kErrorMergeEncrypted},
        {"encrypted second", plain, locked, kErrorMergeEncrypted},
        {"no header first", headless, plain, kErrorMergeUnreadable},
        {"no header second", plain, headless, kErrorMergeUnreadable},
    };
    for (const auto& c : cases) {
        for (bool existed : {false, true}) {
            const std::string output = WriteTempFile("mfp-refused.pdf", "an older output");
            if (!existed) unlink(output.c_str());
            TVelmorPDFLibrary engine;
            EXPECT_EQ(engine.MergeFilePair(U(c.first), U(c.second), U(output)), 0) << c.what;
            EXPECT_EQ(engine.ErrorCode, c.code) << c.what;
            // No new output is left behind, and an older one stays as it was.
            if (existed) {
                EXPECT_EQ(ReadFileBytes(output), "an older output") << c.what;
            } else {
                EXPECT_FALSE(FileExists(output)) << c.what;
            }
            // Nor any file written on the way.
            const std::string folder = output.substr(0, output.rfind('/'));
            EXPECT_EQ(RunCommand("ls -A " + Quote(folder) + " | grep -c '^\\..*part$'"), "0\n")
                << c.what;
        }
    }
}

TEST(MergeFilePair, MissingInputIsReportedBeforeTheOutputIsTouched) {
    const std::string plain = WriteTempFile("mfp-plain2.pdf", SimpleDocument(1).Build());
    const std::string folder = plain.substr(0, plain.rfind('/'));
    const std::string output = WriteTempFile("mfp-kept.pdf", "an older output");
    for (bool secondMissing : {false, true}) {
        TVelmorPDFLibrary engine;
        const std::string missing = folder + "/no-such-file.pdf";
        EXPECT_EQ(engine.MergeFilePair(U(secondMissing ? plain : missing),
                                       U(secondMissing ? missing : plain), U(output)),
                  0);
        EXPECT_EQ(engine.ErrorCode, kErrorNotLoadable);
        EXPECT_EQ(ReadFileBytes(output), "an older output");
    }
}

TEST(MergeFilePair, OutputThatCannotBeCreatedGives403) {
    const std::string plain = WriteTempFile("mfp-plain3.pdf", SimpleDocument(1).Build());
    const std::string folder = plain.substr(0, plain.rfind('/'));
    const std::string output = folder + "/no-such-folder/out.pdf";
    TVelmorPDFLibrary engine;
    EXPECT_EQ(engine.MergeFilePair(U(plain), U(plain), U(output)), 0);
    EXPECT_EQ(engine.ErrorCode, kErrorMergeFailed);
    EXPECT_FALSE(FileExists(output));
}

TEST(MergeFilePair, ProgressRunsToSeventyFiveForTheFirstFileAndToHundredForTheSecond) {
    const std::string odd = WriteTempFile("mfp-p-odd.pdf", SimpleDocument(30, "Odd").Build());
    const std::string even = WriteTempFile("mfp-p-even.pdf", SimpleDocument(10, "Even").Build());
    const std::string output = WriteTempFile("mfp-p-out.pdf", "");
    TVelmorPDFLibrary engine;
    std::vector<int32_t> values;
    engine.OnProgress = [&](int32_t percent) { values.push_back(percent); };
    ASSERT_EQ(engine.MergeFilePair(U(odd), U(even), U(output)), 1);
    ASSERT_FALSE(values.empty());
    // Only changes are reported, so the values rise strictly.
    for (size_t k = 1; k < values.size(); ++k) EXPECT_GT(values[k], values[k - 1]) << k;
    EXPECT_EQ(values.back(), 100);
    // The first file's 65 objects cover 0..75 in steps of about 1.15; the second file's 24
    // objects cover 75..100.
    size_t at75 = 0;
    while (at75 < values.size() && values[at75] != 75) ++at75;
    ASSERT_LT(at75, values.size());
    EXPECT_GE(at75, 40u);
    EXPECT_GE(values.size() - at75, 15u);
    EXPECT_EQ(FilePageOrder(output).substr(0, 12), "Odd 1,Odd 2,");
}

}  // namespace
}  // namespace verava
