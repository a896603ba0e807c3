// Files opened by UTF-16 name. The access and sharing modes follow the Windows model the
// callers were designed around; here the name becomes a UTF-8 path and sharing is mapped to
// advisory flock(2) locks:
//   - readers that deny writers (sharing 2) take a shared lock, so several may read at once;
//   - writers, and opens that deny everyone (sharing 0/1) or deny readers (3), take an
//     exclusive lock (a reader on NFS, which refuses that to a read-only descriptor, a
//     shared one); sharing 4 (deny none) takes no lock.
// Advisory locks only bind programs that also use flock; nothing stops a program that does
// not. That is the limit of what POSIX offers.
// On Windows the name is the system's own (UTF-16, long names through "\\?\") and the
// sharing is Windows' own, which binds every program; descriptors are the C library's, over
// the system's handles.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "objects/byte_slice.h"
#include "objects/stream.h"

namespace verava {

// Raised when a file cannot be created or opened; the message is always "Error".
class EFCreateError : public EStreamError {
  public:
    EFCreateError() : EStreamError("Error") {}
};

constexpr uint16_t kFileModeCreate = 0xFFFF;
constexpr uint16_t kFileModeRead = 0x0000;
constexpr uint16_t kFileModeWrite = 0x0001;
constexpr uint16_t kFileModeReadWrite = 0x0002;
constexpr uint16_t kFileShareExclusive = 0x0010;
constexpr uint16_t kFileShareDenyWrite = 0x0020;
constexpr uint16_t kFileShareDenyRead = 0x0030;
constexpr uint16_t kFileShareDenyNone = 0x0040;

class TBrannockWideFileStream : public TStream {
  public:
    // Mode kFileModeCreate creates or truncates for reading and writing, unshared. Any other
    // mode opens an existing file: bits 0-1 access (0 read, 1 write, 2 both), bits 4-7
    // sharing (0..4). Raises EFCreateError on an invalid mode or when the system refuses.
    TBrannockWideFileStream(const std::u16string& fileName, uint16_t mode);
    ~TBrannockWideFileStream() override;
    TBrannockWideFileStream(const TBrannockWideFileStream&) = delete;
    TBrannockWideFileStream& operator=(const TBrannockWideFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t CopyFileRange(int fd, int64_t offset, int64_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    // Raises EStreamError when the system refuses.
    void SetSize(int64_t size) override;
    int64_t Size() override;

    int SystemError() const override { return lastError_; }

    // From now on, every 32 MiB written are handed to the disk at once (without waiting), so
    // that forcing the whole file to disk at the end waits for little more than the last
    // stretch, and a large output never piles up in memory.
    void StartWriteBehind() { writeBehind_ = true; }

    // A stream over a descriptor the caller opened; the stream owns it from now on.
    static std::unique_ptr<TBrannockWideFileStream> Adopt(int handle);
    // The descriptor, -1 once closed.
    int Handle() const { return handle_; }

    void Close();
    // Closes and answers the system's reason when the close failed (a network file system
    // may report a failed write only here), else 0.
    int CloseChecked();
    // The whole file mapped into memory (see file_mapping.h); empty when it cannot be.
    SharedBytes MapAll() const override;

  private:
    TBrannockWideFileStream() = default;

    void WroteAt(int64_t end);

    int handle_ = -1;
    int lastError_ = 0;
    bool writeBehind_ = false;
    int64_t handedToDisk_ = 0;  // with write-behind: bytes before this were handed over
};

// A file for scratch data that no other program sees: in memory (memfd_create), or where
// the system has none, in a private folder of the temporary folder (mode 0700) and unlinked
// at once; either way it goes away with the stream, whatever happens. Decrypted content
// put there never reaches a folder others can read. Raises EFileError when none can be made.
std::unique_ptr<TBrannockWideFileStream> CreateScratchFile();

// The UTF-8 path the system uses for a UTF-16 file name.
std::string WideNameToPath(const std::u16string& fileName);

bool FileExistsWide(const std::u16string& fileName);
// True when both names lead to one existing file (the same device and inode: links,
// "./" and ".." do not hide it).
bool SameFileWide(const std::u16string& a, const std::u16string& b);
bool DeleteFileWide(const std::u16string& fileName);
// Mode kFileModeCreate creates (truncating an existing file); other modes try to open.
bool CanOpen(const std::u16string& fileName, uint16_t mode);
// The temporary directory, always ending with the path separator.
std::u16string TempPath();

}  // namespace verava
