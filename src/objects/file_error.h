// Why a file could not be read or written, in terms a person can act on: the system's own
// reason (a full disk, a quota, no permission) and the step that met it, or an output that is
// no regular file. Carried as a value from the file layer to the front ends, which word it.
//   TFileError{TFileProblem::System, ENOSPC, TFileStep::Write}.Text()
//     == "no space left on device while writing"
#pragma once

#include <cstdint>
#include <string>

#include "objects/stream.h"

namespace verava {

enum class TFileProblem : uint8_t {
    None,
    System,          // the system refused; SystemCode holds its errno
    Folder,          // the output names a folder
    NotRegularFile,  // the output names a FIFO, a device or a socket
    Cancelled,       // the user stopped the work
};

// What was being done when the problem met it.
enum class TFileStep : uint8_t {
    None,
    Create,   // making the new file beside the output
    Write,    // writing it
    Sync,     // waiting for the disk to hold it (fsync, close)
    Replace,  // putting it in the output's place
    Scratch,  // writing the merge's working copy of an input
};

struct TFileError {
    TFileProblem Problem = TFileProblem::None;
    int SystemCode = 0;
    TFileStep Step = TFileStep::None;

    explicit operator bool() const { return Problem != TFileProblem::None; }
    bool operator==(const TFileError&) const = default;
    // One line in English, lower case ("no space left on device while writing").
    std::string Text() const;
    // The system's reason alone ("no space left on device"), without the step.
    std::string ReasonText() const;
    // The step alone ("while writing"); empty for None.
    std::string StepText() const;

    static TFileError FromErrno(int code, TFileStep step) {
        return TFileError{TFileProblem::System, code, step};
    }
};

// Raised by file writes that the system refused, carrying its reason.
class EFileError : public EStreamError {
  public:
    explicit EFileError(const TFileError& error) : EStreamError(error.Text()), error_(error) {}
    const TFileError& Error() const { return error_; }

  private:
    TFileError error_;
};

}  // namespace verava
