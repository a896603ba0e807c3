// Small PDF files that once cost a reader far more than their size: object streams whose
// index or data inflate out of all proportion. Each is a file every reader must open (a
// catalog, a page tree, pages), so tests can check both what comes back and what it cost.
// The fuzz seeds of the same names were made the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace verava::testing {

// A one-page file whose catalog lies in an object stream with /N 1 and a /First far out:
// the header region before it is `numberBytes` bytes of "1 1 1 ...", Flate compressed.
std::string IndexBeyondN(size_t numberBytes);

// A one-page file whose catalog lies in an object stream whose index promises `pairs` pairs
// and holds them all ("1 0 0 33 0 33 ...": the catalog, then object 0 with no text over and
// over), Flate compressed.
std::string IndexOfManyPairs(int64_t pairs);

// A file of `pages` pages, page k packed in object stream k mod `streams`; each stream's data
// run on with `paddingBytes` bytes of spaces (after the last member's value) under two Flate
// filters, so each stream is tiny in the file and large once decoded. Loading the pages in
// order takes the streams round-robin.
std::string StreamsInflatingLarge(int streams, size_t paddingBytes, int pages);

// Runs `body` in a child process: its result (0..254), 255 when the child's resident memory
// rose more than `maxGrowth` bytes above what it held when it started, -1 when it failed.
int RunInChild(const std::function<int()>& body, int64_t maxGrowth = INT64_MAX);

}  // namespace verava::testing
