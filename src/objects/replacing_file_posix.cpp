#include "objects/replacing_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "objects/platform.h"
#include "objects/temporary_name.h"

namespace verava {
namespace {

// Temporary names that exist right now, for a signal handler to remove: a slot is claimed,
// filled, then published by storing its folder.
struct PendingTemporary {
    std::atomic<bool> claimed{false};
    std::atomic<int> folder{-1};
    char name[NAME_MAX + 1] = {};
};
PendingTemporary gPending[16];

std::atomic<int> gNamedOnly{0};  // ScopedNamedTemporaries alive

int Publish(int folder, const std::string& name) {
    if (name.size() > NAME_MAX) return -1;
    for (int slot = 0; slot < 16; ++slot) {
        if (gPending[slot].claimed.exchange(true)) continue;
        std::memcpy(gPending[slot].name, name.c_str(), name.size() + 1);
        gPending[slot].folder.store(folder);
        return slot;
    }
    return -1;  // more outputs at once than slots: that one is left to the next run's sweep
}

void Withdraw(int slot) {
    if (slot < 0) return;
    gPending[slot].folder.store(-1);
    gPending[slot].claimed.store(false);
}

bool SameInode(int folder, const std::string& name, int fd) {
    struct stat byName {};
    struct stat byHandle {};
    return fstatat(folder, name.c_str(), &byName, AT_SYMLINK_NOFOLLOW) == 0 &&
           fstat(fd, &byHandle) == 0 && byName.st_dev == byHandle.st_dev &&
           byName.st_ino == byHandle.st_ino;
}

// Removes the temporaries of `name` in `folder` that no live writer holds: their writer
// was killed (SIGKILL, a power cut) between making and renaming them. A live writer holds
// its file locked from before it has a name (O_TMPFILE) or checks after locking that its
// name is still its own (named files), so it never loses a file to this sweep.
void RemoveStale(int folder, const std::string& name) {
    const int listing = dup(folder);
    if (listing < 0) return;
    DIR* dir = fdopendir(listing);
    if (dir == nullptr) {
        close(listing);
        return;
    }
    const std::string prefix = TemporaryPrefix(name);
    std::vector<std::string> found;
    while (const dirent* entry = readdir(dir)) {
        if (IsTemporaryOf(entry->d_name, prefix)) found.emplace_back(entry->d_name);
    }
    closedir(dir);
    for (const std::string& stale : found) {
        const int fd = openat(folder, stale.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            SameInode(folder, stale, fd)) {
            unlinkat(folder, stale.c_str(), 0);
        }
        close(fd);
    }
}

// The path `path` leads to through symbolic links (at most 40, as the kernel allows); the
// last one may name a file that does not exist yet.
std::string FollowLinks(std::string path) {
    for (int hop = 0;; ++hop) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        if (hop == 40) throw EFileError(TFileError::FromErrno(ELOOP, TFileStep::Create));
        std::string link(PATH_MAX, '\0');
        const ssize_t n = readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) {
            throw EFileError(
                TFileError::FromErrno(n < 0 ? errno : ENAMETOOLONG, TFileStep::Create));
        }
        link.resize(static_cast<size_t>(n));
        if (link[0] == '/') {
            path = link;
        } else {
            const size_t slash = path.rfind('/');
            path = slash == std::string::npos ? link : path.substr(0, slash + 1) + link;
        }
    }
}

}  // namespace

TReplacingFile::TReplacingFile(const std::u16string& target) {
    const std::string given = WideNameToPath(target);
    if (given.empty()) throw EFileError(TFileError::FromErrno(ENOENT, TFileStep::Create));
    if (given.back() == '/') throw EFileError(TFileError{TFileProblem::Folder});
    finalPath_ = FollowLinks(given);
    const size_t slash = finalPath_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : finalPath_.substr(0, slash + 1);
    name_ = slash == std::string::npos ? finalPath_ : finalPath_.substr(slash + 1);
    if (name_.empty() || name_ == "." || name_ == "..") {
        throw EFileError(TFileError{TFileProblem::Folder});
    }
    folder_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0) throw EFileError(TFileError::FromErrno(errno, TFileStep::Create));
    try {
        // Refused before anything is made: a FIFO would hang the reader we never are, a
        // device is no file to keep, a folder cannot take a PDF's place.
        struct stat old {};
        bool existing = false;
        if (fstatat(folder_, name_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISDIR(old.st_mode)) throw EFileError(TFileError{TFileProblem::Folder});
            if (!S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode)) {
                throw EFileError(TFileError{TFileProblem::NotRegularFile});
            }
            existing = S_ISREG(old.st_mode);
        }
        if (existing) {
            // A program writing the output holds it locked: replacing it under that program
            // would lose what it writes. A shared lock is asked for, which a read-only
            // descriptor may take on every file system (an exclusive one fails on NFS).
            targetLock_ =
                openat(folder_, name_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (targetLock_ >= 0 && flock(targetLock_, LOCK_SH | LOCK_NB) != 0 &&
                errno == EWOULDBLOCK) {
                throw EFileError(TFileError::FromErrno(EWOULDBLOCK, TFileStep::Create));
            }
        }
        RemoveStale(folder_, name_);
        // The umask decides a new output's mode; a replaced one keeps its own.
        int fd = gNamedOnly.load() > 0 ? (errno = EOPNOTSUPP, -1)
                                       : openat(folder_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (fd >= 0) {
            unnamed_ = true;
            flock(fd, LOCK_EX | LOCK_NB);  // before it can have a name (see RemoveStale)
            if (existing) fchmod(fd, old.st_mode & 07777);
            stream_ = TBrannockWideFileStream::Adopt(fd);
            stream_->StartWriteBehind();
        } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
            CreateNamed(existing ? old.st_mode & 07777 : 0);
        } else {
            throw EFileError(TFileError::FromErrno(errno, TFileStep::Create));
        }
    } catch (...) {
        if (targetLock_ >= 0) close(targetLock_);
        close(folder_);
        throw;
    }
}

