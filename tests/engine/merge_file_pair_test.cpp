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
#include "support/run_unprivileged.h"

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

// The documents an engine holds are merged as they were loaded: the files are not read
// again, so a file changed on disk since changes nothing.
TEST(MergeDocuments, MergesTheLoadedDocumentsWithoutReadingTheFilesAgain) {
    const std::string odd = WriteTempFile("md-odd.pdf", SimpleDocument(2, "Odd").Build());
    const std::string even = WriteTempFile("md-even.pdf", SimpleDocument(2, "Even").Build());
    const std::string output = WriteTempFile("md-out.pdf", "");
    TVelmorPDFLibrary engine;
    ASSERT_EQ(engine.OpenFile(U(odd)), 1);
    TPDFDocument* first = engine.CurrentDocument;
    ASSERT_EQ(engine.OpenFile(U(even)), 1);
    TPDFDocument* second = engine.CurrentDocument;
    // Replaced under their names: new files, the loaded ones keep the old bytes.
    unlink(odd.c_str());
    unlink(even.c_str());
    WriteTempFile("md-odd.pdf", SimpleDocument(1, "Changed").Build());
    WriteTempFile("md-even.pdf", "not a PDF");
    TMergeOptions options;
    options.pages = std::vector<TOutputPage>{{false, 0}, {true, 1}, {false, 1}, {true, 0}};
    ASSERT_EQ(engine.MergeDocuments(*first, *second, U(output), options), 1);
    EXPECT_EQ(FilePageOrder(output), "Odd 1,Even 2,Odd 2,Even 1");
    // Once more, all pages in turn: the documents serve again.
    ASSERT_EQ(engine.MergeDocuments(*first, *second, U(output)), 1);
    EXPECT_EQ(FilePageOrder(output), "Odd 1,Odd 2,Even 1,Even 2");
    // An output that is one of the inputs is refused, and the input stays.
    EXPECT_EQ(engine.MergeDocuments(*first, *second, U(even)), 0);
    EXPECT_EQ(engine.ErrorCode, kErrorOutputLocked);
    EXPECT_EQ(ReadFileBytes(even), "not a PDF");
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

TEST(MergeFilePair, OutputThatCannotBeDeletedGives402AndStaysUntouched) {
    // A folder everyone can read but nobody except its owner (root, or this user before the
    // write bit is taken away) can change.
    const std::string folder =
        "/tmp/verava-locked-" + std::to_string(getpid()) + "-" + std::to_string(time(nullptr));
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const std::string input = folder + "/in.pdf";
    const std::string output = folder + "/out.pdf";
    {
        std::string bytes = SimpleDocument(2).Build();
        FILE* f = fopen(input.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        f = fopen(output.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fputs("an older output", f);
        fclose(f);
        chmod(input.c_str(), 0644);
        chmod(output.c_str(), 0644);
    }
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    const int answer = testing::RunUnprivileged([&] {
        TVelmorPDFLibrary engine;
        const int32_t result = engine.MergeFilePair(U(input), U(input), U(output));
        return result == 0 && engine.ErrorCode == kErrorOutputLocked ? 0 : 1 + result;
    });
    chmod(folder.c_str(), 0755);
    const std::string kept = ReadFileBytes(output);
    unlink(input.c_str());
    unlink(output.c_str());
    rmdir(folder.c_str());
    VERAVA_REQUIRE(answer != testing::kCannotGiveUpRoot, testing::kGivingUpRoot);
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(kept, "an older output");
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
