// The file-level merge: the first input's objects under their own numbers, then the second
// input's objects renumbered above them, with the second page tree hung under the first, so
// the output's pages are all pages of the first input followed by all of the second. Neither
// input is loaded as a document; objects are parsed one at a time for writing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace verava {

class TStream;

// How the merge reports its progress: first the mapping of the raw values of the next pass
// into the caller's range (0.75 and 0 for the first input, 0.25 and 75 for the second), then
// the raw values, 0..100 per input.
struct MergeProgressSink {
    std::function<void(double scale, int32_t offset)> setRange;
    std::function<void(double raw)> report;
};

// Codes MergeStreams sets.
constexpr int32_t kMergeUnreadable = 409;  // no header, no cross-reference data or trailer
// An input carries an encryption dictionary, and no password (or a wrong one) was given.
constexpr int32_t kMergeEncrypted = 410;

// The order of the merged pages.
enum class TMergeOrder {
    Sequential,               // all pages of the first input, then all of the second
    Interleaved,              // first 1, second 1, first 2, second 2, ... then the rest
    InterleavedEvenReversed,  // the same with the second input's pages last to first
};

// How a merge is made: the page order, the passwords of encrypted inputs, and pages left
// out. An encrypted input is merged only when its password is given (and opens it); it is
// then taken through a decrypted copy, and the merged file is not encrypted.
struct TMergeOptions {
    TMergeOrder order = TMergeOrder::Sequential;
    std::u16string firstPassword;
    std::u16string secondPassword;
    // Pages of each input left out of the output (1-based, in the input's page order;
    // numbers that name no page are ignored). They are not in the output's page tree, and
    // objects that only they use are not written; a dropped page that something else still
    // names (an outline item, say) is written as null. A merge keeps at least one page: when
    // every page is dropped, the first of the order stays.
    std::vector<int32_t> firstDropped;
    std::vector<int32_t> secondDropped;
};

// Merges `first` and `second` into `output` (positioned at its start). Returns 1 when the
// output was written and holds every page of both inputs in the order asked for; 0 when an
// input was refused (errorCode then says why; nothing was written), or when the written
// output does not hold those pages (409; what was written must be thrown away). Before
// that, a merge whose output misses pages is made once more from the loader's copies of both
// inputs (the output is then rewritten from its start, and progress runs again). Write
// errors of the output and of the working copies of inputs propagate as exceptions
// (EFileError when the system gave its reason), as does EOperationCancelled raised by the
// progress sink.
int32_t MergeStreams(TStream& first, TStream& second, TStream& output, int32_t& errorCode,
                     const MergeProgressSink& progress = {}, const TMergeOptions& options = {});

}  // namespace verava
