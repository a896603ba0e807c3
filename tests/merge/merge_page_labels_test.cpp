#include "merge/merge_page_labels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace verava {
namespace {

// `count` pages of one input in order, from `from` (0-based) on.
std::vector<TOutputPage> PagesOf(bool second, int32_t from, int32_t count) {
    std::vector<TOutputPage> pages;
    for (int32_t k = 0; k < count; ++k) pages.push_back({second, from + k});
    return pages;
}

std::vector<TOutputPage> Joined(std::vector<TOutputPage> a, const std::vector<TOutputPage>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(MergePageLabels, EachPageKeepsItsLabelAndUnlabelledPagesCountByPosition) {
    const std::vector<TLabelRange> roman{{0, "r", "", 1}, {2, "D", "", 1}};  // i ii 1 2 ...
    const std::vector<TLabelRange> prefixed{{0, "D", "B-", 5}};              // B-5 B-6 ...
    const std::vector<TLabelRange> late{{1, "A", "", 1}};                    // (none) A B ...
    struct Case {
        const char* what;
        std::vector<TLabelRange> first, second;
        std::vector<TOutputPage> pages;
        std::vector<TLabelRange> expected;
    };
    const Case cases[] = {
        {"both labelled: the second's ranges shifted after the first's pages",
         roman,
         prefixed,
         Joined(PagesOf(false, 0, 3), PagesOf(true, 0, 2)),
         {{0, "r", "", 1}, {2, "D", "", 1}, {3, "D", "B-", 5}}},
        {"second unlabelled: its pages go on in decimal by position",
         roman,
         {},
         Joined(PagesOf(false, 0, 3), PagesOf(true, 0, 2)),
         {{0, "r", "", 1}, {2, "D", "", 1}, {3, "D", "", 4}}},
        {"first unlabelled",
         {},
         prefixed,
         Joined(PagesOf(false, 0, 2), PagesOf(true, 0, 2)),
         {{0, "D", "", 1}, {2, "D", "B-", 5}}},
        {"a page left out: the next one names its number",
         roman,
         prefixed,
         Joined(Joined({{false, 0}}, PagesOf(false, 2, 2)), PagesOf(true, 1, 1)),
         {{0, "r", "", 1}, {1, "D", "", 1}, {3, "D", "B-", 6}}},
        {"pages before an input's first range count by position",
         late,
         {},
         PagesOf(false, 0, 3),
         {{0, "D", "", 1}, {1, "A", "", 1}}},
        {"no pages", roman, prefixed, {}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OutputLabelRanges(c.first, c.second, c.pages), c.expected) << c.what;
}

}  // namespace
}  // namespace verava
