#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cstdio>

#include "support/bounded_run.h"

namespace verava::testing {
namespace {

bool Counters(PROCESS_MEMORY_COUNTERS& counters) {
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) != 0;
}

}  // namespace

int RunWithinMemory(const std::function<int()>& body, int64_t maxGrowth) {
    PROCESS_MEMORY_COUNTERS before{};
    if (!Counters(before)) return -1;
    const int result = body();
    PROCESS_MEMORY_COUNTERS after{};
    if (!Counters(after)) return -1;
    // The peak only rises: one that did not move past its earlier value says nothing of this
    // body, so the growth counted is from the larger of that peak and the start.
    const auto start = static_cast<int64_t>(before.WorkingSetSize);
    const auto earlierPeak = static_cast<int64_t>(before.PeakWorkingSetSize);
    const auto peak = static_cast<int64_t>(after.PeakWorkingSetSize);
    const int64_t growth = peak > earlierPeak ? peak - start : 0;
    if (growth > maxGrowth) std::fprintf(stderr, "grew %lld bytes\n", (long long)growth);
    return growth > maxGrowth ? 255 : std::min(result, 254);
}

}  // namespace verava::testing
