// One input of a merge: a file the document loader has loaded, which is the arbiter of what
// the file holds (which objects, which pages in which order), and the bytes the merge's own
// reader reads from it. Those are the file image the loader read, unless the loader mended
// the file (rebuilt its table from a scan, or its page tree) or the file is encrypted: then
// another reader would see it otherwise, and the merge reads a clean copy the loader writes
// (the same objects under the same numbers, decrypted, one table).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "document/pdf_document.h"
#include "objects/stream.h"

namespace verava {

class TMergeInput {
  public:
    // `document` is loaded and outlives this input; the clean copy, when one is written,
    // decrypts it for good.
    explicit TMergeInput(TPDFDocument& document);
    TMergeInput(const TMergeInput&) = delete;
    TMergeInput& operator=(const TMergeInput&) = delete;

    TPDFDocument& Document() { return document_; }
    // The page objects' numbers in page order, and the page tree root's number (0 for none),
    // as the loader found them.
    const std::vector<int32_t>& Pages() const { return pages_; }
    int32_t Root() const { return root_; }
    bool Encrypted() const { return document_.WasEncrypted(); }
    // The loader mended the file: another reader of it would find other objects or pages.
    bool Mended() const { return document_.Repaired() || document_.PageTreeRebuilt(); }

    // The file image the loader read, as a stream (read-only, shared, no copy).
    TStream& Image() { return image_; }
    // Decrypts the document for good (a no-op for a file that is not encrypted); false when
    // it cannot be.
    bool Decrypt();
    // The clean copy, written on first ask into scratch memory and kept; null when the
    // loader cannot write it (or cannot decrypt the file). Raises EFileError when the system
    // refused the memory.
    TStream* CleanCopy();
    // Writes the clean copy to `to` (for another program to read), decrypting first. False
    // when it could not.
    bool WriteCleanCopy(TStream& to);

  private:
    TPDFDocument& document_;
    std::vector<int32_t> pages_;
    int32_t root_ = 0;
    TSharedBytesStream image_;
    std::unique_ptr<TStream> copy_;
    bool copyFailed_ = false;
};

}  // namespace verava
