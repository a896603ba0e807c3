// What the scan-folder watcher needs from the operating system, behind small functions so
// that another platform can give its own form: listing a folder, durable writes, appends
// and moves (across file systems too), a lock, folder events or polling, and a stop flag
// set by SIGTERM / SIGINT / SIGHUP (Ctrl+C and the console closing on Windows). Errors come
// back as text for the log, never thrown. watch_platform_posix.cpp and _windows.cpp give the
// two forms; Windows' only polls for now.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verava {

// The wall clock in milliseconds, the clock of file modification times.
int64_t WatchNowMs();

struct WatchEntry {
    std::string name;
    int64_t size = 0;
    int64_t mtimeMs = 0;
    bool regular = false;  // a regular file (a symbolic link is not)
};

// What lies directly in `folder`; empty when it cannot be read.
std::vector<WatchEntry> ListWatchFolder(const std::string& folder);

bool WatchPathExists(const std::string& path);
// Both name the same existing folder.
bool SameWatchFolder(const std::string& a, const std::string& b);
int64_t WatchFileSize(const std::string& path);  // -1 when it cannot be read

// Whether the last bytes of the file, ignoring trailing white space, are a "%%EOF" line:
// a writer still busy with the file has not written that far.
bool EndsWithEofLine(const std::string& path);
// The same judged on the file's last bytes (1024 are enough: trailing white space after
// %%EOF is at most a few line ends in practice).
bool TailEndsWithEofLine(std::string_view tail);

// Creates `folder` when missing and makes its name durable. "" or why not.
std::string EnsureWatchFolder(const std::string& folder);

// Writes `text` under a hidden name beside `path`, forces it to disk and only then gives it
// its name. "" or why not.
std::string WriteFileDurably(const std::string& path, const std::string& text);

// Moves `from` to `to`, never replacing a file at `to`. Within one file system a rename;
// across file systems a copy to a hidden name in the target folder, forced to disk, renamed,
// and only then is the source removed. "" or why not.
std::string MoveFileDurably(const std::string& from, const std::string& to);

// The same content (size and bytes): a copy a move completed before it could remove its
// source.
bool SameFileContent(const std::string& a, const std::string& b);

inline constexpr int64_t kWatchJournalLimit = 16 << 20;

// An append-only file of lines, each forced to disk before Append returns, held under an
// exclusive lock so that a second watcher of the same folder is refused.
class WatchAppendFile {
  public:
    WatchAppendFile() = default;
    ~WatchAppendFile();
    WatchAppendFile(const WatchAppendFile&) = delete;
    WatchAppendFile& operator=(const WatchAppendFile&) = delete;
    // Opens (creating) and locks `path`, and reads what it holds into `content`. "" or why not:
    // among others, when it is not a plain file (a link, a pipe, a device) or holds more than
    // kWatchJournalLimit bytes, which no journal of open jobs comes near.
    std::string Open(const std::string& path, std::string& content);
    std::string Append(const std::string& line);
    // Replaces the whole file with `content` (durably), keeping the lock.
    std::string Replace(const std::string& content);

  private:
    std::string path_;
    int fd_ = -1;
};

// Wakes the watcher when something in the folder changes, or on a timer where the file
// system gives no events (network and FUSE file systems) or polling was asked for.
class WatchEvents {
  public:
    WatchEvents() = default;
    ~WatchEvents();
    WatchEvents(const WatchEvents&) = delete;
    WatchEvents& operator=(const WatchEvents&) = delete;
    // pollSeconds 0: events where the file system gives them. "" or why not.
    std::string Open(const std::string& folder, int64_t pollSeconds);
    // "with inotify", "polling every 10 s (nfs)".
    const std::string& Description() const { return description_; }
    // Waits for a change, a stop request or `timeoutMs` (-1: no limit), whichever is first;
    // a poll never waits longer than its interval.
    void Wait(int64_t timeoutMs);

  private:
    int inotify_ = -1;
    int64_t pollMs_ = 0;
    std::string description_;
};

// Whether standard error goes to the systemd journal (it names that stream in
// JOURNAL_STREAM), where a line may begin with its priority, "<3>" for an error.
bool StandardErrorIsJournal();

// SIGTERM, SIGINT and SIGHUP set the stop flag and wake a waiting WatchEvents.
void InstallWatchStopHandlers();
bool WatchStopRequested();

}  // namespace verava
