// The file-level merge: the first input's objects under their own numbers, then the second
// input's objects renumbered above them, and one page tree of the pages asked for. The
// document loader has read each input (merge_input.h) and decides what it holds; the merge's
// own reader then parses objects one at a time for writing.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "merge/merge_input.h"
#include "merge/merge_page_labels.h"

namespace verava {

class TStream;

// How the merge reports its progress: first the mapping of the raw values of the next pass
// into the caller's range (0.75 and 0 for the first input, 0.25 and 75 for the second), then
// the raw values, 0..100 per input.
struct MergeProgressSink {
    std::function<void(double scale, int32_t offset)> setRange;
    std::function<void(double raw)> report;
};

// Codes MergeInputs and MergeStreams set.
constexpr int32_t kMergeUnreadable = 409;  // no header, no cross-reference data or trailer
// An input carries an encryption dictionary, and no password (or a wrong one) was given.
constexpr int32_t kMergeEncrypted = 410;

// How a merge is made: the output's pages, and the passwords of encrypted inputs. An
// encrypted input is merged only when its password is given (and opens it); it is then
// taken through a decrypted copy, and the merged file is not encrypted.
struct TMergeOptions {
    // The output's pages in order, each an input's page by its place there (0-based). Pages
    // of either input that are not listed are left out: they are not in the output's page
    // tree, objects only they use are not written, and a left-out page that something else
    // still names (an outline item, say) is written as null. Entries that name no page,
    // and a page listed again, are passed over; a list that names no page is refused (409).
    // Not given: every page of the first input, then every page of the second, the second
    // page tree hung under the first as it is.
    std::optional<std::vector<TOutputPage>> pages;
    std::u16string firstPassword;
    std::u16string secondPassword;
};

// Merges two loaded inputs into `output` (positioned at its start). Returns 1 when the
// output was written and holds the pages asked for; 0 when an input was refused (errorCode
// then says why; nothing was written), or when the written output does not hold those
// pages (409; what was written must be thrown away). Before that, a merge whose output misses
// pages is made once more from the loader's copies of both inputs (the output is then
// rewritten from its start, and progress runs again). Write errors of the output and of the
// working copies of inputs propagate as exceptions (EFileError when the system gave its
// reason), as does EOperationCancelled raised by the progress sink.
int32_t MergeInputs(TMergeInput& first, TMergeInput& second, TStream& output, int32_t& errorCode,
                    const MergeProgressSink& progress = {}, const TMergeOptions& options = {});

// One input's pages put in the order `options.pages` lists (entries naming the second input
// are passed over), turned and with blank pages as listed, as a merge of that input with
// nothing would give them: a scan of both sides in one file, collated. Without a list, every
// page in its order. Results and errors as MergeInputs.
int32_t ArrangeInput(TMergeInput& input, TStream& output, int32_t& errorCode,
                     const MergeProgressSink& progress = {}, const TMergeOptions& options = {});

// The same over two files not yet loaded: each is loaded first (with its password from
// `options`); one that does not load is refused (410 when its password was wrong or
// missing, else 409).
int32_t MergeStreams(TStream& first, TStream& second, TStream& output, int32_t& errorCode,
                     const MergeProgressSink& progress = {}, const TMergeOptions& options = {});

}  // namespace verava