void TReplacingFile::CreateNamed(mode_t mode) {
    const std::string prefix = TemporaryPrefix(name_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = TemporaryName(prefix);
        const int fd = openat(folder_, candidate.c_str(),
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            throw EFileError(TFileError::FromErrno(errno, TFileStep::Create));
        }
        const int slot = Publish(folder_, candidate);
        // Another writer's sweep may have taken the name between the open and the lock.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0 || !SameInode(folder_, candidate, fd)) {
            Withdraw(slot);
            close(fd);
            continue;
        }
        if (mode != 0) fchmod(fd, mode);
        tempName_ = candidate;
        pendingSlot_ = slot;
        stream_ = TBrannockWideFileStream::Adopt(fd);
        stream_->StartWriteBehind();
        return;
    }
    throw EFileError(TFileError::FromErrno(EEXIST, TFileStep::Create));
}

TReplacingFile::~TReplacingFile() {
    if (!committed_) RemoveTemporary();
    stream_.reset();
    if (targetLock_ >= 0) close(targetLock_);
    if (folder_ >= 0) close(folder_);
}

bool TReplacingFile::Fail(int code, TFileStep step) {
    error_ = TFileError::FromErrno(code, step);
    RemoveTemporary();
    return false;
}

void TReplacingFile::RemoveTemporary() {
    // Unlinked before it is closed, so no sweep takes a file this process still holds.
    if (!tempName_.empty()) {
        unlinkat(folder_, tempName_.c_str(), 0);
        Withdraw(pendingSlot_);
        pendingSlot_ = -1;
        tempName_.clear();
    }
    stream_.reset();
}

bool TReplacingFile::LinkTemporary() {
    const int fd = stream_->Handle();
    const std::string prefix = TemporaryPrefix(name_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = TemporaryName(prefix);
        // Published first: a signal between the link and the rename must find the name.
        const int slot = Publish(folder_, candidate);
        int linked = linkat(fd, "", folder_, candidate.c_str(), AT_EMPTY_PATH);
        if (linked != 0 && errno != EEXIST) {
            // AT_EMPTY_PATH needs a capability unprivileged users lack; /proc serves them.
            const std::string self = "/proc/self/fd/" + std::to_string(fd);
            linked = linkat(AT_FDCWD, self.c_str(), folder_, candidate.c_str(), AT_SYMLINK_FOLLOW);
        }
        if (linked == 0) {
            tempName_ = candidate;
            pendingSlot_ = slot;
            unnamed_ = false;
            return true;
        }
        const int error = errno;
        Withdraw(slot);
        if (error != EEXIST) return Fail(error, TFileStep::Replace);
    }
    return Fail(EEXIST, TFileStep::Replace);
}

bool TReplacingFile::Commit() {
    if (committed_) return true;
    if (!stream_) return false;
    if (fsync(stream_->Handle()) != 0) return Fail(errno, TFileStep::Sync);
    if (unnamed_ && !LinkTemporary()) return false;
    // The lock stays on a second descriptor until the rename: a sweep must not take the
    // file between its close and its rename.
    const int keeper = dup(stream_->Handle());
    if (const int error = stream_->CloseChecked(); error != 0) {
        if (keeper >= 0) close(keeper);
        return Fail(error, TFileStep::Sync);
    }
    const bool renamed = renameat(folder_, tempName_.c_str(), folder_, name_.c_str()) == 0;
    const int renameError = errno;
    if (!renamed) {
        unlinkat(folder_, tempName_.c_str(), 0);
    }
    if (keeper >= 0) close(keeper);
    Withdraw(pendingSlot_);
    pendingSlot_ = -1;
    tempName_.clear();
    stream_.reset();
    if (!renamed) {
        error_ = TFileError::FromErrno(renameError, TFileStep::Replace);
        return false;
    }
    committed_ = true;
    // The rename itself lives in the folder: without this a power cut could bring back
    // the old file, or none. File systems that cannot sync a folder say EINVAL.
    if (fsync(folder_) != 0 && errno != EINVAL && errno != EROFS) {
        error_ = TFileError::FromErrno(errno, TFileStep::Sync);
        return false;
    }
    return true;
}

ScopedNamedTemporaries::ScopedNamedTemporaries() { gNamedOnly.fetch_add(1); }
ScopedNamedTemporaries::~ScopedNamedTemporaries() { gNamedOnly.fetch_sub(1); }

void RemovePendingTemporaries() noexcept {
    for (PendingTemporary& slot : gPending) {
        const int folder = slot.folder.load();
        if (folder >= 0) unlinkat(folder, slot.name, 0);
    }
}

}  // namespace verava
