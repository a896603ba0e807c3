// The scan folder: PDFs dropped into one folder are taken once complete, paired in the order
// they completed (fronts, then backs), merged into the output folder, and only then moved to
// done/ (or failed/, or unpaired/ for a file left alone, each with NAME.txt saying why). Every
// step is announced in the folder's journal first (app/watch_journal.h), so that a restart
// after a crash finishes each pair exactly once and loses no input. One pair at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/watch_journal.h"
#include "app/watch_platform.h"

namespace verava {

struct WatchOptions {
    std::string folder;
    std::string outFolder;             // empty: folder/merged
    int64_t pairWithinSeconds = 1800;  // a lone file waits this long for its partner
    int64_t settleSeconds = 5;         // unchanged this long before a file is looked at
    int64_t pollSeconds = 0;           // 0: folder events where the file system gives them
    bool evenReversed = false;
    bool dropBlank = false;
    bool shortEdge = false;  // the backs are turned 180 degrees
    bool collated = false;   // each file holds both passes
    bool once = false;       // look once, do what is due, and end
};

// "90s", "30m", "2h" or plain seconds; -1 when not a duration.
int64_t ParseWatchDuration(const std::string& text);
// The shortest of those forms: 1800 -> "30m".
std::string WatchDurationText(int64_t seconds);

// The syslog priority of one of the watcher's lines: 3 when something could not be done
// (failed, cannot), 4 when a file was set aside or waits (unpaired, left, waiting), 6 else.
int WatchLinePriority(const std::string& line);

class WatchFolder {
  public:
    // `log` receives one line per event, without its line end.
    WatchFolder(WatchOptions options, std::function<void(const std::string&)> log);

    // Opens and locks the journal, creates the output folder and finishes every job the
    // journal left open. "" or why the folder cannot be watched.
    std::string Start();
    // Looks at the folder once: takes the files that have completed and runs every job that
    // is due. Returns how long (ms) until something becomes due without a change in the
    // folder, -1 when nothing will.
    int64_t Step();
    // Start, then Step after every change until stopped (or once with `once`). The exit
    // status: 0, or 1 when the folder cannot be watched or (with `once`) a merged file
    // could not be written.
    int Run();

  private:
    struct Seen {
        int64_t size = -1;
        int64_t mtimeMs = 0;
        int64_t settledAtMs = 0;
        bool checked = false;  // looked at since it last changed
        bool reportedWaiting = false;
        bool reportedStale = false;
    };
    struct Taken {
        std::string name;
        int64_t atMs = 0;
    };
    enum class JobEnd { Finished, RetryLater };

    std::string Path(const std::string& name) const { return options_.folder + "/" + name; }
    std::string OutFolder() const;
    bool IsCandidate(const WatchEntry& entry) const;
    bool IsComplete(const std::string& name) const;
    void LookAtFolder(int64_t now);
    // The next job from the queue, when one is due.
    bool NextJob(int64_t now, WatchJob& job);
    std::string Record(const std::string& line);
    JobEnd RunJob(WatchJob& job);
    // Says why the job cannot go on now; it is tried again after a while.
    JobEnd Hold(const std::string& why);
    JobEnd Merge(WatchJob& job);
    JobEnd MoveInputs(WatchJob& job, const std::string& folder);
    std::string FreeName(const std::string& folder, const std::string& name,
                         const std::vector<std::string>& alsoTaken = {}) const;

    WatchOptions options_;
    std::function<void(const std::string&)> log_;
    WatchAppendFile journal_;
    int64_t nextId_ = 1;
    std::vector<WatchJob> open_;        // jobs begun and not yet moved
    std::map<std::string, Seen> seen_;  // files not yet taken
    std::vector<Taken> queue_;          // taken, waiting for a partner
    int64_t retryAtMs_ = 0;             // a merged file could not be written until then
    bool writeFailed_ = false;
};

}  // namespace verava
