#include "objects/wide_file_stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "objects/file_error.h"
#include "objects/file_mapping.h"
#include "objects/pdf_text.h"
#include "objects/platform.h"

namespace verava {

std::string WideNameToPath(const std::u16string& fileName) { return UnicodeToUtf8(fileName); }

TBrannockWideFileStream::TBrannockWideFileStream(const std::u16string& fileName, uint16_t mode) {
    const std::string path = WideNameToPath(fileName);
    if (path.empty()) throw EFCreateError();
    if (mode == kFileModeCreate) {
        // Lock before truncating: a file another process holds must not lose its content.
        handle_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (handle_ < 0) throw EFCreateError();
        if (flock(handle_, LOCK_EX | LOCK_NB) != 0) {
            Close();
            throw EFCreateError();
        }
        if (TFileMapping::IsMapped(handle_)) {
            // A document of this process still reads this very file through a mapping
            // (saving over the file it was loaded from). Put a new file under the name and
            // let the mapping keep the old one: no copy of the old content is needed.
            struct stat old {};
            fstat(handle_, &old);
            if (unlink(path.c_str()) == 0) {
                const int fresh =
                    open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, old.st_mode & 07777);
                if (fresh >= 0 && flock(fresh, LOCK_EX | LOCK_NB) == 0) {
                    Close();
                    handle_ = fresh;
                    return;
                }
                if (fresh >= 0) close(fresh);
                Close();
                throw EFCreateError();
            }
            TFileMapping::DetachMappingsOf(handle_);
        }
        // An empty file (a new one) is not truncated: on ext4 a truncation to nothing makes
        // the close wait for the whole new content to be placed on disk.
        struct stat now {};
        const bool empty = fstat(handle_, &now) == 0 && now.st_size == 0;
        if (!empty && ftruncate(handle_, 0) != 0) {
            Close();
            throw EFCreateError();
        }
        return;
    }
    const int access = mode & 0x3;
    const int sharing = (mode >> 4) & 0xF;
    if (access == 3 || sharing > 4) throw EFCreateError();
    const int flags = access == 0 ? O_RDONLY : (access == 1 ? O_WRONLY : O_RDWR);
    handle_ = open(path.c_str(), flags | O_CLOEXEC);
    if (handle_ < 0) throw EFCreateError();
    struct stat st {};
    if (fstat(handle_, &st) != 0 || S_ISDIR(st.st_mode)) {
        Close();
        throw EFCreateError();
    }
    int lock = 0;
    if (sharing == 4) {
        lock = 0;
    } else if (sharing == 2 && access == 0) {
        lock = LOCK_SH;
    } else {
        lock = LOCK_EX;
    }
    bool locked = lock == 0 || flock(handle_, lock | LOCK_NB) == 0;
    // NFS takes an exclusive lock only on a descriptor open for writing (EBADF otherwise): a
    // reader that would deny others then settles for keeping writers out.
    if (!locked && errno == EBADF && lock == LOCK_EX && access == 0) {
        locked = flock(handle_, LOCK_SH | LOCK_NB) == 0;
    }
    if (!locked) {
        Close();
        throw EFCreateError();
    }
}

TBrannockWideFileStream::~TBrannockWideFileStream() { Close(); }

SharedBytes TBrannockWideFileStream::MapAll() const { return TFileMapping::Map(handle_); }

std::unique_ptr<TBrannockWideFileStream> TBrannockWideFileStream::Adopt(int handle) {
    std::unique_ptr<TBrannockWideFileStream> stream(new TBrannockWideFileStream());
    stream->handle_ = handle;
    return stream;
}

void TBrannockWideFileStream::Close() {
    if (handle_ >= 0) {
        close(handle_);  // also drops the flock
        handle_ = -1;
    }
}

int TBrannockWideFileStream::CloseChecked() {
    if (handle_ < 0) return 0;
    const int answer = close(handle_);
    handle_ = -1;
    // After EINTR the descriptor is gone on Linux; what was written is not in doubt.
    return answer != 0 && errno != EINTR ? errno : 0;
}

