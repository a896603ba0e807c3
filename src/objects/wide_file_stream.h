// Files opened by UTF-16 name. The access and sharing modes follow the Windows model the
// callers were designed around; here the name becomes a UTF-8 path and sharing is mapped to
// advisory flock(2) locks:
//   - readers that deny writers (sharing 2) take a shared lock, so several may read at once;
//   - writers, and opens that deny everyone (sharing 0/1) or deny readers (3), take an
//     exclusive lock; sharing 4 (deny none) takes no lock.
// Advisory locks only bind programs that also use flock; nothing stops a program that does
// not. That is the limit of what POSIX offers.
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

    void Close();
    // The whole file mapped into memory (see file_mapping.h); empty when it cannot be.
    SharedBytes MapAll() const;

  private:
    int handle_ = -1;
};

// A new file written beside its target and put in the target's place only when complete:
// until Commit the target (an earlier save, or the file a document was loaded from) stays
// as it was, and a write that fails or is abandoned leaves nothing behind.
//   TReplacingFile file(u"out.pdf");  document.WriteTo(file.Stream());  file.Commit();
class TReplacingFile {
  public:
    // Raises EFCreateError when the folder takes no new file, or when another program holds
    // the target locked.
    explicit TReplacingFile(const std::u16string& target);
    // Removes the new file unless it was committed.
    ~TReplacingFile();
    TReplacingFile(const TReplacingFile&) = delete;
    TReplacingFile& operator=(const TReplacingFile&) = delete;

    TStream& Stream() { return *stream_; }
    // Renames the new file over the target; false (and the new file removed) when the
    // system refuses.
    bool Commit();

  private:
    std::string targetPath_;
    std::string tempPath_;
    std::unique_ptr<TBrannockWideFileStream> stream_;
    int targetLock_ = -1;  // the existing target, locked while it is being replaced
    bool committed_ = false;
};

// A file for scratch data that no other program sees: made in the temporary folder and
// unlinked at once, so it goes away with the stream, whatever happens. Raises EFCreateError
// when none can be made.
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
