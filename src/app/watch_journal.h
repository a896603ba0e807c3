// The scan-folder watcher's memory across a crash: an append-only file of lines in the watched
// folder, one line per step of a job, each forced to disk before the step it announces:
//   pair 3 a.pdf b.pdf a_b_合并后.pdf   (fields tab-separated; collated: no even name)
//   lone 4 c.pdf why                    merged 3   failed 3 why
//   moving 3 done a.pdf b.pdf           moved 3
// Replaying it gives every job not yet `moved`, with how far it got.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace verava {

struct WatchJob {
    enum class Kind { Pair, Lone };
    Kind kind = Kind::Pair;
    int64_t id = 0;
    std::string odd;     // the fronts, the collated file, or the lone file
    std::string even;    // the backs; empty when collated or lone
    std::string output;  // the merged file's name in the output folder
    bool merged = false;
    bool failed = false;
    std::string reason;  // why it failed, or why a lone file stayed alone
    // Where the inputs go (done, failed, unpaired) and their names there, once chosen.
    bool moving = false;
    std::string folder;
    std::vector<std::string> targets;
    bool moved = false;
};

// One journal line (with its line end) for each step.
std::string JournalPairLine(const WatchJob& job);
std::string JournalLoneLine(const WatchJob& job);
std::string JournalMergedLine(int64_t id);
std::string JournalFailedLine(int64_t id, const std::string& reason);
std::string JournalMovingLine(const WatchJob& job);
std::string JournalMovedLine(int64_t id);

// The jobs the journal's lines describe, in the order they began. A line cut short by a
// crash (no line end) or not understood is passed over, and so is a job whose names are not
// plain scan names of the folder (a path, a hidden file, not a .pdf) or a move to anywhere
// but done, failed or unpaired.
std::vector<WatchJob> ReplayJournal(const std::string& content);

}  // namespace verava
