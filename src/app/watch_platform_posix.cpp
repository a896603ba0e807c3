#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/watch_platform.h"

namespace verava {
namespace {

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Renames without replacing an existing `to` where the file system can say so.
int RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
#endif
    if (WatchPathExists(to)) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

// Copies `from` to `to` (which must not exist) and forces the copy to disk.
std::string CopyDurably(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return SystemError("cannot read " + from);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        const std::string error = SystemError("cannot write " + to);
        ::close(in);
        return error;
    }
    std::string error;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = SystemError("cannot read " + from);
            break;
        }
        if (n == 0) break;
        if (!WriteAll(out, buffer, static_cast<size_t>(n))) {
            error = SystemError("cannot write " + to);
            break;
        }
    }
    if (error.empty() && ::fsync(out) != 0) error = SystemError("cannot write " + to);
    ::close(in);
    if (::close(out) != 0 && error.empty()) error = SystemError("cannot write " + to);
    if (!error.empty()) ::unlink(to.c_str());
    return error;
}

std::atomic<bool> stopRequested{false};
int stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    stopRequested = true;
    if (stopPipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
    }
}

// The file systems whose changes made elsewhere give no inotify events, by statfs f_type.
const char* RemoteFileSystem(const std::string& folder) {
    struct statfs info {};
    if (::statfs(folder.c_str(), &info) != 0) return nullptr;
    switch (static_cast<uint64_t>(info.f_type)) {
        case 0x6969:
            return "nfs";
        case 0x517B:
            return "smb";
        case 0xFF534D42:
            return "cifs";
        case 0xFE534D42:
            return "smb2";
        case 0x65735546:
            return "fuse";
        case 0x01021997:
            return "9p";
        case 0x00C36400:
            return "ceph";
        case 0x47504653:
            return "gpfs";
        case 0x5346414F:
            return "afs";
        default:
            return nullptr;
    }
}

}  // namespace

int64_t WatchNowMs() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::vector<WatchEntry> ListWatchFolder(const std::string& folder) {
    std::vector<WatchEntry> entries;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return entries;
    while (const dirent* d = ::readdir(dir)) {
        WatchEntry entry;
        entry.name = d->d_name;
        if (entry.name == "." || entry.name == "..") continue;
        // A link is not a scan: one dropped into a shared folder would have the watcher
        // merge whatever it points at into a file others can read.
        struct stat st {};
        if (::lstat((folder + "/" + entry.name).c_str(), &st) != 0) continue;
        entry.regular = S_ISREG(st.st_mode);
        entry.size = st.st_size;
        entry.mtimeMs =
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return entries;
}

bool StandardErrorIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat st {};
    if (stream == nullptr || ::fstat(STDERR_FILENO, &st) != 0) return false;
    return std::string(stream) == std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

bool WatchPathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool SameWatchFolder(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

int64_t WatchFileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return st.st_size;
}

bool EndsWithEofLine(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // Trailing white space after %%EOF is at most a few line ends in practice.
    char tail[1024];
    const off_t size = ::lseek(fd, 0, SEEK_END);
    const off_t start = size > static_cast<off_t>(sizeof tail) ? size - sizeof tail : 0;
    const ssize_t n = size > 0 ? ::pread(fd, tail, static_cast<size_t>(size - start), start) : 0;
    ::close(fd);
    if (n <= 0) return false;
    return TailEndsWithEofLine(std::string_view(tail, static_cast<size_t>(n)));
}

std::string EnsureWatchFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0755) == 0) {
        if (!SyncFolder(FolderOf(folder))) return SystemError("cannot sync " + FolderOf(folder));
        return "";
    }
    struct stat st {};
    if (errno == EEXIST && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return "";
    return SystemError("cannot create folder " + folder);
}

std::string WriteFileDurably(const std::string& path, const std::string& text) {
    const std::string temp = FolderOf(path) + "/." + NameOf(path) + ".verava-part";
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return SystemError("cannot write " + temp);
    const bool written = WriteAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
        const std::string error = SystemError("cannot write " + path);
        ::unlink(temp.c_str());
        return error;
    }
    if (!SyncFolder(FolderOf(path))) return SystemError("cannot sync " + FolderOf(path));
    return "";
}

std::string MoveFileDurably(const std::string& from, const std::string& to) {
    if (RenameNoReplace(from, to) == 0) {
        if (!SyncFolder(FolderOf(to)) || !SyncFolder(FolderOf(from)))
            return SystemError("cannot sync the folders of " + to);
        return "";
    }
    if (errno != EXDEV) return SystemError("cannot move " + from + " to " + to);
    // Another file system: the copy takes the name only once complete on disk, so a crash
    // leaves either the source alone (and a hidden part to remove) or both whole.
    const std::string temp = FolderOf(to) + "/." + NameOf(to) + ".verava-part";
    ::unlink(temp.c_str());
    if (std::string error = CopyDurably(from, temp); !error.empty()) return error;
    if (RenameNoReplace(temp, to) != 0) {
        const std::string error = SystemError("cannot move " + from + " to " + to);
        ::unlink(temp.c_str());
        return error;
    }
    if (!SyncFolder(FolderOf(to))) return SystemError("cannot sync " + FolderOf(to));
    if (::unlink(from.c_str()) != 0) return SystemError("cannot remove " + from);
    if (!SyncFolder(FolderOf(from))) return SystemError("cannot sync " + FolderOf(from));
    return "";
}

