#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "structure/object_table.h"
#include "structure/page_trees.h"
#include "structure/pdf_page_tree.h"

namespace verava {
namespace {

using testing::BuildFlatTree;
using testing::Canonical;
using testing::RefNumbers;
using testing::TObjectTable;

int32_t TagOf(const TPDFDictionary* page) {
    return page != nullptr ? page->GetInteger("Tag", -1) : -1;
}

TEST(PageTree, WithoutRootIsEmpty) {
    TPDFPageTree tree;
    EXPECT_EQ(tree.TotalPages(), 0);
    EXPECT_EQ(tree.CurrentPageNumber(), 0);
    EXPECT_EQ(tree.Owner(), nullptr);
    EXPECT_EQ(tree.FindPage(1), nullptr);
    tree.LoadPage(1);
    EXPECT_EQ(tree.CurrentPageNumber(), 0);
    EXPECT_FALSE(tree.PageLoaded());
    EXPECT_FALSE(tree.LocatePage(1).Found());
    tree.RelocatePage(1, 1);  // nothing to move, nothing to crash on
}

TEST(PageTree, ConstructionTakesTheRootsStoreAndSelectsPageOne) {
    TObjectTable table;
    BuildFlatTree(table, 3);
    TPDFPageTree tree(table.Dict(1));
    EXPECT_EQ(tree.Owner(), &table.Store());
    EXPECT_EQ(tree.Root(), table.Dict(1));
    EXPECT_EQ(tree.CurrentPageNumber(), 1);
    EXPECT_EQ(TagOf(tree.CurrentPageDict()), 1);
    EXPECT_TRUE(tree.PageLoaded());
}

TEST(PageTree, TotalPagesReadsCountAndResizesTheCache) {
    TObjectTable table;
    BuildFlatTree(table, 3);
    TPDFPageTree tree(table.Dict(1));
    EXPECT_EQ(tree.TotalPages(), 3);
    EXPECT_EQ(tree.PageCacheSize(), 3);
    ASSERT_NE(tree.FindPage(3), nullptr);
    EXPECT_EQ(tree.CachedPage(3), table.Dict(4));

    // A Count behind a reference is resolved; pages cached within the new size stay.
    table.Add(50, "5");
    table.Dict(1)->SetValue("Count", table.Ref(50));
    EXPECT_EQ(tree.TotalPages(), 5);
    EXPECT_EQ(tree.CachedPage(3), table.Dict(4));
    // Shrinking drops what lies beyond.
    table.Dict(1)->SetValue("Count", table.Store().NewNumeric(2));
    EXPECT_EQ(tree.TotalPages(), 2);
    EXPECT_EQ(tree.CachedPage(3), nullptr);
    table.Dict(1)->SetValue("Count", table.Store().NewNumeric(3));
    tree.TotalPages();
    EXPECT_EQ(tree.CachedPage(3), nullptr);

    // Negative, missing and non-numeric Counts give no pages.
    for (const char* count : {"-4", "/Three", "(3)"}) {
        table.Dict(1)->SetValue("Count", table.Store().ParseText(count));
        EXPECT_EQ(tree.TotalPages(), 0) << count;
        EXPECT_EQ(tree.FindPage(1), nullptr) << count;
    }
    table.Dict(1)->RemoveKey("Count");
    EXPECT_EQ(tree.TotalPages(), 0);

    tree.ClearPageCache();
    EXPECT_EQ(tree.PageCacheSize(), 0);
}

TEST(PageTree, HugeCountNeitherAllocatesNorFindsPhantomPages) {
    TObjectTable table;
    table.AddDict(1, "<< /Type /Pages /Count 2147483647 /Kids [2 0 R] >>");
    table.AddDict(2, "<< /Type /Page /Parent 1 0 R /Tag 1 >>");
    TPDFPageTree tree(table.Dict(1));
    EXPECT_EQ(tree.TotalPages(), 2147483647);
    EXPECT_EQ(TagOf(tree.FindPage(1)), 1);
    EXPECT_EQ(tree.FindPage(2147483647), nullptr);
    EXPECT_FALSE(tree.LocatePage(2147483647).Found());
}

// Each row is a tree and where every page number leads: the page's object, the node holding
// it and its 1-based place in that node's Kids (object 0: no page there).
TEST(PageTree, FindPageAndLocatePageAgreeOnEveryNumber) {
    struct Page {
        int32_t object, parent, index;
    };
    const struct {
        const char* what;
        std::vector<std::pair<int32_t, const char*>> objects;
        std::vector<Page> pages;
        bool walkAgrees = true;  // LocatePage walks; the shortcut may see more pages
    } cases[] = {
        // Kid 3 has no Type but Contents: still a page. Kid 4 is a stream, not a page.
        {"flat shortcut",
         {{1, "<< /Type /Pages /Count 4 /Kids [2 0 R 3 0 R 4 0 R 5 0 R] >>"},
          {2, "<< /Type /Page /Tag 1 >>"},
          {3, "<< /Contents 9 0 R /Tag 2 >>"},
          {4, "stream"},
          {5, "<< /Type /Page /Tag 4 >>"}},
         {{2, 1, 1}, {3, 1, 2}, {0, 0, 0}, {5, 1, 4}},
         false},
        // Two kids for two pages, but the kids are page nodes: the second one is empty.
        {"shortcut falls back to the walk",
         {{1, "<< /Type /Pages /Count 2 /Kids [2 0 R 3 0 R] >>"},
          {2, "<< /Type /Pages /Parent 1 0 R /Count 2 /Kids [4 0 R 5 0 R] >>"},
          {3, "<< /Type /Pages /Parent 1 0 R /Count 0 /Kids [] >>"},
          {4, "<< /Type /Page /Parent 2 0 R /Tag 1 >>"},
          {5, "<< /Type /Page /Parent 2 0 R /Tag 2 >>"}},
         {{4, 2, 1}, {5, 2, 2}}},
        {"two levels walked by Count",
         {{1, "<< /Type /Pages /Count 4 /Kids [2 0 R 3 0 R] >>"},
          {2, "<< /Type /Page /Parent 1 0 R /Tag 1 >>"},
          {3, "<< /Type /Pages /Parent 1 0 R /Count 3 /Kids [4 0 R 5 0 R 6 0 R] >>"},
          {4, "<< /Type /Page /Parent 3 0 R /Tag 2 >>"},
          {5, "<< /Type /Page /Parent 3 0 R /Tag 3 >>"},
          {6, "<< /Type /Page /Parent 3 0 R /Tag 4 >>"}},
         {{2, 1, 1}, {4, 3, 1}, {5, 3, 2}, {6, 3, 3}}},
        // A direct page in Kids is never counted; node 3 has no Type but Kids: a page node;
        // node 6 is neither page nor page node.
        {"only referenced pages and typeless nodes with kids count",
         {{1, "<< /Type /Pages /Count 3 /Kids [<< /Type /Page /Tag 0 >> 2 0 R 6 0 R 3 0 R] >>"},
          {2, "<< /Type /Page /Parent 1 0 R /Tag 1 >>"},
          {3, "<< /Parent 1 0 R /Count 2 /Kids [4 0 R 5 0 R] >>"},
          {4, "<< /Type /Page /Parent 3 0 R /Tag 2 >>"},
          {5, "<< /Type /Page /Parent 3 0 R /Tag 3 >>"},
          {6, "<< /Type /Template >>"}},
         {{2, 1, 2}, {4, 3, 1}, {5, 3, 2}},
         false},
        // Node 2 claims 5 pages but holds 2: inside the claimed range the walk stays in the
        // subtree and finds nothing; beyond it the subtree is skipped whole.
        {"subtree with too large a Count",
         {{1, "<< /Type /Pages /Count 6 /Kids [2 0 R 6 0 R] >>"},
          {2, "<< /Type /Pages /Parent 1 0 R /Count 5 /Kids [3 0 R 4 0 R] >>"},
          {3, "<< /Type /Page /Parent 2 0 R /Tag 1 >>"},
          {4, "<< /Type /Page /Parent 2 0 R /Tag 2 >>"},
          {6, "<< /Type /Page /Parent 1 0 R /Tag 6 >>"}},
         {{3, 2, 1}, {4, 2, 2}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {6, 1, 2}}},
        // Node 2's Kids (object 3) holds node 2 again.
        {"cyclic kids",
         {{1, "<< /Type /Pages /Count 5 /Kids [2 0 R] >>"},
          {2, "<< /Type /Pages /Parent 1 0 R /Count 5 /Kids 3 0 R >>"},
          {3, "[2 0 R]"}},
         {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
        {"the root's Kids lead back to the root",
         {{1, "<< /Type /Pages /Count 2 /Kids [1 0 R] >>"}},
         {{0, 0, 0}, {0, 0, 0}}},
    };
    for (const auto& c : cases) {
        TObjectTable table;
        for (const auto& [number, text] : c.objects) {
            if (std::string(text) == "stream") {
                table.AddStream(number, "<< /Tag 3 >>", "");
            } else {
                table.Add(number, text);
            }
        }
        TPDFPageTree tree(table.Dict(1));
        const auto pages = static_cast<int32_t>(c.pages.size());
        EXPECT_EQ(tree.FindPage(0), nullptr) << c.what;
        EXPECT_EQ(tree.FindPage(pages + 1), nullptr) << c.what;
        for (int32_t k = 1; k <= pages; ++k) {
            const Page& p = c.pages[static_cast<size_t>(k - 1)];
            const std::string at = std::string(c.what) + ", page " + std::to_string(k);
            TPDFDictionary* found = tree.FindPage(k);
            EXPECT_EQ(found, p.object != 0 ? table.Dict(p.object) : nullptr) << at;
            EXPECT_EQ(tree.CachedPage(k), found) << at;
            if (p.object != 0) {
                EXPECT_EQ(tree.LastTargetNumber(), p.object) << at;
                EXPECT_EQ(tree.ParentPages(), table.Dict(p.parent)) << at;
                EXPECT_EQ(tree.LastKids(),
                          As<TPDFArray>(table.Dict(p.parent)->GetValue("Kids", true)))
                    << at;
            }
            if (!c.walkAgrees) continue;
            const TPDFPageLocation location = tree.LocatePage(k);
            EXPECT_EQ(location.Found(), p.object != 0) << at;
            if (p.object == 0) continue;
            EXPECT_EQ(location.Parent, table.Dict(p.parent)) << at;
            EXPECT_EQ(location.Kids, tree.LastKids()) << at;
            EXPECT_EQ(location.Index, p.index) << at;
        }
    }
}

TEST(PageTree, FlatShortcutDoesNotRepairADanglingElement) {
    TObjectTable table;
    table.AddDict(1, "<< /Type /Pages /Count 2 /Kids [2 0 R 40 0 R] >>");
    table.AddDict(2, "<< /Type /Page /Tag 1 >>");
    TPDFPageTree tree(table.Dict(1));
    const size_t registeredBefore = table.Registered().size();
    EXPECT_EQ(tree.FindPage(2), nullptr);
    EXPECT_EQ(table.Registered().size(), registeredBefore);
    EXPECT_EQ(tree.LastTargetNumber(), 40);
}

TEST(PageTree, WalkRepairsDanglingKidsWithABlankPageCountedAtOnce) {
    TObjectTable table;
    table.AddDict(1, "<< /Type /Pages /Count 3 /Kids [2 0 R] >>");
    table.AddDict(2, "<< /Type /Pages /Parent 1 0 R /Count 3 /Kids [3 0 R 30 0 R 5 0 R] >>");
    table.AddDict(3, "<< /Type /Page /Parent 2 0 R /Tag 1 >>");
    table.AddDict(5, "<< /Type /Page /Parent 2 0 R /Tag 3 >>");
    TPDFPageTree tree(table.Dict(1));
    // Selecting page 1 stops before the dangling kid.
    const size_t before = table.Registered().size();
    auto* kids = As<TPDFArray>(table.Dict(2)->GetValue("Kids"));
    ASSERT_EQ(As<TPDFIndRef>(kids->Get(1))->TargetNumber, 30);

    // The first search that passes the dangling kid already counts its replacement.
    EXPECT_EQ(TagOf(tree.FindPage(3)), 3);
    ASSERT_EQ(table.Registered().size(), before + 1);
    const int32_t blankNumber = table.Registered().back();
    const auto* ref = As<TPDFIndRef>(kids->Get(1));
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(ref->TargetNumber, blankNumber);
    EXPECT_EQ(kids->Count(), 3);

    TPDFDictionary* blank = table.Dict(blankNumber);
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(blank->GetType(), "Page");
    EXPECT_EQ(blank->GetValue("Parent")->ToText(), "2 0 R");
    EXPECT_EQ(blank->GetValue("MediaBox")->ToText(), Canonical(table, "[0 0 612 792]"));
    EXPECT_EQ(blank->GetValue("CropBox")->ToText(), Canonical(table, "[0 0 612 792]"));
    EXPECT_EQ(blank->GetValue("Rotate")->ToText(), "0");
    const auto* resources = As<TPDFDictionary>(blank->GetValue("Resources"));
    ASSERT_NE(resources, nullptr);
    EXPECT_EQ(resources->EntryCount(), 0);

    // Later searches see the same numbering and repair nothing more.
    EXPECT_EQ(tree.FindPage(2), blank);
    EXPECT_EQ(TagOf(tree.FindPage(3)), 3);
    EXPECT_EQ(table.Registered().size(), before + 1);
    EXPECT_EQ(tree.LocatePage(2).Index, 2);
}

TEST(PageTree, DanglingKidIsRepairedEvenWhenItIsTheTarget) {
    TObjectTable table;
    table.AddDict(1, "<< /Type /Pages /Count 2 /Kids [2 0 R] >>");
    table.AddDict(2, "<< /Type /Pages /Parent 1 0 R /Count 2 /Kids [3 0 R 30 0 R] >>");
    table.AddDict(3, "<< /Type /Page /Parent 2 0 R /Tag 1 >>");
    TPDFPageTree tree(table.Dict(1));
    tree.LoadPage(2);
    EXPECT_EQ(tree.CurrentPageNumber(), 2);
    ASSERT_NE(tree.CurrentPageDict(), nullptr);
    EXPECT_EQ(tree.CurrentPageDict()->GetType(), "Page");
    EXPECT_TRUE(tree.PageLoaded());
}

TEST(PageTree, CyclicKidsLeaveNothingToSelectOrMove) {
    // Node 2's Kids (object 3) holds node 2 again.
    TObjectTable table;
    table.AddDict(1, "<< /Type /Pages /Count 5 /Kids [2 0 R] >>");
    table.AddDict(2, "<< /Type /Pages /Parent 1 0 R /Count 5 /Kids 3 0 R >>");
    table.Add(3, "[2 0 R]");
    TPDFPageTree tree(table.Dict(1));
    EXPECT_EQ(tree.CurrentPageDict(), nullptr);
    tree.RelocatePage(3, 1);
    EXPECT_EQ(table.Dict(1)->GetInteger("Count", 0), 5);
}

TEST(PageTree, DeepChainOfPageNodesIsWalkedWithoutRecursion) {
    TObjectTable table;
    constexpr int32_t kDepth = 100000;
    for (int32_t i = 1; i <= kDepth; ++i) {
        table.AddDict(i, "<< /Type /Pages /Count 1 /Kids [" + std::to_string(i + 1) +
                             " 0 R] /Parent " + std::to_string(i - 1) + " 0 R >>");
    }
    table.AddDict(kDepth + 1,
                  "<< /Type /Page /Parent " + std::to_string(kDepth) + " 0 R /Tag 1 >>");
    TPDFPageTree tree(table.Dict(1));
    EXPECT_EQ(TagOf(tree.CurrentPageDict()), 1);
    EXPECT_EQ(tree.ParentPages(), table.Dict(kDepth));
    const TPDFPageLocation at = tree.LocatePage(1);
    EXPECT_EQ(at.Parent, table.Dict(kDepth));
    tree.AdjustCounts(table.Dict(kDepth), 2);
    EXPECT_EQ(table.Dict(1)->GetInteger("Count", 0), 3);
    EXPECT_EQ(table.Dict(kDepth / 2)->GetInteger("Count", 0), 3);
}

TEST(PageTree, AdjustCountsFollowsParentsOnceEach) {
    TObjectTable table;
    // 3 -> 2 -> 1, and 1's Parent points back at 3. Node 2's Count is a reference.
    table.AddDict(1, "<< /Type /Pages /Count 10 /Parent 3 0 R >>");
    table.AddDict(2, "<< /Type /Pages /Count 9 0 R /Parent 1 0 R >>");
    table.AddDict(3, "<< /Type /Pages /Count 4 /Parent 2 0 R >>");
    table.Add(9, "7");
    TPDFPageTree tree;
    tree.AdjustCounts(table.Dict(3), -1);
    EXPECT_EQ(table.Dict(3)->GetInteger("Count", 0), 3);
    EXPECT_EQ(table.Dict(2)->GetInteger("Count", 0), 6);
    EXPECT_EQ(As<TPDFNumeric>(table.Get(9))->NumValue, 6);
    EXPECT_EQ(table.Dict(1)->GetInteger("Count", 0), 9);

    // A node without a numeric Count is passed through.
    table.AddDict(4, "<< /Type /Pages /Count /Many /Parent 1 0 R >>");
    tree.AdjustCounts(table.Dict(4), 2);
    EXPECT_EQ(table.Dict(4)->GetValue("Count")->ToText(), "/Many");
    EXPECT_EQ(table.Dict(1)->GetInteger("Count", 0), 11);
}

TEST(PageTree, InheritedAttributesAreCopiedAndCycleGuarded) {
    {
        TObjectTable table;
        table.AddDict(1, "<< /Type /Pages /MediaBox [0 0 100 200] /Rotate 90 /Resources 20 0 R >>");
        table.AddDict(2, "<< /Type /Pages /Parent 1 0 R /Rotate 180 /CropBox 21 0 R >>");
        table.AddDict(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 5 5] >>");
        table.AddDict(20, "<< /Font << >> >>");
        table.Add(21, "[1 1 4 4]");
        TPDFPageTree tree;
        tree.CopyInheritedAttributes(table.Dict(3));
        TPDFDictionary* page = table.Dict(3);
        EXPECT_EQ(page->GetValue("MediaBox")->ToText(),
                  Canonical(table, "[0 0 5 5]"));              // own value kept
        EXPECT_EQ(page->GetValue("Rotate")->ToText(), "180");  // nearest ancestor
        // Values held by reference stay references to the same objects.
        EXPECT_NE(As<TPDFIndRef>(page->GetValue("Resources")), nullptr);
        EXPECT_EQ(page->GetValue("Resources", true), table.Get(20));
        EXPECT_NE(As<TPDFIndRef>(page->GetValue("CropBox")), nullptr);
        EXPECT_EQ(page->GetValue("CropBox", true), table.Get(21));
        // A direct value is the page's own copy.
        EXPECT_NE(page->GetValue("Rotate"), table.Dict(2)->GetValue("Rotate"));
    }
    {
        // Parents that loop and carry nothing: the page gets nothing, and the loop ends.
        TObjectTable table;
        table.AddDict(1, "<< /Type /Pages /Parent 2 0 R >>");
        table.AddDict(2, "<< /Type /Pages /Parent 1 0 R >>");
        table.AddDict(3, "<< /Type /Page /Parent 1 0 R >>");
        table.AddDict(4, "<< /Type /Page /Parent 4 0 R >>");
        TPDFPageTree tree;
        tree.CopyInheritedAttributes(table.Dict(3));
        tree.CopyInheritedAttributes(table.Dict(4));
        EXPECT_EQ(table.Dict(3)->EntryCount(), 2);
        EXPECT_EQ(table.Dict(4)->EntryCount(), 2);
    }
}

// ---- LoadPage

TEST(PageTreeLoadPage, SingleReferenceContentsBecomesAnArrayWithAMarkedStream) {
    TObjectTable table;
    table.AddDict(1, "<< /Type /Pages /Count 1 /Kids [2 0 R] >>");
    table.AddDict(2, "<< /Type /Page /Parent 1 0 R /Contents 3 0 R /Rotate 0 >>");
    TPDFStream* old = table.AddStream(3, "<< /Length 5 >>", "q Q\nW");
    TPDFPageTree tree(table.Dict(1));

    TPDFDictionary* page = table.Dict(2);
    auto* contents = As<TPDFArray>(page->GetValue("Contents"));
    ASSERT_NE(contents, nullptr);
    EXPECT_FALSE(contents->Indirect);  // a direct array
    // The entry now stands last in the page dictionary.
    EXPECT_EQ(page->EntryAt(page->EntryCount() - 1).first->Text, "Contents");
    ASSERT_EQ(contents->Count(), 2);
    EXPECT_EQ(contents->Get(0)->ToText(), "3 0 R");
    ASSERT_EQ(table.Registered().size(), 1u);
    const int32_t added = table.Registered()[0];
    EXPECT_EQ(contents->Get(1)->ToText(), std::to_string(added) + " 0 R");

    auto* marked = As<TPDFStream>(table.Get(added));
    ASSERT_NE(marked, nullptr);
    EXPECT_EQ(marked->StreamDict()->GetValue("LC")->ToText(), "/Tolm");
    EXPECT_TRUE(marked->Data().empty());

    ASSERT_EQ(tree.ContentStreams().size(), 2u);
    EXPECT_EQ(tree.ContentStreams()[0], old);
    EXPECT_EQ(tree.ContentStreams()[1], marked);
    EXPECT_EQ(tree.CurrentContent(), 2);
    EXPECT_TRUE(tree.PageLoaded());
    EXPECT_EQ(tree.PageBuffer().Buffer(), "");

    // Selecting it again adds nothing.
    tree.LoadPage(1);
    EXPECT_EQ(contents->Count(), 2);
    EXPECT_EQ(table.Registered().size(), 1u);
    EXPECT_EQ(tree.ContentStreams().size(), 2u);
}

TEST(PageTreeLoadPage, MarkedStreamIsReusedUpTo500000Bytes) {
    for (const size_t size : {size_t{500000}, size_t{500001}}) {
        TObjectTable table;
        table.AddDict(1, "<< /Type /Pages /Count 1 /Kids [2 0 R] >>");
        table.AddDict(2, "<< /Type /Page /Parent 1 0 R /Contents [3 0 R] >>");
        std::string bytes(size, 'x');
        bytes[size - 2] = 'E';
        bytes[size - 1] = 'T';
        TPDFStream* marked = table.AddStream(3, "<< /LC /Tolm >>", bytes);
        TPDFPageTree tree(table.Dict(1));
        const auto* contents = As<TPDFArray>(table.Dict(2)->GetValue("Contents"));
        if (size <= TPDFPageTree::kMaxMarkedStreamBytes) {
            EXPECT_EQ(contents->Count(), 1);
            EXPECT_TRUE(table.Registered().empty());
            ASSERT_EQ(tree.ContentStreams().size(), 1u);
            EXPECT_EQ(tree.ContentStreams()[0], marked);
            // The buffer takes the stream's text with one trailing blank.
            EXPECT_EQ(tree.PageBuffer().Buffer().size(), size + 1);
            EXPECT_EQ(tree.PageBuffer().Buffer().substr(size - 2), "ET ");
        } else {
            EXPECT_EQ(contents->Count(), 2) << size;
            EXPECT_EQ(table.Registered().size(), 1u);
            ASSERT_EQ(tree.ContentStreams().size(), 2u);
            EXPECT_EQ(tree.ContentStreams()[0], marked);
            EXPECT_EQ(tree.PageBuffer().Buffer(), "");
        }
        EXPECT_EQ(tree.CurrentContent(), static_cast<int32_t>(tree.ContentStreams().size()));
    }
}

TEST(PageTreeLoadPage, ContentsShapes) {
    // No Contents: a direct array with one new marked stream.
    {
        TObjectTable table;
        BuildFlatTree(table, 1);
        TPDFPageTree tree(table.Dict(1));
        const auto* contents = As<TPDFArray>(table.Dict(2)->GetValue("Contents"));
        ASSERT_NE(contents, nullptr);
        ASSERT_EQ(contents->Count(), 1);
        ASSERT_EQ(table.Registered().size(), 1u);
        const auto* stream = As<TPDFStream>(table.Get(table.Registered()[0]));
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(stream->StreamDict()->GetValue("LC")->ToText(), "/Tolm");
        EXPECT_EQ(tree.ContentStreams().size(), 1u);
        EXPECT_TRUE(tree.PageLoaded());
    }
    // Contents referring to an array: that array is worked on, the page keeps its reference.
    {
        TObjectTable table;
        table.AddDict(1, "<< /Type /Pages /Count 1 /Kids [2 0 R] >>");
        table.AddDict(2, "<< /Type /Page /Parent 1 0 R /Contents 3 0 R >>");
        auto* array = As<TPDFArray>(table.Add(3, "[4 0 R]"));
        table.AddStream(4, "<< >>", "BT ET");
        TPDFPageTree tree(table.Dict(1));
        EXPECT_EQ(table.Dict(2)->GetValue("Contents")->ToText(), "3 0 R");
        EXPECT_EQ(array->Count(), 2);
        EXPECT_EQ(tree.ContentStreams().size(), 2u);
    }
    // Elements that are not streams become new empty streams without the marker.
    {
        TObjectTable table;
        table.AddDict(1, "<< /Type /Pages /Count 1 /Kids [2 0 R] >>");
        table.AddDict(2, "<< /Type /Page /Parent 1 0 R /Contents [null 30 0 R 4 0 R] >>");
        TPDFStream* direct = table.AddStream(4, "<< /LC /Tolm >>", "0 g");
        TPDFPageTree tree(table.Dict(1));
        const auto* contents = As<TPDFArray>(table.Dict(2)->GetValue("Contents"));
        ASSERT_EQ(contents->Count(), 3);
        ASSERT_EQ(table.Registered().size(), 2u);
        for (int32_t i = 0; i < 2; ++i) {
            EXPECT_EQ(contents->Get(i)->ToText(), std::to_string(table.Registered()[i]) + " 0 R");
            const auto* stream = As<TPDFStream>(table.Get(table.Registered()[i]));
            ASSERT_NE(stream, nullptr);
            EXPECT_EQ(stream->StreamDict()->IndexOf("LC"), -1);
        }
        ASSERT_EQ(tree.ContentStreams().size(), 3u);
        EXPECT_EQ(tree.ContentStreams()[2], direct);
        EXPECT_EQ(tree.PageBuffer().Buffer(), "0 g ");
    }
    // A dangling single reference is wrapped, then replaced by an empty stream.
    {
        TObjectTable table;
        table.AddDict(1, "<< /Type /Pages /Count 1 /Kids [2 0 R] >>");
        table.AddDict(2, "<< /Type /Page /Parent 1 0 R /Contents 30 0 R >>");
        TPDFPageTree tree(table.Dict(1));
        const auto* contents = As<TPDFArray>(table.Dict(2)->GetValue("Contents"));
        ASSERT_NE(contents, nullptr);
        EXPECT_EQ(contents->Count(), 2);
        EXPECT_EQ(tree.ContentStreams().size(), 2u);
        EXPECT_EQ(table.Registered().size(), 2u);
    }
    // A direct stream (or anything else) is left alone and the page stays unloaded.
    {
        TObjectTable table;
        table.AddDict(1, "<< /Type /Pages /Count 1 /Kids [2 0 R] >>");
        table.AddDict(2, "<< /Type /Page /Parent 1 0 R /Contents (text) >>");
        TPDFPageTree tree(table.Dict(1));
        EXPECT_EQ(tree.CurrentPageNumber(), 1);
        EXPECT_EQ(tree.CurrentPageDict(), table.Dict(2));
        EXPECT_FALSE(tree.PageLoaded());
        EXPECT_TRUE(tree.ContentStreams().empty());
        EXPECT_EQ(table.Dict(2)->GetValue("Contents")->ToText(), "(text)");
        EXPECT_TRUE(table.Registered().empty());
    }
}

TEST(PageTreeLoadPage, SelectionKeepsTheCurrentPageWhenNothingIsFound) {
    TObjectTable table;
    table.AddDict(1, "<< /Type /Pages /Count 3 /Kids [2 0 R 3 0 R] >>");
    table.AddDict(2, "<< /Type /Page /Parent 1 0 R /Contents 10 0 R /Tag 1 >>");
    table.AddDict(3, "<< /Type /Page /Parent 1 0 R /Annots [7 0 R] /Tag 2 >>");
    table.AddStream(10, "<< >>", "1 w");
    TPDFPageTree tree(table.Dict(1));
    tree.LoadPage(2);
    EXPECT_EQ(tree.CurrentPageNumber(), 2);
    ASSERT_NE(tree.Annots().Annots(), nullptr);
    EXPECT_EQ(tree.Annots().Annots()->Count(), 1);
    EXPECT_EQ(tree.Annots().Index(), -1);
    const auto streams = tree.ContentStreams();

    // Out of range: the current page is selected again.
    tree.LoadPage(9);
    EXPECT_EQ(tree.CurrentPageNumber(), 2);
    EXPECT_TRUE(tree.PageLoaded());

    // Page 3 is promised by Count but missing: nothing but the page dictionary changes.
    tree.LoadPage(3);
    EXPECT_EQ(tree.CurrentPageNumber(), 2);
    EXPECT_EQ(tree.CurrentPageDict(), nullptr);
    EXPECT_FALSE(tree.PageLoaded());
    EXPECT_EQ(tree.ContentStreams(), streams);

    tree.LoadPage(1);
    EXPECT_EQ(tree.CurrentPageNumber(), 1);
    EXPECT_EQ(tree.Annots().Annots(), nullptr);
    EXPECT_EQ(tree.PageBuffer().Buffer(), "");  // the new marked stream is last
    EXPECT_EQ(tree.ContentStreams()[0]->GetDecodedData(), "1 w");
}

TEST(PageTreeLoadPage, DecryptsEachPageOnceBeforeReadingItsContents) {
    TObjectTable table;
    BuildFlatTree(table, 2);
    table.Dict(2)->SetValue("Contents", table.Ref(10));
    table.AddStream(10, "<< >>", "secret");
    std::vector<int32_t> calls;
    bool contentsUntouched = false;
    TPDFPageTreeCallbacks callbacks;
    callbacks.DecryptTree = [&](int32_t number) {
        calls.push_back(number);
        if (number == 2) {
            contentsUntouched = As<TPDFIndRef>(table.Dict(2)->GetValue("Contents")) != nullptr;
            auto* stream = As<TPDFStream>(table.Get(10));
            stream->SetRawData(std::string("plain"));
        }
    };
    TPDFPageTree tree(table.Dict(1), callbacks);
    EXPECT_TRUE(contentsUntouched);
    EXPECT_EQ(tree.ContentStreams()[0]->GetDecodedData(), "plain");
    tree.LoadPage(2);
    tree.LoadPage(1);
    tree.ClearPageCache();
    tree.LoadPage(1);
    EXPECT_EQ(calls, (std::vector<int32_t>{2, 3}));
}

TEST(PageTreeLoadPage, WithoutARegistrarTheContentStaysUnloaded) {
    TObjectTable table;
    BuildFlatTree(table, 1);
    table.Store().OnRegisterIndirect = nullptr;
    TPDFPageTree tree(table.Dict(1));
    EXPECT_EQ(tree.CurrentPageNumber(), 1);
    EXPECT_FALSE(tree.PageLoaded());
    EXPECT_EQ(table.Dict(2)->IndexOf("Contents"), -1);
}

TEST(Painter, LoadTextEndsInOneBlank) {
    TPDFPainter painter;
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"", ""}, {"q", "q "}, {"q ", "q "}, {"Q\n", "Q\n "}, {"a  ", "a  "}};
    for (const auto& c : cases) {
        painter.LoadText(c.in);
        EXPECT_EQ(painter.Buffer(), c.out) << c.in;
    }
    painter.Reset();
    EXPECT_EQ(painter.Buffer(), "");
}

TEST(Annots, AttachResetsFirst) {
    TPDFStructure store;
    TPDFAnnots annots;
    EXPECT_EQ(annots.Annots(), nullptr);
    EXPECT_EQ(annots.Index(), -1);
    TPDFArray* array = store.NewArray();
    annots.Attach(array);
    EXPECT_EQ(annots.Annots(), array);
    EXPECT_EQ(annots.Index(), -1);
    annots.Reset();
    EXPECT_EQ(annots.Annots(), nullptr);
}

}  // namespace
}  // namespace verava
