#include "merge/merge_page_labels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "merge/merge_streams.h"
#include "merge/smart_pdf_reader.h"
#include "merge_test_files.h"
#include "objects/stream.h"
#include "support/object_values.h"
#include "support/pdf_builder.h"

namespace verava {
namespace {

using testing::PdfBuilder;
using testing::SimpleDocument;

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

// A two-page document whose PageLabels tree holds `nums`; none when empty.
std::string LabelledFile(const std::string& prefix, const std::string& nums) {
    PdfBuilder b = SimpleDocument(2, prefix);
    if (!nums.empty()) {
        b.Set(1, "<< /Type /Catalog /Pages 2 0 R /PageLabels 9 0 R >>");
        b.Set(9, "<< /Kids [ 10 0 R ] >>");
        b.Set(10, "<< /Limits [ 0 1 ] /Nums [ " + nums + " ] >>");
    }
    return b.Build();
}

// The ranges of a merged file's PageLabels as "start style prefix first" items, "" without.
std::string MergedLabels(const std::string& first, const std::string& second, TMergeOrder order) {
    TMemoryStream a(first);
    TMemoryStream b(second);
    TMemoryStream out;
    int32_t code = 0;
    TMergeOptions options;
    options.order = order;
    EXPECT_EQ(MergeStreams(a, b, out, code, {}, options), 1);
    testing::ReaderOver reader(out.Data());
    auto* catalog = As<TPDFDictionary>(
        reader.reader.GetObject(testing::RefNumber(reader.reader.Trailer()->GetValue("Root"))));
    if (catalog == nullptr) return "(no catalog)";
    auto* labels = As<TPDFDictionary>(catalog->GetValue("PageLabels", true));
    if (labels == nullptr) return "";
    auto* nums = As<TPDFArray>(labels->GetValue("Nums", true));
    if (nums == nullptr) return "(no Nums)";
    std::string text;
    for (int32_t k = 0; k + 1 < nums->Count(); k += 2) {
        auto* label = As<TPDFDictionary>(nums->Get(k + 1));
        if (label == nullptr) return "(not a dictionary)";
        auto* style = As<TPDFName>(label->GetValue("S"));
        auto* prefix = As<TPDFString>(label->GetValue("P"));
        text += (text.empty() ? "" : ", ") +
                std::to_string(static_cast<int>(testing::Number(nums->Get(k))));
        text += " " + (style != nullptr ? style->Text : "-");
        text += " " + (prefix != nullptr ? prefix->Bytes : "-");
        text += " " + std::to_string(label->GetInteger("St", 1));
    }
    return text;
}

TEST(MergePageLabels, SequentialMergesKeepBothInputsLabelsInterleavedOnesHaveNone) {
    // (15 names nothing: that range is not taken.)
    const std::string roman = LabelledFile("Odd", "0 << /S /r >> 1 15 0 R");
    const std::string prefixed = LabelledFile("Even", "0 << /S /D /P (B-) /St 5 >>");
    const std::string plain = LabelledFile("Even", "");
    EXPECT_EQ(MergedLabels(roman, prefixed, TMergeOrder::Sequential), "0 r - 1, 2 D B- 5");
    EXPECT_EQ(MergedLabels(plain, prefixed, TMergeOrder::Sequential), "0 D - 1, 2 D B- 5");
    EXPECT_EQ(MergedLabels(roman, plain, TMergeOrder::Sequential), "0 r - 1, 2 D - 3");
    EXPECT_EQ(MergedLabels(plain, plain, TMergeOrder::Sequential), "");
    for (TMergeOrder order : {TMergeOrder::Interleaved, TMergeOrder::InterleavedEvenReversed})
        EXPECT_EQ(MergedLabels(roman, prefixed, order), "") << static_cast<int>(order);
}

}  // namespace
}  // namespace verava
