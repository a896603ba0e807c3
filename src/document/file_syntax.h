// The rules of PDF file syntax that both readers of this system apply (the document loader
// and the merge reader) and both writers (the document writer and the merge writer), in one
// place, so a file reads the same way whichever reads it:
//   %PDF-1.7                          the header and its version
//   12 0 obj << /Length 5 >> stream   where a stream's data start and end
//   ... endstream
//   << /Type /ObjStm /N 2 /First 9 >> the index of an object stream
//   xref 0 3 ... trailer << >>        the classic table, its rows and the trailer keys
// (ISO 32000-1 7.3.8, 7.5.2, 7.5.4, 7.5.7, 7.5.8).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "objects/pdf_object.h"

namespace verava {

// The header mark in the first bytes of a file: "%PDF-1.7", or the PostScript form
// "%!PS-Adobe-3.0 PDF-1.3". The version is the leading run of digits and dots ("1.7.3" is
// taken as "1.7"); a mark whose version is no plain number does not count.
struct THeaderMark {
    size_t at = 0;            // where the mark starts
    bool postScript = false;  // the "%!PS-Adobe-" form
    std::string version;
};
// Headers are looked for this far into a file.
inline constexpr size_t kHeaderWindow = 1024;
// The mark in `head` (a file's first kHeaderWindow bytes), or none.
std::optional<THeaderMark> FindHeaderMark(std::string_view head);

// Trailer keys that belong to cross-reference sections (a stream's own dictionary entries,
// the links between sections): meaningless in the single classic table a writer puts out,
// and misleading there (XRefStm would point into other bytes).
inline constexpr std::string_view kSectionTrailerKeys[] = {
    "Prev", "XRefStm", "Type", "W", "Index", "Length", "Filter", "DecodeParms"};
void RemoveSectionKeys(TPDFDictionary& trailer);

// Where a stream's data lie in `source`, given the position right after its dictionary and
// the declared Length (none when it is missing, or cannot be had as a number). The data
// start after "stream" and one line end; with a Length whose end is followed by
// "endstream" (after one line end and a little padding) they are exactly that long;
// otherwise they run up to "endstream", less the padding and the line end in front of it;
// without any "endstream" (a file cut short) they run to the end of what there is, at most
// the declared length. None when no "stream" keyword follows the dictionary before
// "endobj". `find` searches `source` for a keyword from a position and before a limit (npos
// when absent): callers that search one text often may remember earlier answers.
struct TStreamExtent {
    size_t start = 0;
    size_t length = 0;
};
using TKeywordFind = std::function<size_t(std::string_view keyword, size_t from, size_t limit)>;
std::optional<TStreamExtent> FindStreamExtent(std::string_view source, size_t afterDictionary,
                                              std::optional<double> declaredLength,
                                              const TKeywordFind& find);
// The same with a plain search of `source`.
std::optional<TStreamExtent> FindStreamExtent(std::string_view source, size_t afterDictionary,
                                              std::optional<double> declaredLength);

// The index of an object stream: for each of its N objects the object number and where its
// text starts, relative to First. Invalid when N or First is no number, or the header
// holds fewer than N pairs; N is at most the data's size and First is clipped to it.
struct TObjectStreamIndex {
    bool valid = false;
    int64_t first = 0;
    std::vector<std::pair<int64_t, int64_t>> pairs;  // (object number, offset from First)
};
TObjectStreamIndex ReadObjectStreamIndex(const TPDFDictionary& dictionary,
                                         std::string_view decoded);
// The text of the object at `index` in the stream, when the index names `number` there:
// from its offset up to the next object's (or the end of the data). None otherwise.
std::optional<std::string_view> PackedObjectText(const TObjectStreamIndex& index,
                                                 std::string_view decoded, int32_t position,
                                                 int32_t number);

// What a reader knows of the first rows of its cross-reference data, to tell a table whose
// rows are numbered one too high (some writers number from 1). That shows in two ways: the
// row said to be object 1 is the free-list head (offset 0, generation 65535), or there is no
// row for object 1 and the trailer's Size counts one row more than the rows in use (a table
// that starts at 2). Either way "1 0 obj" stands at the offset given for object 2.
struct TFirstRows {
    bool oneIsFreeHead = false;
    bool oneAbsent = false;
    int64_t rowsInUse = 0;
    std::optional<double> trailerSize;
    std::string_view textAtTwo;  // the file from the offset given for object 2
};
bool NumberedOneTooHigh(const TFirstRows& rows);

// One row of a classic cross-reference table to write.
struct TTableRow {
    int32_t number = 0;
    int64_t offset = 0;      // in use: where the object starts
    int32_t generation = 0;  // written as 0 when outside 0..65535
    bool inUse = false;
};
// A row holds ten offset digits.
inline constexpr int64_t kMaxTableOffset = 9999999999;
// "xref" and the rows of `rows` (sorted by number, each number once), one subsection per run
// of consecutive numbers. Row 0 is the head of the free list: each free row holds the
// number of the next free one (ISO 32000-1 7.5.4). Raises EStreamError when an object starts
// beyond kMaxTableOffset.
std::string ClassicTable(const std::vector<TTableRow>& rows);

}  // namespace verava
