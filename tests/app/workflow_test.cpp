#include "app/workflow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/brannock.h"
#include "objects/pdf_text.h"
#include "objects/wide_file_stream.h"
#include "support/pdf_builder.h"

namespace verava {
namespace {

const std::u16string kSuffix = u"_\u91CD\u6392\u540E.pdf";

// Every lower-case ".pdf" is replaced; a path without one loses a final ".pdf" of any case
// and gets the suffix, so the output is never the input itself.
TEST(ReverseOutputPath, ReplacesEveryLowerCaseExtensionAndNeverReturnsTheInput) {
    const struct {
        std::u16string input, output;
    } cases[] = {
        {u"/scan/a.pdf", u"/scan/a" + kSuffix},
        {u"/x.pdf/y.pdf", u"/x" + kSuffix + u"/y" + kSuffix},
        {u"a.pdf.pdf", u"a" + kSuffix + kSuffix},
        {u"a.pdfpdf", u"a" + kSuffix + u"pdf"},
        {u"/scan/A.PDF", u"/scan/A" + kSuffix},
        {u"/scan/b.Pdf", u"/scan/b" + kSuffix},
        {u"/scan/noext", u"/scan/noext" + kSuffix},
        {u".PDF", kSuffix},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReverseOutputPath(c.input), c.output) << UnicodeToUtf8(c.input);
        EXPECT_NE(ReverseOutputPath(c.input), c.input) << UnicodeToUtf8(c.input);
    }
}

TEST(ProgressPercent, RoundsHalvesToEven) {
    EXPECT_EQ(ProgressPercent(1, 8, 100), 12);
    EXPECT_EQ(ProgressPercent(3, 8, 100), 38);
    EXPECT_EQ(ProgressPercent(5, 8, 100), 62);
    EXPECT_EQ(ProgressPercent(1, 3, 100), 33);
    EXPECT_EQ(ProgressPercent(1, 16, 40), 2);  // 2.5
    EXPECT_EQ(ProgressPercent(3, 16, 40), 8);  // 7.5
    EXPECT_EQ(ProgressPercent(1, 0, 100), 0);
}

struct Recorded {
    std::vector<int32_t> positions;
    int events = 0;
    WorkflowProgress Sink() {
        WorkflowProgress p;
        p.setPosition = [this](int32_t v) { positions.push_back(v); };
        p.processEvents = [this] { ++events; };
        return p;
    }
};

// Runs the reverse of an `odd`-page file (`even` 0) or the merge with an `even`-page file
// (leaving blank pages out when asked), over an output "earlier" at the path it writes, whose
// path goes to `out`.
WorkflowResult RunOverAnEarlierOutput(int odd, int even, bool dropBlank, WorkflowProgress& progress,
                                      std::string& out) {
    const std::string tag = "wp" + std::to_string(odd) + "-" + std::to_string(even);
    const std::u16string first = Utf8ToUnicode(
        testing::WriteTempFile(tag + "-odd.pdf", testing::SimpleDocument(odd, "Odd").Build()));
    const std::u16string second = Utf8ToUnicode(
        testing::WriteTempFile(tag + "-even.pdf", testing::SimpleDocument(even, "Even").Build()));
    out = UnicodeToUtf8(even == 0 ? ReverseOutputPath(first) : MergeOutputPath(first, second));
    testing::WriteTempFile(out.substr(out.rfind('/') + 1), "earlier");
    if (even == 0) return ReverseFilePages(first, progress);
    MergeRequest request{first, second};
    request.blankPages.enabled = dropBlank;
    return MergeFiles(request, progress);
}

// What a user sees of progress, for both jobs: the bar never goes back, it moves as the work
// is done (a step per share of the objects written, not replayed afterwards), and it shows
// 100 exactly once, when the output is complete in its place. Until then an earlier output
// at that path is still there, byte for byte.
TEST(WorkflowProgress, FollowsTheWorkAndReachesHundredOnlyWithTheOutputComplete) {
    const struct {
        int odd;   // pages of the file reversed, or of the odd file
        int even;  // 0: a reverse
        bool dropBlank;
        size_t minSteps;  // distinct positions before 100, at least
    } cases[] = {
        {1, 0, false, 1}, {8, 0, false, 5},      {300, 0, false, 10},  {3, 3, false, 5},
        {4, 3, false, 5}, {300, 300, false, 10}, {300, 300, true, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.odd << " + " << c.even << " " << c.dropBlank);
        std::vector<int32_t> positions;
        bool earlierKeptUntilHundred = true;
        int32_t pagesAtHundred = -1;
        std::string output;
        WorkflowProgress progress;
        progress.setPosition = [&](int32_t v) {
            positions.push_back(v);
            if (v < 100) {
                earlierKeptUntilHundred &= testing::ReadFileBytes(output) == "earlier";
                return;
            }
            TVelmorPDFLibrary engine;
            pagesAtHundred = engine.OpenFile(Utf8ToUnicode(output)) == 1 ? engine.CountPages() : 0;
        };
        ASSERT_EQ(RunOverAnEarlierOutput(c.odd, c.even, c.dropBlank, progress, output).outcome,
                  WorkflowOutcome::Done);
        ASSERT_FALSE(positions.empty());
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
        EXPECT_EQ(positions.back(), 100);
        EXPECT_EQ(std::count(positions.begin(), positions.end(), 100), 1);
        EXPECT_TRUE(earlierKeptUntilHundred);
        EXPECT_EQ(pagesAtHundred, c.odd + c.even);
        positions.erase(std::unique(positions.begin(), positions.end() - 1), positions.end() - 1);
        EXPECT_GE(positions.size() - 1, c.minSteps);
    }
}

// A stop asked for at any step ends the run as Cancelled: whatever stood at the output path
// stays byte for byte.
TEST(WorkflowProgress, AStopAtAnyStepKeepsTheEarlierOutput) {
    for (const auto& [even, dropBlank] : {std::pair{0, false}, {60, false}, {60, true}}) {
        for (int stopAfter : {0, 1, 10, 60}) {
            SCOPED_TRACE(::testing::Message() << even << " " << dropBlank << ", " << stopAfter);
            int asked = 0;
            WorkflowProgress progress;
            progress.stopRequested = [&] { return asked++ >= stopAfter; };
            std::string output;
            EXPECT_EQ(RunOverAnEarlierOutput(60, even, dropBlank, progress, output).outcome,
                      WorkflowOutcome::Cancelled);
            EXPECT_EQ(testing::ReadFileBytes(output), "earlier");
        }
    }
}

// A reverse that cannot start says why and about which file, moves no bar and writes
// nothing; one whose output cannot be created names the output.
TEST(ReverseWorkflow, FailuresNameTheFileAndWriteNothing) {
    const std::string garbage = testing::WriteTempFile("garbage.pdf", std::string(5000, 'x'));
    const std::string folder = garbage.substr(0, garbage.rfind('/'));
    // The output cannot be created: a directory stands where the file would go.
    const std::string blocked =
        testing::WriteTempFile("blocked.pdf", testing::SimpleDocument(2).Build());
    const std::string blockedOutput = UnicodeToUtf8(ReverseOutputPath(Utf8ToUnicode(blocked)));
    const std::filesystem::path blockedFolder(
        std::u8string(blockedOutput.begin(), blockedOutput.end()));
    std::error_code ignored;
    std::filesystem::create_directories(blockedFolder, ignored);
    ASSERT_TRUE(std::filesystem::is_directory(blockedFolder));
    testing::PdfBuilder lockedFile = testing::SimpleDocument(2);
    lockedFile.Encrypt(testing::Cipher::Aes256, "usr", "own");
    const std::string locked = testing::WriteTempFile("locked.pdf", lockedFile.Build());
    const struct {
        std::string input;
        std::u16string password;
        WorkflowOutcome outcome;
        int32_t code;
        std::string failedPath;
    } cases[] = {
        {"", u"", WorkflowOutcome::InputMissing, 0, ""},
        {"/no/such/file.pdf", u"", WorkflowOutcome::InputMissing, 0, "/no/such/file.pdf"},
        {folder, u"", WorkflowOutcome::InputMissing, 0, folder},
        {garbage, u"", WorkflowOutcome::OpenFailed, kErrorNotLoadable, garbage},
        // A file that needs a password, given none or a wrong one.
        {locked, u"", WorkflowOutcome::PasswordRequired, kErrorPassword, locked},
        {locked, u"nope", WorkflowOutcome::PasswordRequired, kErrorPassword, locked},
        {blocked, u"", WorkflowOutcome::SaveFailed, 0, blockedOutput},
    };
    for (const auto& c : cases) {
        Recorded r;
        const WorkflowResult result =
            ReverseFilePages(Utf8ToUnicode(c.input), r.Sink(), c.password);
        EXPECT_EQ(result.outcome, c.outcome) << c.input;
        EXPECT_EQ(result.errorCode, c.code) << c.input;
        EXPECT_EQ(UnicodeToUtf8(result.failedPath), c.failedPath) << c.input;
        if (c.outcome == WorkflowOutcome::SaveFailed) continue;
        EXPECT_TRUE(r.positions.empty()) << c.input;
        EXPECT_FALSE(FileExistsWide(ReverseOutputPath(Utf8ToUnicode(c.input)))) << c.input;
    }
}

}  // namespace
}  // namespace verava
