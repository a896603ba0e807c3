// Small PDF files for the merge tests that the shared builder cannot make: cross-reference
// streams with rows chosen freely (compressed entries pointing anywhere, tables numbered
// from 1, huge numbers), files whose links use named destinations, and a reader over bytes
// in memory.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "merge/merge_page_labels.h"
#include "merge/smart_pdf_reader.h"
#include "objects/stream.h"
#include "support/pdf_builder.h"

namespace verava::testing {

// One row of a cross-reference stream (W [1 4 2]). For type 1 rows, field2 -1 means "the
// offset at which object `number` was written".
struct HandRow {
    int number;
    int type;
    int64_t field2;
    int field3;
};

inline void PutBigEndian(std::string& out, uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// "%PDF-1.5", the objects in the order given ("N 0 obj\n" body "\nendobj\n"), then a
// cross-reference stream (number: highest object number + 1) holding `rows` in order, with
// an Index of one pair per row, and startxref.
inline std::string XRefStreamFile(const std::vector<std::pair<int, std::string>>& objects,
                                  std::vector<HandRow> rows,
                                  const std::string& trailerEntries = "") {
    std::string out = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
    std::vector<std::pair<int, int64_t>> offsets;
    int highest = 0;
    for (const auto& [number, body] : objects) {
        offsets.emplace_back(number, static_cast<int64_t>(out.size()));
        out += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
        if (number > highest) highest = number;
    }
    std::string data;
    std::string index = "[";
    for (HandRow& row : rows) {
        if (row.type == 1 && row.field2 == -1) {
            for (const auto& [number, offset] : offsets) {
                if (number == row.number) row.field2 = offset;
            }
        }
        PutBigEndian(data, static_cast<uint64_t>(row.type), 1);
        PutBigEndian(data, static_cast<uint64_t>(row.field2), 4);
        PutBigEndian(data, static_cast<uint64_t>(row.field3), 2);
        index += " " + std::to_string(row.number) + " 1";
        if (row.number > highest) highest = row.number;
    }
    index += " ]";
    const int self = highest + 1;
    const int64_t start = static_cast<int64_t>(out.size());
    out += std::to_string(self) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(self + 1) +
           " /W [1 4 2] /Index " + index + " /Length " + std::to_string(data.size()) + " " +
           trailerEntries + " >>\nstream\n" + data + "\nendstream\nendobj\n";
    out += "startxref\n" + std::to_string(start) + "\n%%EOF\n";
    return out;
}

// Pages 5 and 7 showing "<prefix> 1" and "<prefix> 2", with named destinations in both
// forms, and page labels. First input: (Intro) page 5, (Shared) page 7 in a tree with kids,
// /Chapter page 7 in the catalog's Dests, labels i, ii. Second input: (Intro) page 7 and
// (Only) page 5 in a direct tree, /Chapter page 5, labels B-5, B-6; its page 5 has a link
// annotation to (Intro) and one whose GoTo action names /Chapter, and its outline item's
// action names (Intro) and then (Only).
inline PdfBuilder NamedDestinationsFile(const std::string& prefix, bool second) {
    PdfBuilder b = SimpleDocument(2, prefix);  // 1..8
    if (!second) {
        b.Set(1,
              "<< /Type /Catalog /Pages 2 0 R /Names << /Dests 9 0 R >> /Dests 10 0 R "
              "/PageLabels << /Nums [ 0 << /S /r >> ] >> >>");
        b.Set(9, "<< /Kids [ 12 0 R ] >>");
        b.Set(12,
              "<< /Limits [ (Intro) (Shared) ] /Names [ (Intro) [ 5 0 R /Fit ] (Shared) 13 0 R ] "
              ">>");
        b.Set(13, "<< /D [ 7 0 R /Fit ] >>");
        b.Set(10, "<< /Chapter [ 7 0 R /XYZ 0 792 0 ] >>");
        return b;
    }
    b.Set(1,
          "<< /Type /Catalog /Pages 2 0 R /Names << /Dests << /Names [ (Intro) [ 7 0 R /Fit ] "
          "(Only) [ 5 0 R /Fit ] ] >> >> /Dests 9 0 R /Outlines 10 0 R /PageLabels << /Nums [ 0 "
          "<< /S /D /P (B-) /St 5 >> ] >> >>");
    b.Set(9, "<< /Chapter [ 5 0 R /Fit ] >>");
    b.Set(5,
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R "
          ">> >> /Contents 6 0 R /Annots [ 12 0 R << /Type /Annot /Subtype /Link /Rect [ 0 0 9 9 "
          "] /A << /S /GoTo /D /Chapter >> >> ] >>");
    b.Set(12, "<< /Type /Annot /Subtype /Link /Rect [ 0 0 9 9 ] /Dest (Intro) >>");
    b.Set(10, "<< /Type /Outlines /First 11 0 R /Last 11 0 R /Count 1 >>");
    b.Set(11, "<< /Title (even intro) /Parent 10 0 R /A 14 0 R >>");
    b.Set(14, "<< /S /GoTo /D (Intro) /Next << /S /GoTo /D (Only) >> >>");
    return b;
}

// A merge reader over bytes held in memory.
struct ReaderOver {
    explicit ReaderOver(std::string bytes) : stream(std::move(bytes)), reader(stream) {}
    TMemoryStream stream;
    TSmartPDFReader reader;
};

// The pages of a merge's output written as "f1 s2 f3": the first input's page 1, the second
// input's page 2, ... (1-based here, as people count them).
inline std::vector<TOutputPage> Listed(const std::string& pages) {
    std::vector<TOutputPage> listed;
    std::istringstream words(pages);
    for (std::string word; words >> word;) {
        // "f2" / "s2": page 2 of the first / second input; "bf2" / "bs2": a blank page of
        // its size; "@90" after either: turned by 90 degrees.
        const bool blank = word[0] == 'b';
        if (blank) word.erase(0, 1);
        const size_t at = word.find('@');
        const int rotate = at == std::string::npos ? 0 : std::stoi(word.substr(at + 1));
        listed.push_back({word[0] == 's', std::stoi(word.substr(1, at)) - 1, rotate, blank});
    }
    return listed;
}

}  // namespace verava::testing
