#include "merge/merge_page_labels.h"

#include <algorithm>

#include "merge/smart_pdf_document.h"
#include "merge/tree_entries.h"
#include "objects/pdf_structure.h"

namespace verava {
namespace {

// The ranges of one input's PageLabels tree, by start, one per start (the first given).
std::vector<TLabelRange> ReadRanges(TSmartPDFDocument& document) {
    std::vector<TLabelRange> ranges;
    if (document.RootDict == nullptr) return ranges;
    TPDFObject* root = document.RootDict->GetValue("PageLabels");
    if (root == nullptr) return ranges;
    for (const auto& [key, value] : TreeEntries(document, root, "Nums")) {
        const auto* start = As<TPDFNumeric>(key);
        auto* label = As<TPDFDictionary>(FollowIn(document, value));
        if (start == nullptr || label == nullptr || start->NumValue < 0) continue;
        TLabelRange range;
        range.start = start->AsInteger();
        if (const auto* style = As<TPDFName>(FollowIn(document, label->GetValue("S"))))
            range.style = style->Text;
        if (const auto* prefix = As<TPDFString>(FollowIn(document, label->GetValue("P"))))
            range.prefix = prefix->Bytes;
        if (const auto* first = As<TPDFNumeric>(FollowIn(document, label->GetValue("St"))))
            range.first = std::max(first->AsInteger(), 1);
        ranges.push_back(std::move(range));
    }
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const auto& a, const auto& b) { return a.start < b.start; });
    ranges.erase(std::unique(ranges.begin(), ranges.end(),
                             [](const auto& a, const auto& b) { return a.start == b.start; }),
                 ranges.end());
    return ranges;
}

TPDFDictionary* LabelDictionary(TPDFStructure& store, const TLabelRange& range) {
    TPDFDictionary* label = store.NewDictionary();
    if (!range.style.empty()) label->SetValue("S", store.NewName(range.style));
    if (!range.prefix.empty()) label->SetValue("P", store.NewString(range.prefix, false));
    if (range.first != 1) label->SetValue("St", store.NewNumeric(range.first));
    return label;
}

}  // namespace

std::vector<TLabelRange> OutputLabelRanges(const std::vector<TLabelRange>& first,
                                           const std::vector<TLabelRange>& second,
                                           const std::vector<TOutputPage>& pages) {
    std::vector<TLabelRange> out;
    // What labelled the page before: its input, its range (-1: numbered by position) and
    // its number.
    bool lastSecond = false;
    int64_t lastRange = -2;
    int64_t lastNumber = 0;
    for (size_t position = 0; position < pages.size(); ++position) {
        const TOutputPage& page = pages[position];
        const std::vector<TLabelRange>& ranges = page.second ? second : first;
        // The last range starting at or before the page.
        auto after = std::upper_bound(ranges.begin(), ranges.end(), page.index,
                                      [](int32_t index, const auto& r) { return index < r.start; });
        TLabelRange label;
        int64_t range = -1;
        int64_t number = static_cast<int64_t>(position) + 1;
        label.style = "D";
        if (after != ranges.begin()) {
            const TLabelRange& source = *(after - 1);
            range = after - 1 - ranges.begin();
            number = static_cast<int64_t>(source.first) + (page.index - source.start);
            label.style = source.style;
            label.prefix = source.prefix;
        }
        const bool continues = position > 0 && page.second == lastSecond && range == lastRange &&
                               number == lastNumber + 1;
        if (!continues) {
            label.start = static_cast<int32_t>(position);
            label.first = static_cast<int32_t>(std::min<int64_t>(number, INT32_MAX));
            out.push_back(std::move(label));
        }
        lastSecond = page.second;
        lastRange = range;
        lastNumber = number;
    }
    return out;
}

void MergePageLabels(TSmartPDFDocument& first, TSmartPDFDocument& second,
                     const std::vector<TOutputPage>& pages, bool keepLabels) {
    TPDFDictionary* catalog = first.RootDict;
    if (catalog == nullptr) return;
    auto record = [&] {
        if (first.RootRef != nullptr) first.RegisterObject(first.RootRef->TargetNumber, catalog);
    };
    if (!keepLabels) {
        if (catalog->IndexOf("PageLabels") < 0) return;
        catalog->RemoveKey("PageLabels");
        record();
        return;
    }
    const std::vector<TLabelRange> mine = ReadRanges(first);
    const std::vector<TLabelRange> theirs = ReadRanges(second);
    if (mine.empty() && theirs.empty()) return;
    TPDFStructure& store = *first.LocalStructure;
    TPDFArray* nums = store.NewArray();
    for (const TLabelRange& range : OutputLabelRanges(mine, theirs, pages)) {
        nums->Add(store.NewNumeric(range.start));
        nums->Add(LabelDictionary(store, range));
    }
    TPDFDictionary* tree = store.NewDictionary();
    tree->SetValue("Nums", nums);
    catalog->SetValue("PageLabels", tree);
    record();
}

}  // namespace verava
