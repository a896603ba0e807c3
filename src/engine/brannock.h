// The engine object: the one entry point through which the application opens, counts,
// selects, moves, saves and merges. It owns every document it opens, keeps one current,
// hands out numeric IDs for objects it exposes and records the code of the last failure.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/pdf_document.h"
#include "merge/merge_streams.h"
#include "objects/file_error.h"
#include "objects/progress.h"

namespace verava {

class TStream;

// Codes of ErrorCode.
constexpr int32_t kErrorNone = 0;
constexpr int32_t kErrorNotLoadable = 401;   // missing, unreadable or not loadable
constexpr int32_t kErrorOutputLocked = 402;  // merge: an existing output cannot be deleted
constexpr int32_t kErrorMergeFailed = 403;   // merge: writing the output failed
constexpr int32_t kErrorPassword = 404;      // encrypted and the password opens nothing
constexpr int32_t kErrorMergeUnreadable = 409;
constexpr int32_t kErrorMergeEncrypted = 410;

// The fixed text stored as Producer and Creator of new documents.
extern const char16_t kEngineBanner[];

class TBrannock {
  public:
    TBrannock();
    ~TBrannock();
    TBrannock(const TBrannock&) = delete;
    TBrannock& operator=(const TBrannock&) = delete;

    // 1 on success, 0 on failure (ErrorCode tells why).
    int32_t OpenFile(const std::u16string& fileName, const std::u16string& password = u"");
    int32_t OpenStream(TStream& stream, const std::u16string& password = u"");
    int32_t CountPages();
    int32_t CurrentPage();
    int32_t GoToPage(int32_t page);
    int32_t MovePageTo(int32_t position);
    // Puts all pages of the current document in a new order at once: `order[i]` is the page
    // that ends at position i + 1. 1 on success; 0, with nothing changed, when `order` is not
    // a permutation of the pages.
    int32_t ReorderPages(const std::vector<int32_t>& order);
    // Writes the current document as a complete new file, durably: an earlier file of that
    // name is replaced only by the complete new one. Progress runs 0..100 over the objects
    // written (before the file is forced to disk). 0 on failure, LastFileError says why.
    int32_t WriteToFile(const std::u16string& fileName);
    // Joins two PDF files into a third at file level: all pages of `first`, then all pages of
    // `second`. 1 when the output was written; otherwise ErrorCode says why (403 with
    // LastFileError when the system refused a write) and no output file is left behind.
    int32_t MergeFilePair(const std::u16string& first, const std::u16string& second,
                          const std::u16string& output);
    // The same with the pages `options` lists, in that order; the merged file is written
    // once, already in that order. Encrypted inputs whose passwords are given are merged
    // through decrypted copies (the merged file is not encrypted). The inputs are loaded
    // for this call only; the engine's documents stay as they were.
    int32_t MergeFilePair(const std::u16string& first, const std::u16string& second,
                          const std::u16string& output, const TMergeOptions& options);
    // The same over two documents already loaded (by OpenFile, say): nothing is loaded
    // again. An encrypted one is decrypted for good on the way.
    int32_t MergeDocuments(TPDFDocument& first, TPDFDocument& second,
                           const std::u16string& output, const TMergeOptions& options = {});
    // One loaded document's pages written as `options` lists them (turned, with blank pages,
    // others left out), as MergeDocuments writes them: a file scanned on both sides in one
    // pass after the other, collated. The result is not encrypted.
    int32_t ArrangeDocument(TPDFDocument& document, const std::u16string& output,
                            const TMergeOptions& options);

    int32_t ObjectID(const void* object);
    const void* ObjectForID(int32_t id) const;
    TPDFDocument* DocumentForID(int32_t id) const;
    int32_t MakeDocumentCurrent(int32_t id);

    // Maps a raw progress value through scale, offset and parts and reports it when it
    // changed. Raises EOperationCancelled when StopRequested says so.
    void ReportProgress(double raw);

    std::vector<std::unique_ptr<TPDFDocument>> Documents;
    std::vector<const void*> HandleList;
    TPDFDocument* CurrentDocument = nullptr;
    int32_t ErrorCode = kErrorNone;
    std::function<void(int32_t percent)> OnProgress;
    double ProgressScale = 0;
    int32_t ProgressOffset = 0;
    int32_t ProgressPart = 1;
    int32_t ProgressParts = 1;
    int32_t LastReported = 0;
    int32_t ParserMode = 2;
    // Asked at every progress step of a save or a merge; true stops the work, which then
    // leaves nothing behind and fails with LastFileError Cancelled.
    std::function<bool()> StopRequested;
    // Why the last WriteToFile or MergeFilePair could not write (None when it could, or when
    // it failed for another reason).
    TFileError LastFileError;

  private:
    // MergeDocuments, and ArrangeDocument without a second document.
    int32_t WriteMerged(TPDFDocument& first, TPDFDocument* second, const std::u16string& output,
                        const TMergeOptions& options);
};

// The class the application creates; it adds nothing.
class TVelmorPDFLibrary1811 : public TBrannock {};
class TVelmorPDFLibrary : public TVelmorPDFLibrary1811 {};

}  // namespace verava
