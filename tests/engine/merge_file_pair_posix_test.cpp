// The engine's file merge where only POSIX can set the scene: a folder whose write bit is
// taken away from a child that gives root up; inputs removed while their documents still map
// them (Windows refuses to delete a mapped file).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "engine/brannock.h"
#include "objects/pdf_text.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"
#include "support/run_unprivileged.h"

namespace verava {
namespace {

using testing::FilePageOrder;
using testing::ReadFileBytes;
using testing::SimpleDocument;
using testing::WriteTempFile;

std::u16string U(const std::string& path) { return Utf8ToUnicode(path); }

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

}  // namespace
}  // namespace verava