int64_t TBrannockWideFileStream::Read(void* buffer, int64_t count) {
    if (handle_ < 0 || count <= 0) return 0;
    auto* p = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = read(handle_, p + done, static_cast<size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            lastError_ = errno;
            return done;
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

void TBrannockWideFileStream::WroteAt(int64_t end) {
    constexpr int64_t kStretch = int64_t{32} << 20;
    if (!writeBehind_ || end - handedToDisk_ < kStretch) return;
    // Only starts the writing; a failure shows again where it matters, at the final fsync.
    sync_file_range(handle_, handedToDisk_, end - handedToDisk_, SYNC_FILE_RANGE_WRITE);
    handedToDisk_ = end;
}

int64_t TBrannockWideFileStream::Write(const void* buffer, int64_t count) {
    if (handle_ < 0 || count <= 0) return 0;
    const auto* p = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = write(handle_, p + done, static_cast<size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            lastError_ = errno;
            return done;
        }
        if (n == 0) {
            // Nothing taken and no reason given: asking again would never end.
            lastError_ = EIO;
            return done;
        }
        done += n;
    }
    if (writeBehind_) WroteAt(lseek(handle_, 0, SEEK_CUR));
    return done;
}

int64_t TBrannockWideFileStream::CopyFileRange(int fd, int64_t offset, int64_t count) {
    if (handle_ < 0 || fd < 0 || count <= 0) return 0;
    // The system copies between the two files' caches; where it cannot (another file
    // system, an old kernel) nothing is copied and the caller writes the bytes instead.
    auto from = static_cast<loff_t>(offset);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n =
            copy_file_range(fd, &from, handle_, nullptr, static_cast<size_t>(count - done), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    if (writeBehind_ && done > 0) WroteAt(lseek(handle_, 0, SEEK_CUR));
    return done;
}

int64_t TBrannockWideFileStream::Seek(int64_t offset, SeekOrigin origin) {
    if (handle_ < 0) return -1;
    int whence = SEEK_SET;
    if (origin == SeekOrigin::Current) whence = SEEK_CUR;
    if (origin == SeekOrigin::End) whence = SEEK_END;
    return lseek(handle_, offset, whence);
}

int64_t TBrannockWideFileStream::Size() {
    struct stat st {};
    if (handle_ < 0 || fstat(handle_, &st) != 0) return 0;
    return st.st_size;
}

void TBrannockWideFileStream::SetSize(int64_t size) {
    if (handle_ < 0 || lseek(handle_, size, SEEK_SET) < 0 || ftruncate(handle_, size) != 0) {
        throw EStreamError("Error");
    }
}

std::unique_ptr<TBrannockWideFileStream> CreateScratchFile() {
    // Memory first: nothing of it is ever in a folder, and it is gone when the stream is.
    const int memory = memfd_create("verava-scratch", MFD_CLOEXEC);
    if (memory >= 0) return TBrannockWideFileStream::Adopt(memory);
    // A folder of our own (0700) in the temporary folder, so no other user can look in while
    // the file still has a name; both are unlinked before anything is written.
    const std::string base = WideNameToPath(TempPath()) + "verava-XXXXXX";
    std::string folder(base);
    if (mkdtemp(folder.data()) == nullptr) {
        throw EFileError(TFileError::FromErrno(errno, TFileStep::Scratch));
    }
    const std::string name = folder + "/scratch";
    const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    const int error = errno;
    if (fd >= 0) unlink(name.c_str());
    rmdir(folder.c_str());
    if (fd < 0) throw EFileError(TFileError::FromErrno(error, TFileStep::Scratch));
    return TBrannockWideFileStream::Adopt(fd);
}

bool FileExistsWide(const std::u16string& fileName) {
    const std::string path = WideNameToPath(fileName);
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) return false;
    return !S_ISDIR(st.st_mode);
}

bool SameFileWide(const std::u16string& a, const std::u16string& b) {
    const std::string pathA = WideNameToPath(a);
    const std::string pathB = WideNameToPath(b);
    struct stat statA {};
    struct stat statB {};
    if (pathA.empty() || pathB.empty() || stat(pathA.c_str(), &statA) != 0 ||
        stat(pathB.c_str(), &statB) != 0) {
        return false;
    }
    return statA.st_dev == statB.st_dev && statA.st_ino == statB.st_ino;
}

bool DeleteFileWide(const std::u16string& fileName) {
    const std::string path = WideNameToPath(fileName);
    return !path.empty() && unlink(path.c_str()) == 0;
}

std::u16string TempPath() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
    if (path.size() > 1024) path.resize(1024);
    if (path.back() != '/') path.push_back('/');
    return Utf8ToUnicode(path);
}

}  // namespace verava
