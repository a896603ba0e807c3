// Putting all pages in a new order at once: the order, the tree's shape and Counts, and what
// every page shows (its resources, boxes and rotation) must come out as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "structure/object_table.h"
#include "structure/page_trees.h"
#include "structure/pdf_page_tree.h"

namespace verava {
namespace {

using testing::BuildBalancedTree;
using testing::BuildFlatTree;
using testing::ScanTree;
using testing::Sequence;
using testing::TObjectTable;

using Tags = std::vector<int32_t>;

// What a page shows for an inheritable attribute: its own value or the nearest ancestor's,
// written out ("" when none).
std::string Effective(TPDFDictionary* page, const char* key) {
    for (TPDFDictionary* node = page; node != nullptr;
         node = As<TPDFDictionary>(node->GetValue("Parent", true))) {
        if (TPDFObject* value = node->GetValue(key, true)) return value->ToText();
    }
    return "";
}

// The page dictionaries of a tree in Kids order, read from the table.
std::vector<TPDFDictionary*> PagesOf(TObjectTable& table, int32_t root) {
    std::vector<TPDFDictionary*> pages;
    std::vector<TPDFDictionary*> pending{table.Dict(root)};
    std::vector<std::pair<TPDFArray*, int32_t>> stack;
    stack.emplace_back(As<TPDFArray>(table.Dict(root)->GetValue("Kids", true)), 0);
    while (!stack.empty()) {
        auto& [kids, next] = stack.back();
        if (next >= kids->Count()) {
            stack.pop_back();
            continue;
        }
        auto* dict = table.Dict(As<TPDFIndRef>(kids->Get(next++))->TargetNumber);
        if (dict->GetType() == "Pages") {
            stack.emplace_back(As<TPDFArray>(dict->GetValue("Kids", true)), 0);
        } else {
            pages.push_back(dict);
        }
    }
    return pages;
}

// What each page shows, with the defaults of ISO 32000-1 7.7.3.3 (no Rotate is 0, no crop
// box is the media box).
std::vector<std::string> Shown(TObjectTable& table, int32_t root) {
    std::vector<std::string> shown;
    for (TPDFDictionary* page : PagesOf(table, root)) {
        const std::string media = Effective(page, "MediaBox");
        const std::string crop = Effective(page, "CropBox");
        const std::string rotate = Effective(page, "Rotate");
        shown.push_back("Resources=" + Effective(page, "Resources") + ";MediaBox=" + media +
                        ";CropBox=" + (crop.empty() ? media : crop) +
                        ";Rotate=" + (rotate.empty() ? "0" : rotate));
    }
    return shown;
}

// A tree whose inner nodes carry different attributes: pages inherit from several levels.
int32_t InheritingTree(TObjectTable& table) {
    table.AddDict(1,
                  "<< /Type /Pages /Count 6 /Kids [2 0 R 3 0 R 6 0 R] /MediaBox [0 0 612 792] "
                  "/Resources << /Font << /F1 30 0 R >> >> >>");
    table.AddDict(2, "<< /Type /Page /Parent 1 0 R /Tag 1 >>");
    table.AddDict(3,
                  "<< /Type /Pages /Parent 1 0 R /Count 2 /Kids [4 0 R 5 0 R] /Rotate 90 "
                  "/Resources 20 0 R >>");
    table.AddDict(4, "<< /Type /Page /Parent 3 0 R /Tag 2 >>");
    table.AddDict(5, "<< /Type /Page /Parent 3 0 R /Tag 3 /Rotate 180 >>");
    table.AddDict(6,
                  "<< /Type /Pages /Parent 1 0 R /Count 3 /Kids [7 0 R 8 0 R 9 0 R] /CropBox [10 "
                  "10 500 700] /MediaBox [0 0 595 842] >>");
    table.AddDict(7, "<< /Type /Page /Parent 6 0 R /Tag 4 >>");
    table.AddDict(8, "<< /Type /Page /Parent 6 0 R /Tag 5 /MediaBox [0 0 100 100] >>");
    table.AddDict(9, "<< /Type /Page /Parent 6 0 R /Tag 6 >>");
    table.AddDict(20, "<< /Font << /F2 31 0 R >> >>");
    return 1;
}

TEST(Reorder, PutsEveryPageInItsPlaceAndKeepsWhatEachShows) {
    std::mt19937 random(7);
    const struct {
        const char* what;
        int32_t (*build)(TObjectTable&);
    } trees[] = {
        {"flat", [](TObjectTable& t) { return BuildFlatTree(t, 7); }},
        {"balanced", [](TObjectTable& t) { return BuildBalancedTree(t, {3, 4, 5}); }},
        {"inheriting", InheritingTree},
    };
    for (const auto& tree : trees) {
        for (int variant = 0; variant < 4; ++variant) {
            TObjectTable table;
            const int32_t root = tree.build(table);
            const int32_t n = table.Dict(root)->GetInteger("Count", 0);
            std::vector<int32_t> order = Sequence(1, n);  // identity
            if (variant == 1) order = Sequence(n, 1);     // reversed
            if (variant >= 2) std::shuffle(order.begin(), order.end(), random);
            const std::vector<std::string> before = Shown(table, root);
            TPDFPageTree pages(table.Dict(root));
            ASSERT_TRUE(pages.Reorder(order)) << tree.what;
            const auto scan = ScanTree(table, root);
            EXPECT_TRUE(scan.Problems.empty()) << tree.what << ": " << scan.Problems.front();
            // Tags are the original positions: the scan must read the order given.
            EXPECT_EQ(scan.Tags, order) << tree.what << " " << variant;
            const std::vector<std::string> after = Shown(table, root);
            for (int32_t i = 0; i < n; ++i) {
                EXPECT_EQ(after[static_cast<size_t>(i)], before[static_cast<size_t>(order[i] - 1)])
                    << tree.what << " position " << i + 1;
            }
            // Lookups by number see the new order.
            for (int32_t i = 1; i <= n; ++i) {
                EXPECT_EQ(pages.FindPage(i)->GetInteger("Tag", 0), order[i - 1]) << tree.what;
            }
        }
    }
}

TEST(Reorder, WhatIsNoPermutationChangesNothing) {
    const std::vector<std::vector<int32_t>> refused = {
        {}, {1, 2, 3}, {1, 2, 3, 4, 5, 5}, {0, 1, 2, 3, 4, 5}, {1, 2, 3, 4, 5, 7},
        {6, 5, 4, 3, 2, 1, 1}, {-1, 2, 3, 4, 5, 6},
    };
    for (const auto& order : refused) {
        TObjectTable table;
        InheritingTree(table);
        TPDFPageTree pages(table.Dict(1));  // selects page 1, which gets its content stream
        std::vector<std::string> texts;
        for (int32_t n : {1, 2, 3, 4, 5, 6, 7, 8, 9}) texts.push_back(table.Dict(n)->ToText());
        EXPECT_FALSE(pages.Reorder(order)) << order.size();
        for (int32_t n : {1, 2, 3, 4, 5, 6, 7, 8, 9}) {
            EXPECT_EQ(table.Dict(n)->ToText(), texts[static_cast<size_t>(n - 1)]) << n;
        }
    }
    // A tree whose Count promises pages its Kids do not hold is refused too.
    TObjectTable table;
    BuildFlatTree(table, 4);
    table.Dict(1)->SetValue("Count", table.Store().NewNumeric(5));
    TPDFPageTree pages(table.Dict(1));
    EXPECT_FALSE(pages.Reorder({5, 4, 3, 2, 1}));
    EXPECT_EQ(ScanTree(table, 1).Tags, Sequence(1, 4));
}

TEST(Reorder, ThousandsOfPagesInOneStep) {
    TObjectTable table;
    BuildBalancedTree(table, {10, 10, 50});  // 5000 pages
    TPDFPageTree pages(table.Dict(1));
    ASSERT_TRUE(pages.Reorder(Sequence(5000, 1)));
    const auto scan = ScanTree(table, 1);
    EXPECT_TRUE(scan.Problems.empty());
    EXPECT_EQ(scan.Tags, Sequence(5000, 1));
}

}  // namespace
}  // namespace verava
