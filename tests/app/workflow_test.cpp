#include "app/workflow.h"

#include <gtest/gtest.h>

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

TEST(ReverseWorkflow, EightPagesReportTheDocumentedProgress) {
    const std::string path =
        testing::WriteTempFile("eight.pdf", testing::SimpleDocument(8).Build());
    Recorded r;
    const WorkflowResult result = ReverseFilePages(Utf8ToUnicode(path), r.Sink());
    ASSERT_EQ(result.outcome, WorkflowOutcome::Done);
    EXPECT_EQ(r.positions, (std::vector<int32_t>{12, 25, 38, 50, 62, 75, 88, 100}));
    EXPECT_EQ(r.events, 7);  // after each pass, not after the final 100
    EXPECT_EQ(result.outputPath, ReverseOutputPath(Utf8ToUnicode(path)));

    TVelmorPDFLibrary engine;
    ASSERT_EQ(engine.OpenFile(result.outputPath), 1);
    EXPECT_EQ(engine.CountPages(), 8);
}

TEST(ReverseWorkflow, OnePageFileIsSavedWithoutMoves) {
    const std::string path =
        testing::WriteTempFile("single.pdf", testing::SimpleDocument(1).Build());
    Recorded r;
    const WorkflowResult result = ReverseFilePages(Utf8ToUnicode(path), r.Sink());
    EXPECT_EQ(result.outcome, WorkflowOutcome::Done);
    EXPECT_EQ(r.positions, std::vector<int32_t>{100});
    EXPECT_TRUE(FileExistsWide(result.outputPath));
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
