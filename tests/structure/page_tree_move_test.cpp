#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "structure/object_table.h"
#include "structure/page_trees.h"
#include "structure/pdf_page_tree.h"

namespace verava {
namespace {

using testing::BuildBalancedTree;
using testing::BuildFlatTree;
using testing::Canonical;
using testing::RefNumbers;
using testing::ScanTree;
using testing::Sequence;
using testing::TObjectTable;

using Tags = std::vector<int32_t>;

// The page moves of the engine: move, then forget the cached pages.
void Move(TPDFPageTree& tree, int32_t from, int32_t to) {
    tree.RelocatePage(from, to);
    tree.ClearPageCache();
}

TEST(RelocatePage, MovesWithinAFlatTree) {
    const struct {
        int32_t from;
        int32_t to;
        Tags order;
    } cases[] = {
        {5, 2, {1, 5, 2, 3, 4}},  {1, 5, {2, 3, 4, 5, 1}},  // behind the last page
        {2, 4, {1, 3, 4, 2, 5}},  {4, 1, {4, 1, 2, 3, 5}},
        {3, 3, {1, 2, 3, 4, 5}},  {2, 99, {1, 3, 4, 5, 2}},  // clamped to the last position
        {4, -3, {4, 1, 2, 3, 5}},                            // clamped to the first
    };
    for (const auto& c : cases) {
        TObjectTable table;
        BuildFlatTree(table, 5);
        TPDFPageTree tree(table.Dict(1));
        Move(tree, c.from, c.to);
        const auto scan = ScanTree(table, 1);
        EXPECT_EQ(scan.Tags, c.order) << c.from << " -> " << c.to;
        EXPECT_TRUE(scan.Problems.empty()) << scan.Problems.front();
        EXPECT_EQ(table.Dict(1)->GetInteger("Count", 0), 5);
        // The current page is not changed by a move.
        EXPECT_EQ(tree.CurrentPageNumber(), 1);
    }
}

TEST(RelocatePage, LastPageOfAnInnerNodeMovesToTheFrontOfTheRoot) {
    TObjectTable table;
    table.AddDict(1, "<< /Type /Pages /Count 5 /Kids [2 0 R 3 0 R] /MediaBox [0 0 595 842] >>");
    table.AddDict(2, "<< /Type /Page /Parent 1 0 R /Tag 1 >>");
    table.AddDict(3,
                  "<< /Type /Pages /Parent 1 0 R /Count 4 /Kids [4 0 R 5 0 R] "
                  "/Resources 20 0 R >>");
    table.AddDict(4, "<< /Type /Page /Parent 3 0 R /Tag 2 >>");
    table.AddDict(5,
                  "<< /Type /Pages /Parent 3 0 R /Count 3 /Kids [6 0 R 7 0 R 8 0 R] "
                  "/Rotate 90 /CropBox [10 10 500 800] >>");
    for (int32_t k = 3; k <= 5; ++k) {
        table.AddDict(k + 3, "<< /Type /Page /Parent 5 0 R /Tag " + std::to_string(k) + " >>");
    }
    table.AddDict(20, "<< /ProcSet [/PDF] >>");
    TPDFPageTree tree(table.Dict(1));

    Move(tree, 5, 1);
    const auto scan = ScanTree(table, 1);
    EXPECT_EQ(scan.Tags, (Tags{5, 1, 2, 3, 4}));
    EXPECT_TRUE(scan.Problems.empty()) << scan.Problems.front();
    EXPECT_EQ(table.Dict(5)->GetInteger("Count", 0), 2);
    EXPECT_EQ(table.Dict(3)->GetInteger("Count", 0), 3);
    EXPECT_EQ(table.Dict(1)->GetInteger("Count", 0), 5);
    EXPECT_EQ(RefNumbers(table.Dict(1)->GetValue("Kids")), (Tags{8, 2, 3}));

    TPDFDictionary* moved = table.Dict(8);
    EXPECT_EQ(moved->GetValue("Parent")->ToText(), "1 0 R");
    EXPECT_EQ(moved->GetValue("MediaBox")->ToText(), Canonical(table, "[0 0 595 842]"));
    EXPECT_EQ(moved->GetValue("CropBox")->ToText(), Canonical(table, "[10 10 500 800]"));
    EXPECT_EQ(moved->GetValue("Rotate")->ToText(), "90");
    EXPECT_EQ(moved->GetValue("Resources")->ToText(), "20 0 R");  // the same object
    // The pages that stayed keep inheriting.
    EXPECT_EQ(table.Dict(6)->IndexOf("Rotate"), -1);
}

TEST(RelocatePage, FullReverseKeepsEveryCountConsistent) {
    const struct {
        const char* shape;
        std::vector<int32_t> fanout;
    } shapes[] = {
        {"flat 7", {7}},
        {"2x3", {2, 3}},
        {"uneven 3x1x2", {3, 1, 2}},
        {"3x3x3", {3, 3, 3}},
    };
    for (const auto& s : shapes) {
        TObjectTable table;
        BuildBalancedTree(table, s.fanout);
        TPDFPageTree tree(table.Dict(1));
        const int32_t n = tree.TotalPages();
        for (int32_t b = 1; b <= n - 1; ++b) {
            tree.LoadPage(n);
            tree.RelocatePage(n, b);
            tree.ClearPageCache();
            const auto scan = ScanTree(table, 1);
            ASSERT_TRUE(scan.Problems.empty())
                << s.shape << " step " << b << ": " << scan.Problems.front();
        }
        EXPECT_EQ(ScanTree(table, 1).Tags, Sequence(n, 1)) << s.shape;
        EXPECT_EQ(tree.TotalPages(), n);
    }
}

// The reverse workflow at the size it is used at; the time shows in the test report.
TEST(RelocatePage, ThousandPageReverse) {
    for (const std::vector<int32_t>& fanout : {std::vector<int32_t>{1000}, {10, 10, 10}}) {
        TObjectTable table;
        BuildBalancedTree(table, fanout);
        TPDFPageTree tree(table.Dict(1));
        for (int32_t b = 1; b <= 999; ++b) {
            tree.LoadPage(1000);
            tree.RelocatePage(1000, b);
            tree.ClearPageCache();
        }
        const auto scan = ScanTree(table, 1);
        EXPECT_EQ(scan.Tags, Sequence(1000, 1)) << fanout.size() << " levels";
        EXPECT_TRUE(scan.Problems.empty()) << scan.Problems.front();
    }
}

TEST(RelocatePage, NodeThatLosesItsLastKidStaysWithCountZero) {
    TObjectTable table;
    BuildBalancedTree(table, {2, 1});
    TPDFPageTree tree(table.Dict(1));
    Move(tree, 2, 1);
    const auto scan = ScanTree(table, 1);
    EXPECT_EQ(scan.Tags, (Tags{2, 1}));
    EXPECT_TRUE(scan.Problems.empty()) << scan.Problems.front();
    // Root 1 -> node 2 (page 3), node 4 (page 5); node 4 is empty now.
    EXPECT_TRUE(RefNumbers(table.Dict(4)->GetValue("Kids")).empty());
    EXPECT_EQ(table.Dict(4)->GetInteger("Count", -1), 0);
    // An empty node is skipped by later lookups and moves.
    Move(tree, 1, 2);
    EXPECT_EQ(ScanTree(table, 1).Tags, (Tags{1, 2}));
}

TEST(RelocatePage, ChangesNothingWhenTheMoveCannotBeCompleted) {
    // Each tree is written out before and after the attempted move.
    const auto snapshot = [](const TObjectTable& table, size_t objects) {
        std::string text;
        for (size_t k = 1; k <= objects; ++k) {
            text += table.Get(static_cast<int32_t>(k))->ToText() + "\n";
        }
        return text;
    };
    const struct {
        const char* what;
        std::vector<const char*> objects;  // objects 1, 2, ...
        int32_t selected;
        std::vector<std::pair<int32_t, int32_t>> moves;
    } cases[] = {
        {"the only page: no place to put it back but where it was",
         {"<< /Type /Pages /Count 1 /Kids [2 0 R] /Rotate 90 >>",
          "<< /Type /Page /Parent 1 0 R >>"},
         1,
         {{1, 1}}},
        {"Count promises a page that is not there: the target, then the page itself",
         {"<< /Type /Pages /Count 4 /Kids [2 0 R 3 0 R 4 0 R] /Rotate 90 >>",
          "<< /Type /Page /Parent 1 0 R /Tag 1 >>", "<< /Type /Page /Parent 1 0 R /Tag 2 >>",
          "<< /Type /Page /Parent 1 0 R /Tag 3 >>"},
         1,
         {{1, 3}, {4, 1}}},
        {"the page the lookup takes is a direct Kids element, which cannot be moved",
         {"<< /Type /Pages /Count 2 /Kids [2 0 R << /Type /Page /Tag 2 >>] /Rotate 90 >>",
          "<< /Type /Page /Parent 1 0 R /Tag 1 >>"},
         1,
         {{2, 1}}},
        {"the shortcut and the walk disagree (a page without Type): no page moves rather than "
         "a different one",
         {"<< /Type /Pages /Count 3 /Kids [2 0 R 3 0 R 4 0 R] /Rotate 90 >>",
          "<< /Parent 1 0 R /Contents [] /Tag 1 >>", "<< /Type /Page /Parent 1 0 R /Tag 2 >>",
          "<< /Type /Page /Parent 1 0 R /Tag 3 >>"},
         2,
         {{2, 1}}},
    };
    for (const auto& c : cases) {
        TObjectTable table;
        for (size_t k = 0; k < c.objects.size(); ++k) {
            table.AddDict(static_cast<int32_t>(k + 1), c.objects[k]);
        }
        TPDFPageTree tree(table.Dict(1));
        tree.LoadPage(c.selected);
        const std::string before = snapshot(table, c.objects.size());
        for (const auto& [from, to] : c.moves) {
            Move(tree, from, to);
            EXPECT_EQ(snapshot(table, c.objects.size()), before) << c.what << ": " << from;
        }
    }
    // Root Count not a number, or the source out of range.
    {
        TObjectTable table;
        BuildFlatTree(table, 3);
        TPDFPageTree tree(table.Dict(1));
        const std::string before = snapshot(table, 4);
        Move(tree, 0, 1);
        Move(tree, 4, 1);
        table.Dict(1)->SetValue("Count", table.Store().NewName("Three"));
        Move(tree, 3, 1);
        table.Dict(1)->SetValue("Count", table.Store().NewNumeric(3));
        EXPECT_EQ(snapshot(table, 4), before);
    }
}

TEST(RelocatePage, PageWithoutParentCountsUnderTheNodeHoldingIt) {
    TObjectTable table;
    // Page 3 (object 5) has no Parent and follows a node that is skipped on the way to it.
    table.AddDict(1, "<< /Type /Pages /Count 3 /Kids [2 0 R 5 0 R] >>");
    table.AddDict(2, "<< /Type /Pages /Parent 1 0 R /Count 2 /Kids [3 0 R 4 0 R] >>");
    table.AddDict(3, "<< /Type /Page /Parent 2 0 R /Tag 1 >>");
    table.AddDict(4, "<< /Type /Page /Parent 2 0 R /Tag 2 >>");
    table.AddDict(5, "<< /Type /Page /Tag 3 >>");
    TPDFPageTree tree(table.Dict(1));
    const TPDFPageLocation at = tree.LocatePage(3);
    ASSERT_TRUE(at.Found());
    EXPECT_EQ(at.Parent, table.Dict(1));
    EXPECT_EQ(at.Index, 2);

    Move(tree, 3, 1);
    EXPECT_EQ(table.Dict(2)->GetInteger("Count", 0), 3);  // gained the page
    EXPECT_EQ(table.Dict(1)->GetInteger("Count", 0), 3);
    EXPECT_EQ(RefNumbers(table.Dict(2)->GetValue("Kids")), (Tags{5, 3, 4}));
    EXPECT_EQ(RefNumbers(table.Dict(1)->GetValue("Kids")), (Tags{2}));
}

TEST(RelocatePage, ParentCycleAboveTheTreeEnds) {
    TObjectTable table;
    BuildFlatTree(table, 3);
    // The root names its only page as Parent: AdjustCounts must stop after one round.
    table.Dict(1)->SetValue("Parent", table.Ref(4));
    TPDFPageTree tree(table.Dict(1));
    Move(tree, 3, 1);
    EXPECT_EQ(RefNumbers(table.Dict(1)->GetValue("Kids")), (Tags{4, 2, 3}));
    EXPECT_EQ(table.Dict(1)->GetInteger("Count", 0), 3);
}

}  // namespace
}  // namespace verava
