// Runs a piece of a test where the memory it takes can be measured: on POSIX in a forked
// child, whose high-water mark starts at what it holds when it starts; on Windows (no fork)
// in this process, against the peak working set, which cannot be reset there: growth below
// an earlier peak of the process goes unseen, so the bound is only as tight as the tests
// before it allow.
#pragma once

#include <cstdint>
#include <functional>

namespace verava::testing {

// `body`'s result (0..254); 255 when the memory it took rose more than `maxGrowth` bytes
// above what was held when it started; -1 when it could not be run.
int RunWithinMemory(const std::function<int()>& body, int64_t maxGrowth);

}  // namespace verava::testing
