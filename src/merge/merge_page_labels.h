// Page labels of a merged file (ISO 32000-1, 12.4.2): every page of the output keeps the
// label its input gave it, and a page of an input without labels is numbered in decimal by
// its position in the output. A first input labelled i, ii and a second one without labels
// (two pages) give
//   /PageLabels << /Nums [ 0 << /S /r >> 2 << /S /D /St 3 >> ] >>
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace verava {

class TSmartPDFDocument;

// One range of a PageLabels number tree: from page `start` (0-based) on, labels are
// `prefix` followed by the number `first`, `first` + 1, ... in `style` ("D", "R", "r", "A",
// "a"; empty: the prefix alone).
struct TLabelRange {
    int32_t start = 0;
    std::string style;
    std::string prefix;
    int32_t first = 1;

    bool operator==(const TLabelRange&) const = default;
};

// One page of the output: its input, and its place there (0-based). `rotate` turns it
// clockwise by that many degrees on top of its own Rotate (a multiple of 90). A `blank` page
// is a new empty page of the size and orientation of the page named (which it does not take:
// that page is listed, or left out, on its own).
struct TOutputPage {
    bool second = false;
    int32_t index = 0;
    int32_t rotate = 0;
    bool blank = false;
};

// The ranges that label `pages` (the output's pages in order) as their inputs' ranges did;
// an input without ranges, and the pages of an input before its first range, count in
// decimal by output position. A range starts wherever a page does not continue the one
// before it (another input or range, or a page left out between them).
std::vector<TLabelRange> OutputLabelRanges(const std::vector<TLabelRange>& first,
                                           const std::vector<TLabelRange>& second,
                                           const std::vector<TOutputPage>& pages);

// Gives the first input's catalog the labels of `pages`, or none at all when `keepLabels`
// is false (interleaved pages of odd and even scans fit neither input's labels). The
// catalog is left alone when neither input has labels.
void MergePageLabels(TSmartPDFDocument& first, TSmartPDFDocument& second,
                     const std::vector<TOutputPage>& pages, bool keepLabels);

}  // namespace verava
