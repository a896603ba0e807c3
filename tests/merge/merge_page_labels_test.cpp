#include "merge/merge_page_labels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace verava {
namespace {

// The output's pages as text: "a0 a1 b0" is the first input's pages 0 and 1, then the second's
// page 0 (0-based).
std::vector<TOutputPage> Pages(const std::string& text) {
    std::vector<TOutputPage> pages;
    for (size_t at = 0; at + 1 < text.size(); at += 3)
        pages.push_back({text[at] == 'b', text[at + 1] - '0'});
    return pages;
}

TEST(MergePageLabels, EachPageKeepsItsLabelAndUnlabelledPagesCountByPosition) {
    const std::vector<TLabelRange> roman{{0, "r", "", 1}, {2, "D", "", 1}};  // i ii 1 2 ...
    const std::vector<TLabelRange> prefixed{{0, "D", "B-", 5}};              // B-5 B-6 ...
    const std::vector<TLabelRange> late{{1, "A", "", 1}};                    // (none) A B ...
    const struct {
        const char* what;
        std::vector<TLabelRange> first, second;
        const char* pages;
        std::vector<TLabelRange> expected;
    } cases[] = {
        {"both labelled: the second's ranges shifted after the first's pages",
         roman,
         prefixed,
         "a0 a1 a2 b0 b1",
         {{0, "r", "", 1}, {2, "D", "", 1}, {3, "D", "B-", 5}}},
        {"second unlabelled: its pages go on in decimal by position",
         roman,
         {},
         "a0 a1 a2 b0 b1",
         {{0, "r", "", 1}, {2, "D", "", 1}, {3, "D", "", 4}}},
        {"first unlabelled", {}, prefixed, "a0 a1 b0 b1", {{0, "D", "", 1}, {2, "D", "B-", 5}}},
        {"a page left out: the next one names its number",
         roman,
         prefixed,
         "a0 a2 a3 b1",
         {{0, "r", "", 1}, {1, "D", "", 1}, {3, "D", "B-", 6}}},
        {"pages before an input's first range count by position",
         late,
         {},
         "a0 a1 a2",
         {{0, "D", "", 1}, {1, "A", "", 1}}},
        {"no pages", roman, prefixed, "", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OutputLabelRanges(c.first, c.second, Pages(c.pages)), c.expected) << c.what;
}

}  // namespace
}  // namespace verava
