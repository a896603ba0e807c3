#include "objects/file_error.h"

#include "objects/platform_system.h"

namespace verava {

std::string TFileError::ReasonText() const {
    switch (Problem) {
        case TFileProblem::None:
            return "";
        case TFileProblem::Folder:
            return "is a folder, not a file";
        case TFileProblem::NotRegularFile:
            return "is not a regular file (a pipe, a device or a socket)";
        case TFileProblem::Cancelled:
            return "stopped by the user";
        case TFileProblem::System:
            break;
    }
    // strerror's English ("No space left on device") in lower case, to fit after a colon.
    // The C locale's texts are used whatever the user's locale: the front ends translate.
    std::string reason = SystemErrorText(SystemCode);
    if (reason.size() > 1 && reason[0] >= 'A' && reason[0] <= 'Z' &&
        !(reason[1] >= 'A' && reason[1] <= 'Z')) {
        reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
    }
    return reason;
}

std::string TFileError::StepText() const {
    switch (Step) {
        case TFileStep::None:
            return "";
        case TFileStep::Create:
            return "while creating the new file";
        case TFileStep::Write:
            return "while writing";
        case TFileStep::Sync:
            return "while saving to disk";
        case TFileStep::Replace:
            return "while putting the new file in place";
        case TFileStep::Scratch:
            return "while writing a working copy of an input";
    }
    return "";
}

std::string TFileError::Text() const {
    std::string text = ReasonText();
    const std::string step = Problem == TFileProblem::System ? StepText() : "";
    if (!step.empty()) text += " " + step;
    return text;
}

}  // namespace verava
