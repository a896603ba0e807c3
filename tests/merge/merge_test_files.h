// Small PDF files for the merge tests that the shared builder cannot make: cross-reference
// streams with rows chosen freely (compressed entries pointing anywhere, tables numbered
// from 1, huge numbers), and a reader over bytes in memory.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "merge/smart_pdf_reader.h"
#include "objects/stream.h"

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

// A merge reader over bytes held in memory.
struct ReaderOver {
    explicit ReaderOver(std::string bytes) : stream(std::move(bytes)), reader(stream) {}
    TMemoryStream stream;
    TSmartPDFReader reader;
};

}  // namespace verava::testing
