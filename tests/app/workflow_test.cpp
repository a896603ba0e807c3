#include "app/workflow.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/brannock.h"
#include "objects/pdf_text.h"
#include "objects/wide_file_stream.h"
#include "support/pdf_builder.h"

namespace verava {
namespace {

const std::u16string kSuffix = u"_\u91CD\u6392\u540E.pdf";

TEST(ReverseOutputPath, ReplacesEveryLowerCaseExtension) {
    EXPECT_EQ(ReverseOutputPath(u"/scan/a.pdf"), u"/scan/a" + kSuffix);
    EXPECT_EQ(ReverseOutputPath(u"/x.pdf/y.pdf"), u"/x" + kSuffix + u"/y" + kSuffix);
    EXPECT_EQ(ReverseOutputPath(u"a.pdf.pdf"), u"a" + kSuffix + u"" + kSuffix);
    EXPECT_EQ(ReverseOutputPath(u"a.pdfpdf"), u"a" + kSuffix + u"pdf");
}

TEST(ReverseOutputPath, NeverReturnsTheInputItself) {
    EXPECT_EQ(ReverseOutputPath(u"/scan/A.PDF"), u"/scan/A" + kSuffix);
    EXPECT_EQ(ReverseOutputPath(u"/scan/b.Pdf"), u"/scan/b" + kSuffix);
    EXPECT_EQ(ReverseOutputPath(u"/scan/noext"), u"/scan/noext" + kSuffix);
    for (const std::u16string input : {u"x.PDF", u"y", u".PDF", u"z.pdf"}) {
        EXPECT_NE(ReverseOutputPath(input), input);
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

// What a user sees of progress, for both jobs: the bar never goes back, it moves as the work
// is done (a step per share of the objects written, not replayed afterwards), and it shows
// 100 exactly once, when the output is complete in its place. Until then an earlier output
// at that path is still there, byte for byte.
TEST(WorkflowProgress, FollowsTheWorkAndReachesHundredOnlyWithTheOutputComplete) {
    const struct {
        const char* what;
        int odd;   // pages of the file reversed, or of the odd file
        int even;  // 0: a reverse
        bool dropBlank;
        size_t minSteps;  // distinct positions before 100, at least
    } cases[] = {
        {"reverse of one page", 1, 0, false, 1},
        {"reverse of eight pages", 8, 0, false, 5},
        {"reverse of 300 pages", 300, 0, false, 10},
        {"merge 3 + 3", 3, 3, false, 5},
        {"merge 4 + 3", 4, 3, false, 5},
        {"merge 300 + 300", 300, 300, false, 10},
        {"merge 300 + 300 leaving blank pages out", 300, 300, true, 10},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string tag = "wp" + std::to_string(n++);
        const std::string odd =
            testing::WriteTempFile(tag + "-odd.pdf", testing::SimpleDocument(c.odd, "Odd").Build());
        const std::string even =
            c.even == 0 ? ""
                        : testing::WriteTempFile(tag + "-even.pdf",
                                                 testing::SimpleDocument(c.even, "Even").Build());
        const std::u16string output =
            c.even == 0 ? ReverseOutputPath(Utf8ToUnicode(odd))
                        : MergeOutputPath(Utf8ToUnicode(odd), Utf8ToUnicode(even));
        const std::string earlier = "an earlier output";
        testing::WriteTempFile(UnicodeToUtf8(output).substr(UnicodeToUtf8(output).rfind('/') + 1),
                               earlier);
        ASSERT_EQ(testing::ReadFileBytes(UnicodeToUtf8(output)), earlier) << c.what;

        std::vector<int32_t> positions;
        bool earlierKeptUntilHundred = true;
        int32_t pagesAtHundred = -1;
        WorkflowProgress progress;
        progress.setPosition = [&](int32_t v) {
            positions.push_back(v);
            if (v < 100) {
                if (testing::ReadFileBytes(UnicodeToUtf8(output)) != earlier)
                    earlierKeptUntilHundred = false;
                return;
            }
            TVelmorPDFLibrary engine;
            pagesAtHundred = engine.OpenFile(output) == 1 ? engine.CountPages() : 0;
        };
        WorkflowResult result;
        if (c.even == 0) {
            result = ReverseFilePages(Utf8ToUnicode(odd), progress);
        } else {
            MergeRequest request{Utf8ToUnicode(odd), Utf8ToUnicode(even)};
            request.blankPages.enabled = c.dropBlank;
            result = MergeFiles(request, progress);
        }
        ASSERT_EQ(result.outcome, WorkflowOutcome::Done) << c.what;
        ASSERT_FALSE(positions.empty()) << c.what;
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << c.what;
        EXPECT_EQ(positions.back(), 100) << c.what;
        EXPECT_EQ(std::count(positions.begin(), positions.end(), 100), 1) << c.what;
        EXPECT_TRUE(earlierKeptUntilHundred) << c.what;
        EXPECT_EQ(pagesAtHundred, c.odd + c.even) << c.what;
        std::vector<int32_t> steps(positions.begin(), positions.end() - 1);
        steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
        EXPECT_GE(steps.size(), c.minSteps) << c.what;
    }
}

// A stop asked for at any step ends the run as Cancelled: whatever stood at the output path
// stays byte for byte, and the folder holds no temporary file afterwards.
TEST(WorkflowProgress, AStopAtAnyStepKeepsTheEarlierOutputAndLeavesNothing) {
    const std::string odd =
        testing::WriteTempFile("wstop-odd.pdf", testing::SimpleDocument(60, "Odd").Build());
    const std::string even =
        testing::WriteTempFile("wstop-even.pdf", testing::SimpleDocument(60, "Even").Build());
    const std::string folder = odd.substr(0, odd.rfind('/'));
    for (const char* job : {"reverse", "merge", "merge leaving blank pages out"}) {
        for (int stopAfter : {0, 1, 10, 60}) {
            const bool reverse = std::string(job) == "reverse";
            const std::u16string output =
                reverse ? ReverseOutputPath(Utf8ToUnicode(odd))
                        : MergeOutputPath(Utf8ToUnicode(odd), Utf8ToUnicode(even));
            const std::string outputPath = UnicodeToUtf8(output);
            testing::WriteTempFile(outputPath.substr(outputPath.rfind('/') + 1), "earlier");
            int asked = 0;
            WorkflowProgress progress;
            progress.stopRequested = [&] { return asked++ >= stopAfter; };
            WorkflowResult result;
            if (reverse) {
                result = ReverseFilePages(Utf8ToUnicode(odd), progress);
            } else {
                MergeRequest request{Utf8ToUnicode(odd), Utf8ToUnicode(even)};
                request.blankPages.enabled = std::string(job) != "merge";
                result = MergeFiles(request, progress);
            }
            const std::string what = std::string(job) + " stopped after " +
                                     std::to_string(stopAfter) + " steps";
            EXPECT_EQ(result.outcome, WorkflowOutcome::Cancelled) << what;
            EXPECT_EQ(testing::ReadFileBytes(outputPath), "earlier") << what;
            EXPECT_EQ(testing::RunCommand("ls -a '" + folder + "' | grep -c 'part$'"), "0\n")
                << what;
        }
    }
}

TEST(ReverseWorkflow, FailuresWriteNothing) {
    Recorded r;
    {
        const WorkflowResult result = ReverseFilePages(u"", r.Sink());
        EXPECT_EQ(result.outcome, WorkflowOutcome::InputMissing);
        EXPECT_EQ(ReverseFilePages(u"/no/such/file.pdf", r.Sink()).outcome,
                  WorkflowOutcome::InputMissing);
    }
    {
        const std::string path = testing::WriteTempFile("garbage.pdf", std::string(5000, 'x'));
        const WorkflowResult result = ReverseFilePages(Utf8ToUnicode(path), r.Sink());
        EXPECT_EQ(result.outcome, WorkflowOutcome::OpenFailed);
        EXPECT_EQ(result.errorCode, kErrorNotLoadable);
        EXPECT_FALSE(FileExistsWide(ReverseOutputPath(Utf8ToUnicode(path))));
    }
    {
        // The output cannot be created: a directory stands where the file would go.
        const std::string path =
            testing::WriteTempFile("blocked.pdf", testing::SimpleDocument(2).Build());
        const std::string blocker = testing::RunCommand(
            "mkdir -p '" + UnicodeToUtf8(ReverseOutputPath(Utf8ToUnicode(path))) + "' && echo ok");
        ASSERT_EQ(blocker, "ok\n");
        const WorkflowResult result = ReverseFilePages(Utf8ToUnicode(path), r.Sink());
        EXPECT_EQ(result.outcome, WorkflowOutcome::SaveFailed);
        EXPECT_EQ(result.failedPath, ReverseOutputPath(Utf8ToUnicode(path)));
    }
    EXPECT_TRUE(r.positions.empty() || r.positions.back() == 100);
}

}  // namespace
}  // namespace verava
