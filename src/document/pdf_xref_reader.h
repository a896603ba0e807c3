// Finds and reads the cross-reference data of a PDF file: the "startxref" value at the end,
// classic "xref" tables with their "trailer" dictionaries, cross-reference streams, and the
// XRefStm / Prev links between sections. Every entry and every trailer is handed to the
// owner through events, newest section first, so owners keep the first entry they get for a
// number (ISO 32000-1 7.5.6: an update's entries hide older ones).
//
//   xref                      12 0 obj
//   0 3                       << /Type /XRef /W [1 2 1] /Size 3 ... >>
//   0000000000 65535 f        stream
//   0000000015 00000 n        ...binary rows...
//   trailer << /Size 3 >>     endstream
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "objects/keyword_search.h"
#include "objects/pdf_structure.h"

namespace verava {

class TStream;

class TPDFXRefReader {
  public:
    // kind: 'n' in use (value = offset), 'f' free, 'c' compressed (value = object stream
    // number, generation = index in it), ' ' other stream entry types; classic tables pass
    // the entry's byte through as it is.
    using EntryEvent =
        std::function<void(int32_t number, int32_t generation, char kind, int64_t value)>;
    using TrailerEvent = std::function<void(const std::string& dictionaryText)>;
    // A section about to be read; the negated offset withdraws it after a failure.
    using SectionEvent = std::function<void(int64_t offset)>;

    explicit TPDFXRefReader(TStream& stream);
    explicit TPDFXRefReader(std::string_view buffer);

    // `count` bytes at `position` + BaseOffset, clipped to the data.
    std::string ReadAt(int64_t count, int64_t position);
    // The value after the last "startxref", or 0.
    int64_t FindStartXRef();
    // Reads the section at `offset` and everything it links to; true only when the whole
    // Prev chain was read. Sections are read one after another, never by recursion, and
    // each position once: a chain of updates is as long as the file makes it (it cannot hold
    // more sections than bytes) and stops only where a link leads nowhere or back.
    bool ReadSection(int64_t offset);

    TStream* Stream = nullptr;
    EntryEvent OnEntry;
    TrailerEvent OnTrailer;
    SectionEvent OnSection;
    bool HasXRefStream = false;
    bool HasXRefStm = false;
    int64_t LastPrev = -1;
    int64_t BaseOffset = 0;
    bool InMemory = false;
    std::string_view Buffer;
    int64_t Size = 0;
    int32_t SubsectionCount = 0;
    int32_t PrevCount = 0;
    std::unordered_set<int64_t> Visited;
    // Set when a table section holds fewer rows than its subsection headers promise, or rows
    // that do not read as an offset and a generation, or when a cross-reference stream could
    // not be read within the budgets below: entries were lost on the way.
    bool Damaged = false;

  private:
    // Memory mode: a view into Buffer. Stream mode: read into `storage`, viewed.
    std::string_view View(int64_t count, int64_t position, std::string& storage);
    // Backwards search in blocks of 1024 bytes overlapping by `overlap`; the last occurrence
    // in the first block that has one. Only bytes before `end` are searched.
    int64_t FindBackwards(std::string_view needle, int64_t end, int64_t overlap);
    // The first occurrence of `needle` at or after `position`, or -1.
    int64_t FindForwards(std::string_view needle, int64_t position);
    // What one section says of the sections after it.
    struct TLinks {
        bool ok = false;                 // the section was read
        std::optional<int64_t> xrefStm;  // a hybrid file's stream section, read next
        std::optional<int64_t> prev;     // the older section, read after that
    };
    void SetBudgets();
    TLinks ReadOneSection(int64_t offset);
    TLinks ReadTableSection(int64_t position);
    TLinks ReadStreamSection(int64_t position);
    bool WasVisited(int64_t position);

    TPDFStructure store_;  // the section being read: its trailer or stream dictionary
    // Over one chain, cross-reference streams read and yield at most DecodeLimitForInput of
    // the file's size in all (each also copies its raw data), and their dictionaries are
    // looked for beyond the first 20 KB at most kGrowthFactor times the file's size in all:
    // each section costs a bounded share of the file, however many sections it holds.
    static constexpr int64_t kGrowthFactor = 16;
    uint64_t decodeLeft_ = 0;
    int64_t growthLeft_ = 0;
    std::string trailerNeedle_;
    std::optional<TKeywordSearch> trailerSearch_;  // memory mode: FindForwards, remembered
};

}  // namespace verava
