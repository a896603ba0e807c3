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

// The index of an object stream: N pairs "number offset" in the first First bytes of the
// decoded data, the offsets relative to First (ISO 32000-1 7.5.7). Exactly N pairs are read,
// and only from those First bytes: whatever else the header holds is never looked at, and an
// N the header cannot hold (each pair takes at least two bytes) makes the index invalid at
// once. Invalid too when N or First is no number, or the header holds fewer than N pairs.
// Nothing is kept per pair: a pair is found again by reading on from the nearest of the marks
// left every kMarkStride pairs on the way to the pairs asked for, so the memory follows the
// pairs used, whatever N promises. Numbers are rounded, words that are no number count as 0.
class TObjectStreamIndex {
  public:
    static constexpr int64_t kMarkStride = 16;

    TObjectStreamIndex() = default;
    TObjectStreamIndex(const TPDFDictionary& dictionary, std::string_view decoded);

    bool Valid() const { return valid_; }
    // N, and First (clipped to the data).
    int64_t Count() const { return count_; }
    int64_t First() const { return first_; }
    // The offsets never go down from one pair to the next, as ISO 32000-1 asks: the objects'
    // texts then do not overlap.
    bool Ordered() const { return ordered_; }
    // Pair `position` (0-based): object number and offset from First. None outside 0..N-1,
    // or when `decoded` (the data the index was read from) no longer holds it.
    std::optional<std::pair<int64_t, int64_t>> Pair(std::string_view decoded, int64_t position);

  private:
    friend std::optional<std::string_view> PackedObjectText(TObjectStreamIndex&, std::string_view,
                                                            int32_t, int32_t);
    int64_t served_ = 0;  // text handed out so far, counted for indexes out of order
    int64_t contentEnd_ = -1;  // where the white space that ends the data begins; -1: unknown
    bool valid_ = false;
    bool ordered_ = true;
    int64_t first_ = 0;
    int64_t count_ = 0;
    std::vector<uint32_t> marks_;  // where pair k * kMarkStride starts in the header
    int64_t nextPosition_ = -1;    // the pair after the one read last, and where it starts
    size_t nextAt_ = 0;
};
TObjectStreamIndex ReadObjectStreamIndex(const TPDFDictionary& dictionary,
                                         std::string_view decoded);
// The text of the object at `position` in the stream, when the index names `number` there:
// from its offset up to the next object's (or the end of the data), without the white space
// that ends the data (a stream padded out with it hands each reader only the objects). None
// otherwise. An index
// out of order lets texts overlap, so that each could be most of the data: such a stream
// hands out at most kOverlapAllowance times its size in all, then nothing.
inline constexpr int64_t kOverlapAllowance = 8;
std::optional<std::string_view> PackedObjectText(TObjectStreamIndex& index,
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
