// Stacks as people bring them: both passes in one file, backs turned upside down or
// landscape pages turned, and a misfed sheet mended by a blank back or a skipped page. The
// sheets come out in order, each page turned as asked, and what cannot be done says why.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/cli_run.h"
#include "app/workflow.h"
#include "objects/pdf_text.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"

namespace verava {
namespace {


std::u16string U(const std::string& path) { return Utf8ToUnicode(path); }

// "o1,e3/180,b2,..." for an arranged order: o, e or b (a blank back) with the page, and the
// turn when there is one.
std::string Sheets(const std::vector<PlannedPage>& pages) {
    std::string out;
    for (const PlannedPage& p : pages) {
        const char* source = p.source == PageSource::Odd    ? "o"
                             : p.source == PageSource::Even ? "e"
                                                            : "b";
        out += (out.empty() ? "" : ",") + std::string(source) + std::to_string(p.page);
        if (p.rotate != 0) out += "/" + std::to_string(p.rotate);
    }
    return out;
}

PlannedPage Odd(int32_t page) { return {PageSource::Odd, page}; }
PlannedPage Even(int32_t page) { return {PageSource::Even, page}; }

TEST(ArrangeStack, SheetsFollowTheTurnsAndTheMends) {
    const struct {
        const char* what;
        int32_t odd, even;
        StackArrangement arrangement;
        const char* sheets;  // "" when refused
        int32_t fronts, backs;
        bool valid;
        bool paired = true;
    } cases[] = {
        {"plain", 3, 3, {}, "o1,e1,o2,e2,o3,e3", 3, 3, true},
        {"one front more", 3, 2, {true}, "o1,e2,o2,e1,o3", 3, 2, true},
        {"short edge", 2, 2, {false, 0, 180}, "o1,e1/180,o2,e2/180", 2, 2, true},
        {"landscape", 2, 1, {true, 90, 270}, "o1/90,e1/270,o2/90", 2, 1, true},
        // Sheet 2's back was not scanned: its backs were 1, 3, 4 (reversed: 4, 3, 1).
        {"blank back", 4, 3, {false, 0, 0, {2}}, "o1,e1,o2,b2,o3,e2,o4,e3", 4, 4, true},
        {"blank back reversed", 4, 3, {true, 0, 180, {2}},
         "o1,e3/180,o2,b2/180,o3,e2/180,o4,e1/180", 4, 4, true},
        {"two blank backs, given in any order", 4, 2, {false, 0, 0, {4, 1}},
         "o1,b1,o2,e1,o3,e2,o4,b4", 4, 4, true},
        {"the same sheet twice counts once", 2, 1, {false, 0, 0, {2, 2}}, "o1,e1,o2,b2", 2, 2,
         true},
        // A back fed twice, and a front scanned twice.
        {"skip a back", 2, 3, {false, 0, 0, {}, {Even(2)}}, "o1,e1,o2,e3", 2, 2, true},
        {"skip reversed back", 2, 3, {true, 0, 0, {}, {Even(2)}}, "o1,e3,o2,e1", 2, 2, true},
        {"skip a front", 3, 2, {false, 0, 0, {}, {Odd(1)}}, "o2,e1,o3,e2", 2, 2, true},
        {"skip and blank", 3, 3, {false, 0, 0, {3, 2}, {Even(1), Even(2)}}, "o1,e3,o2,b2,o3,b3",
         3, 3, true},
        // The count rule applies to the passes as mended; the sheets are shown anyway.
        {"counts off", 2, 3, {}, "o1,e1,o2,e2,e3", 2, 3, true, false},
        {"fronts two more", 3, 1, {}, "o1,e1,o2,o3", 3, 1, true, false},
        {"mend leaves counts off", 2, 2, {false, 0, 0, {1}}, "o1,b1,o2,e1,e2", 2, 3, true,
         false},
        // What is not there.
        {"no such back", 2, 2, {false, 0, 0, {}, {Even(3)}}, "", 2, 2, false},
        {"no such front", 2, 2, {false, 0, 0, {}, {Odd(0)}}, "", 2, 2, false},
        {"no such sheet", 2, 1, {false, 0, 0, {3}}, "", 2, 1, false},
        {"sheet beyond the backs", 3, 1, {false, 0, 0, {3}}, "", 3, 1, false},
    };
    for (const auto& c : cases) {
        const ArrangedStack stack = ArrangeStack(c.odd, c.even, c.arrangement);
        EXPECT_EQ(Sheets(stack.order), c.sheets) << c.what;
        EXPECT_EQ(stack.valid, c.valid) << c.what;
        if (c.valid) {
            EXPECT_EQ(stack.fronts, c.fronts) << c.what;
            EXPECT_EQ(stack.backs, c.backs) << c.what;
            EXPECT_EQ(stack.paired, c.paired) << c.what;
        }
        // Every page knows its sheet: front and back of sheet k are pages 2k - 1 and 2k.
        for (size_t k = 0; c.paired && k < stack.order.size(); ++k) {
            EXPECT_EQ(stack.order[k].sheet, static_cast<int32_t>(k / 2 + 1)) << c.what;
        }
    }
}

TEST(CollateOutputPath, PutsTheMergedNameBesideTheFile) {
    const std::u16string merged = u"_\u5408\u5E76\u540E.pdf";
    EXPECT_EQ(CollateOutputPath(u"/scan/both.pdf"), u"/scan/both" + merged);
    EXPECT_EQ(CollateOutputPath(u"/in.pdf/a.pdf.pdf"), u"/in.pdf/a" + merged);
    EXPECT_EQ(CollateOutputPath(u"B.PDF"), u"B.PDF" + merged);
}

std::string FileOf(const std::vector<std::string>& texts, const std::string& name) {
    return testing::WriteTextPages(texts, name);
}
std::string Written(const std::u16string& path) {
    return testing::TurnedPageTexts(UnicodeToUtf8(path));
}

TEST(CollateWorkflow, BothPassesInOneFileComeOutAsTheirMerge) {
    const struct {
        const char* what;
        std::vector<std::string> scanned;
        bool backsInOrder;
        int32_t backsFrom;
        int32_t rotateEven;
        std::vector<int32_t> blankBacks;
        WorkflowOutcome outcome;
        const char* written;
    } cases[] = {
        {"backs last to first", {"1", "3", "5", "6", "4", "2"}, false, 0, 0, {},
         WorkflowOutcome::Done, "1,2,3,4,5,6"},
        // The backs start where told: fronts 1, 3, 5, 7 and backs 8, 6, 4 (one missed).
        {"backs from", {"1", "3", "5", "7", "8", "6", "4"}, false, 5, 0, {4},
         WorkflowOutcome::Done, "1,4,3,6,5,8,7,?"},
        {"backs from beyond the file", {"1", "2"}, false, 4, 0, {},
         WorkflowOutcome::ArrangementInvalid, ""},
        {"halves that cannot pair", {"1", "3", "5", "2"}, false, 4, 0, {},
         WorkflowOutcome::PageCountMismatch, ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string input = FileOf(c.scanned, "collate-" + std::to_string(++n) + ".pdf");
        MergeRequest request;
        request.collated = true;
        request.oddPath = U(input);
        request.evenReversed = !c.backsInOrder;
        request.backsFrom = c.backsFrom;
        request.rotateEven = c.rotateEven;
        request.blankBacks = c.blankBacks;
        const WorkflowResult r = MergeFiles(request, {});
        EXPECT_EQ(r.outcome, c.outcome) << c.what;
        if (c.outcome != WorkflowOutcome::Done) {
            EXPECT_FALSE(testing::FileExists(UnicodeToUtf8(CollateOutputPath(U(input)))))
                << c.what;
            continue;
        }
        EXPECT_EQ(r.outputPath, CollateOutputPath(U(input))) << c.what;
        EXPECT_EQ(Written(r.outputPath), c.written) << c.what;
        // The plan says the same as the file.
        const MergePlan plan = PlanMerge(request);
        EXPECT_EQ(plan.pages.size() + plan.dropped.size(), plan.order.size()) << c.what;
    }
}

#ifdef VERAVA_CLI
using testing::Cli;
using testing::CliRun;
using testing::Q;

TEST(StackCli, DryRunsShowEachOptionsOrder) {
    const std::string both = FileOf({"1", "3", "5", "4", "2"}, "cli-both.pdf");
    const std::string odd = FileOf({"O1", "O2", "O3"}, "cli-odd.pdf");
    const std::string even = FileOf({"E1", "E2", "E3"}, "cli-even.pdf");
    const std::string pair = Q(odd) + " " + Q(even);
    const struct {
        std::string args;
        const char* listing;
    } cases[] = {
        {"collate " + Q(both),
         "1 odd 1 (page 1)\n2 even 2 (page 5, back of sheet 1)\n3 odd 2 (page 2)\n"
         "4 even 1 (page 4, back of sheet 2)\n5 odd 3 (page 3)\n"},
        {"collate " + Q(both) + " --backs-in-order --backs-from 4",
         "1 odd 1 (page 1)\n2 even 1 (page 4)\n3 odd 2 (page 2)\n4 even 2 (page 5)\n"
         "5 odd 3 (page 3)\n"},
        {"merge " + pair + " --turned short-edge",
         "1 odd 1\n2 even 1 turned 180\n3 odd 2\n4 even 2 turned 180\n5 odd 3\n"
         "6 even 3 turned 180\n"},
        {"merge " + pair + " --rotate-odd 90 --rotate-even 270 --turned long-edge",
         "1 odd 1 turned 90\n2 even 1 turned 270\n3 odd 2 turned 90\n4 even 2 turned 270\n"
         "5 odd 3 turned 90\n6 even 3 turned 270\n"},
        {"merge " + pair + " --skip even:2 --insert-blank-back 3",
         "1 odd 1\n2 even 1\n3 odd 2\n4 even 3 (back of sheet 2)\n5 odd 3\n"
         "6 blank (back of sheet 3)\nskipped even 2\n"},
        {"merge " + pair + " --reverse-even --skip odd:1 --skip even:3",
         "1 odd 2\n2 even 2 (back of sheet 1)\n3 odd 3\n4 even 1 (back of sheet 2)\n"
         "skipped odd 1\nskipped even 3\n"},
    };
    for (const auto& c : cases) {
        const CliRun r = Cli(c.args + " --dry-run");
        EXPECT_EQ(r.status, 0) << c.args << ": " << r.err;
        EXPECT_EQ(r.out, c.listing) << c.args;
    }
}

TEST(StackCli, CollateWritesBesideTheFileAndRefusesWhatCannotBe) {
    const std::string both = FileOf({"1", "3", "4", "2"}, "cli-collate.pdf");
    {
        const CliRun r = Cli("collate " + Q(both) + " --turned short-edge");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, UnicodeToUtf8(CollateOutputPath(U(both))) + "\n");
        EXPECT_EQ(Written(CollateOutputPath(U(both))), "1,2@180,3,4@180");
    }
    const struct {
        std::string args;
        int status;
        const char* says;
    } cases[] = {
        {"collate " + Q(both) + " --backs-from 9", 1, "(the file has 4 pages)"},
        {"collate " + Q(both) + " --backs-from 2", 1,
         "the fronts are 1 page and the backs 3"},
        {"collate " + Q(both) + " --insert-blank-back 5", 1, "is not there"},
        {"collate " + Q(both) + " --output " + Q(both), 2, "must not be the input"},
        {"collate " + Q(both) + " --backs-from 1", 2, "--backs-from"},
        {"collate " + Q(both) + " --reverse-even", 2, "collate takes only"},
        {"collate " + Q(both) + " x.pdf", 2, "collate takes one file"},
        {"merge " + Q(both) + " " + Q(both) + " --backs-in-order", 2, "merge takes only"},
        {"merge a.pdf b.pdf --rotate-odd 45", 2, "--rotate-odd takes 90, 180 or 270"},
        {"merge a.pdf b.pdf --rotate-even", 2, "--rotate-even needs a value"},
        {"merge a.pdf b.pdf --turned sideways", 2, "--turned takes long-edge or short-edge"},
        {"merge a.pdf b.pdf --skip 3", 2, "--skip takes odd:N or even:N"},
        {"merge a.pdf b.pdf --skip odd:0", 2, "--skip takes odd:N or even:N"},
        {"merge a.pdf b.pdf --insert-blank-back -1", 2, "--insert-blank-back takes"},
        {"reverse a.pdf --turned short-edge", 2, "reverse takes only"},
    };
    for (const auto& c : cases) {
        const CliRun r = Cli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
    }
}
#endif

}  // namespace
}  // namespace verava
