#include "merge/merge_input.h"

#include "objects/file_error.h"
#include "objects/wide_file_stream.h"

namespace verava {

TMergeInput::TMergeInput(TPDFDocument& document)
    : document_(document),
      pages_(document.PageObjectNumbers()),
      root_(document.PageTree().Root() != nullptr ? document.PageTree().Root()->ObjectNumber : 0),
      image_(document.FileData) {}

bool TMergeInput::Decrypt() {
    // (A file without ID was decrypted for good as it was loaded.)
    return !document_.NeedsDecryption() || document_.RemoveEncryption();
}

bool TMergeInput::WriteCleanCopy(TStream& to) { return Decrypt() && document_.WriteTo(to); }

TStream* TMergeInput::CleanCopy() {
    if (copy_ != nullptr) {
        copy_->Seek(0, TStream::SeekOrigin::Beginning);
        return copy_.get();
    }
    if (copyFailed_) return nullptr;
    std::unique_ptr<TStream> copy = CreateScratchFile();
    if (!WriteCleanCopy(*copy)) {
        // The copy lives in memory; the system refusing it (no memory, or no space in the
        // private folder that stands in for memory) is no fault of the input.
        if (const int code = copy->SystemError(); code != 0) {
            throw EFileError(TFileError::FromErrno(code, TFileStep::Scratch));
        }
        copyFailed_ = true;
        return nullptr;
    }
    copy->Seek(0, TStream::SeekOrigin::Beginning);
    copy_ = std::move(copy);
    return copy_.get();
}

}  // namespace verava
