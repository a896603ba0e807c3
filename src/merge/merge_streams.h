// The file-level merge: the first input's objects under their own numbers, then the second
// input's objects renumbered above them, with the second page tree hung under the first, so
// the output's pages are all pages of the first input followed by all of the second. Neither
// input is loaded as a document; objects are parsed one at a time for writing.
#pragma once

#include <cstdint>
#include <functional>

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
constexpr int32_t kMergeEncrypted = 410;   // an input carries an encryption dictionary

// Merges `first` and `second` into `output` (positioned at its start). Returns 1 when the
// output was written, 0 when an input was refused (errorCode then says why); nothing is
// written before both inputs passed their checks. Write errors of the output propagate as
// exceptions.
int32_t MergeStreams(TStream& first, TStream& second, TStream& output, int32_t& errorCode,
                     const MergeProgressSink& progress = {});

}  // namespace verava
