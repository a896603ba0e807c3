#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "support/bounded_run.h"

namespace verava::testing {
namespace {

// A line "Key:   123 kB" of /proc/self/status, in bytes; -1 when absent.
int64_t StatusBytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key + ":", 0) == 0) return std::stoll(line.substr(key.size() + 1)) * 1024;
    }
    return -1;
}

}  // namespace

int RunWithinMemory(const std::function<int()>& body, int64_t maxGrowth) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        // A forked child's high-water mark starts at what it holds when it starts.
        const int64_t start = StatusBytes("VmRSS");
        const int result = body();
        const int64_t growth = StatusBytes("VmHWM") - start;
        if (growth > maxGrowth) std::fprintf(stderr, "grew %lld bytes\n", (long long)growth);
        _exit(growth > maxGrowth ? 255 : std::min(result, 254));
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace verava::testing