bool SameFileContent(const std::string& a, const std::string& b) {
    if (WatchFileSize(a) < 0 || WatchFileSize(a) != WatchFileSize(b)) return false;
    const int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC);
    const int fb = ::open(b.c_str(), O_RDONLY | O_CLOEXEC);
    bool same = fa >= 0 && fb >= 0;
    char ba[1 << 15];
    char bb[1 << 15];
    while (same) {
        const ssize_t na = ::read(fa, ba, sizeof ba);
        ssize_t nb = 0;
        while (nb < na) {
            const ssize_t n = ::read(fb, bb + nb, static_cast<size_t>(na - nb));
            if (n <= 0) break;
            nb += n;
        }
        if (na < 0 || nb != na || std::memcmp(ba, bb, static_cast<size_t>(na)) != 0) same = false;
        if (na <= 0) break;
    }
    if (fa >= 0) ::close(fa);
    if (fb >= 0) ::close(fb);
    return same;
}

WatchAppendFile::~WatchAppendFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::string WatchAppendFile::Open(const std::string& path, std::string& content) {
    path_ = path;
    const bool existed = WatchPathExists(path);
    // Not through a link: the journal is truncated when its jobs are done, and a link planted
    // in a shared folder would have that done to a file elsewhere.
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                 0644);
    if (fd_ < 0) return SystemError("cannot open " + path);
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        return "cannot use " + path + ": not a plain file; move it away";
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? "another verava-cli watch is using " + path
                                    : SystemError("cannot lock " + path);
    }
    if (!existed && !SyncFolder(FolderOf(path))) return SystemError("cannot sync " + path);
    content.clear();
    char buffer[1 << 15];
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return SystemError("cannot read " + path);
        if (n == 0) break;
        content.append(buffer, static_cast<size_t>(n));
        at += n;
        if (at > kWatchJournalLimit) {
            return "cannot use " + path +
                   ": larger than a journal of open jobs can be; move it away";
        }
    }
    return "";
}

std::string WatchAppendFile::Append(const std::string& line) {
    if (!WriteAll(fd_, line.data(), line.size()) || ::fdatasync(fd_) != 0)
        return SystemError("cannot write " + path_);
    return "";
}

std::string WatchAppendFile::Replace(const std::string& content) {
    if (::ftruncate(fd_, 0) != 0) return SystemError("cannot write " + path_);
    return Append(content);
}

WatchEvents::~WatchEvents() {
    if (inotify_ >= 0) ::close(inotify_);
}

std::string WatchEvents::Open(const std::string& folder, int64_t pollSeconds) {
    const char* remote = RemoteFileSystem(folder);
    if (pollSeconds == 0 && remote == nullptr) {
        inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_ >= 0 &&
            ::inotify_add_watch(inotify_, folder.c_str(),
                                IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_MODIFY | IN_DELETE |
                                    IN_MOVED_FROM | IN_ATTRIB) >= 0) {
            description_ = "with inotify";
            return "";
        }
        if (inotify_ >= 0) ::close(inotify_);
        inotify_ = -1;
        remote = "no inotify";
    }
    pollMs_ = (pollSeconds > 0 ? pollSeconds : 10) * 1000;
    description_ = "polling every " + std::to_string(pollMs_ / 1000) + " s";
    if (pollSeconds == 0 && remote != nullptr) description_ += std::string(" (") + remote + ")";
    return "";
}

void WatchEvents::Wait(int64_t timeoutMs) {
    if (pollMs_ > 0 && (timeoutMs < 0 || timeoutMs > pollMs_)) timeoutMs = pollMs_;
    if (timeoutMs > 24 * 3600 * 1000) timeoutMs = 24 * 3600 * 1000;
    struct pollfd fds[2] = {{stopPipe[0], POLLIN, 0}, {inotify_, POLLIN, 0}};
    const nfds_t count = inotify_ >= 0 ? 2 : 1;
    if (WatchStopRequested()) return;
    const int n = ::poll(fds, count, static_cast<int>(timeoutMs));
    if (n > 0 && count == 2 && (fds[1].revents & POLLIN) != 0) {
        // What changed does not matter: the folder is looked at again as a whole.
        char buffer[4096];
        while (::read(inotify_, buffer, sizeof buffer) > 0) {
        }
    }
}

void InstallWatchStopHandlers() {
    if (stopPipe[0] < 0 && ::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        stopPipe[0] = stopPipe[1] = -1;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
    // Past a file-size limit a write fails (EFBIG) and is reported, instead of ending the
    // program with a half-written file.
    ::signal(SIGXFSZ, SIG_IGN);
}

bool WatchStopRequested() { return stopRequested; }

}  // namespace verava
