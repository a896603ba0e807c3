// The one way VERava writes an output: a new file made in the output's folder, written
// through one descriptor, forced to disk, and only then put in the output's place by a
// rename, after which the folder is forced to disk too. Until Commit an earlier file at the
// output path (an earlier save, or the file a document was loaded from) stays byte for byte
// as it was, whatever happens to the process or the machine; afterwards the new file is
// complete on disk.
//   TReplacingFile file(u"out.pdf");  document.WriteTo(file.Stream());  file.Commit();
//
// The new file has no name while it is written where the file system allows it (O_TMPFILE):
// a process killed then leaves nothing. Elsewhere (network file systems) it is
// ".NAME.XXXXXXXXXXXX.part", made with O_EXCL|O_NOFOLLOW and locked while it lives; the next
// output to the same name removes such files whose writer is gone, and SIGINT/SIGTERM
// handlers call RemovePendingTemporaries. An output that is a symbolic link replaces the
// file the link leads to (as cp does); one that is a folder, a FIFO, a device or a socket is
// refused before anything is made.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "objects/file_error.h"
#include "objects/wide_file_stream.h"

namespace verava {

class TReplacingFile {
  public:
    // Raises EFileError when the output cannot be replaced: a folder or other non-file, a
    // folder that takes no new file, or an existing output that another program holds
    // locked for writing (EWOULDBLOCK).
    explicit TReplacingFile(const std::u16string& target);
    // Removes the new file unless it was committed.
    ~TReplacingFile();
    TReplacingFile(const TReplacingFile&) = delete;
    TReplacingFile& operator=(const TReplacingFile&) = delete;

    TStream& Stream() { return *stream_; }
    // Forces the new file to disk, puts it in the output's place and forces the folder to
    // disk. False when any step fails: Error() then says which and why, and the new file is
    // gone (unless only the folder's sync failed: the output is then in place already).
    bool Commit();
    const TFileError& Error() const { return error_; }
    // The path written in the end: the output, or the file its symbolic links lead to.
    const std::string& FinalPath() const { return finalPath_; }

  private:
    bool Fail(int code, TFileStep step);
    void CreateNamed(mode_t mode);
    bool LinkTemporary();
    void RemoveTemporary();

    std::string finalPath_;
    std::string name_;  // the output's name in its folder
    int folder_ = -1;   // the output's folder, for every name operation
    int targetLock_ = -1;
    std::string tempName_;  // the new file's name while it has one
    int pendingSlot_ = -1;  // its entry for RemovePendingTemporaries
    bool unnamed_ = false;  // made with O_TMPFILE and not linked yet
    std::unique_ptr<TBrannockWideFileStream> stream_;
    bool committed_ = false;
    TFileError error_;
};

// While one lives, new TReplacingFiles take named temporaries, as on file systems without
// O_TMPFILE (tests).
class ScopedNamedTemporaries {
  public:
    ScopedNamedTemporaries();
    ~ScopedNamedTemporaries();
    ScopedNamedTemporaries(const ScopedNamedTemporaries&) = delete;
    ScopedNamedTemporaries& operator=(const ScopedNamedTemporaries&) = delete;
};

// Removes every new file of a TReplacingFile of this process that has a name now. Only
// async-signal-safe calls: made for signal handlers, which then end the process.
void RemovePendingTemporaries() noexcept;

}  // namespace verava
