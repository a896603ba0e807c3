#include "engine/brannock.h"

#include <algorithm>

#include "merge/merge_streams.h"
#include "objects/number_text.h"
#include "objects/replacing_file.h"
#include "objects/wide_file_stream.h"

namespace verava {

const char16_t kEngineBanner[] = u"VERava PDF Engine 18.11";

TBrannock::TBrannock() {
    ProgressPart = 1;
    ProgressParts = 1;
    ErrorCode = kErrorNone;
    ParserMode = 2;
    auto blank = std::make_unique<TPDFDocument>(ParserMode);
    blank->NewDocument();
    blank->SetInformationEntry("Producer", kEngineBanner);
    blank->SetInformationEntry("Creator", kEngineBanner);
    const std::u16string now = PdfDateNowText();
    blank->SetInformationEntry("CreationDate", now);
    blank->SetInformationEntry("ModDate", now);
    TPDFDocument* document = blank.get();
    Documents.push_back(std::move(blank));
    MakeDocumentCurrent(ObjectID(document));
    GoToPage(1);
}

TBrannock::~TBrannock() {
    try {
        Documents.clear();
    } catch (...) {
        // Freeing a document must not take the program down.
    }
}

int32_t TBrannock::OpenFile(const std::u16string& fileName, const std::u16string& password) {
    ErrorCode = kErrorNone;
    int32_t result = 0;
    if (FileExistsWide(fileName)) {
        try {
            TBrannockWideFileStream stream(fileName, kFileModeRead | kFileShareDenyWrite);
            result = OpenStream(stream, password);
        } catch (...) {
            ErrorCode = kErrorNotLoadable;
            result = 0;
        }
    }
    if (result == 1) {
        CurrentDocument->FileName = fileName;
    } else if (ErrorCode == kErrorNone) {
        ErrorCode = kErrorNotLoadable;
    }
    return result;
}

int32_t TBrannock::OpenStream(TStream& stream, const std::u16string& password) {
    ErrorCode = kErrorNone;
    auto document = std::make_unique<TPDFDocument>(ParserMode);
    const uint8_t answer = document->LoadFromStream(stream, password);
    if (answer != TPDFDocument::kLoaded) {
        ErrorCode = answer == TPDFDocument::kPasswordRejected ? kErrorPassword : kErrorNotLoadable;
        return 0;
    }
    TPDFDocument* loaded = document.get();
    Documents.push_back(std::move(document));
    MakeDocumentCurrent(ObjectID(loaded));
    return 1;
}

int32_t TBrannock::CountPages() { return std::max(CurrentDocument->PageTree().TotalPages(), 0); }

int32_t TBrannock::CurrentPage() { return CurrentDocument->PageTree().CurrentPageNumber(); }

int32_t TBrannock::GoToPage(int32_t page) {
    TPDFPageTree& tree = CurrentDocument->PageTree();
    tree.LoadPage(page);
    return tree.CurrentPageNumber() == page ? 1 : 0;
}

int32_t TBrannock::MovePageTo(int32_t position) {
    TPDFPageTree& tree = CurrentDocument->PageTree();
    const int32_t current = tree.CurrentPageNumber();
    if (position == current || position < 1 || position > CountPages()) return 0;
    tree.RelocatePage(current, position);
    tree.ClearPageCache();
    return 1;
}

int32_t TBrannock::ReorderPages(const std::vector<int32_t>& order) {
    try {
        return CurrentDocument->PageTree().Reorder(order) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int32_t TBrannock::WriteToFile(const std::u16string& fileName) {
    ErrorCode = kErrorNone;
    LastFileError = {};
    try {
        CurrentDocument->SetInformationEntry("ModDate", PdfDateNowText());
        ProgressScale = 1;
        ProgressOffset = 0;
        const TProgressCallback progress = [this](int64_t done, int64_t total) {
            ReportProgress(static_cast<double>(done) * 100.0 / static_cast<double>(total));
        };
        return CurrentDocument->SaveToFile(fileName, progress, &LastFileError) ? 1 : 0;
    } catch (const EOperationCancelled&) {
        LastFileError = TFileError{TFileProblem::Cancelled};
        return 0;
    } catch (...) {
        return 0;
    }
}

int32_t TBrannock::MergeFilePair(const std::u16string& first, const std::u16string& second,
                                 const std::u16string& output) {
    return MergeFilePair(first, second, output, TMergeOptions{});
}

int32_t TBrannock::MergeFilePair(const std::u16string& first, const std::u16string& second,
                                 const std::u16string& output, const TMergeOptions& options) {
    // The inputs are loaded here and let go afterwards; the engine's own documents, and
    // which one is current, stay as they were.
    TPDFDocument documents[2] = {TPDFDocument(ParserMode), TPDFDocument(ParserMode)};
    const std::u16string* paths[2] = {&first, &second};
    const std::u16string* passwords[2] = {&options.firstPassword, &options.secondPassword};
    for (int i = 0; i < 2; ++i) {
        uint8_t loaded = TPDFDocument::kNotLoadable;
        try {
            TBrannockWideFileStream stream(*paths[i], kFileModeRead | kFileShareDenyWrite);
            loaded = documents[i].LoadFromStream(stream, *passwords[i]);
        } catch (...) {
            ErrorCode = kErrorNotLoadable;  // missing or unreadable
            return 0;
        }
        if (loaded != TPDFDocument::kLoaded) {
            ErrorCode = loaded == TPDFDocument::kPasswordRejected ? kErrorMergeEncrypted
                                                                  : kErrorMergeUnreadable;
            return 0;
        }
        documents[i].FileName = *paths[i];
    }
    return MergeDocuments(documents[0], documents[1], output, options);
}

int32_t TBrannock::MergeDocuments(TPDFDocument& first, TPDFDocument& second,
                                  const std::u16string& output, const TMergeOptions& options) {
    return WriteMerged(first, &second, output, options);
}

int32_t TBrannock::ArrangeDocument(TPDFDocument& document, const std::u16string& output,
                                   const TMergeOptions& options) {
    return WriteMerged(document, nullptr, output, options);
}

int32_t TBrannock::WriteMerged(TPDFDocument& first, TPDFDocument* second,
                               const std::u16string& output, const TMergeOptions& options) {
    // An input is never written over: the output cannot take its place.
    for (const TPDFDocument* input : {&first, second}) {
        if (input != nullptr && !input->FileName.empty() && SameFileWide(output, input->FileName)) {
            ErrorCode = kErrorOutputLocked;
            return 0;
        }
    }
    // The output is written beside its name and takes its place only when complete: a
    // refused or failed merge leaves no output behind, and an earlier file stays as it was.
    LastFileError = {};
    const bool replacing = FileExistsWide(output);
    std::unique_ptr<TReplacingFile> out;
    try {
        out = std::make_unique<TReplacingFile>(output);
    } catch (const EFileError& e) {
        LastFileError = e.Error();
        // An output that is no file at all is no locked output: nothing can replace it.
        const bool notAFile = e.Error().Problem == TFileProblem::Folder ||
                              e.Error().Problem == TFileProblem::NotRegularFile;
        ErrorCode = replacing && !notAFile ? kErrorOutputLocked : kErrorMergeFailed;
        return 0;
    } catch (...) {
        ErrorCode = replacing ? kErrorOutputLocked : kErrorMergeFailed;
        return 0;
    }
    if (replacing) ErrorCode = kErrorNone;
    int32_t result = 0;
    try {
        MergeProgressSink progress;
        progress.setRange = [this](double scale, int32_t offset) {
            ProgressScale = scale;
            ProgressOffset = offset;
        };
        progress.report = [this](double raw) { ReportProgress(raw); };
        int32_t code = ErrorCode;
        TMergeInput inputA(first);
        if (second != nullptr) {
            TMergeInput inputB(*second);
            result = MergeInputs(inputA, inputB, out->Stream(), code, progress, options);
        } else {
            result = ArrangeInput(inputA, out->Stream(), code, progress, options);
        }
        ErrorCode = code;
        if (result == 1 && !out->Commit()) {
            ErrorCode = kErrorMergeFailed;
            LastFileError = out->Error();
            result = 0;
        }
    } catch (const EFileError& e) {
        ErrorCode = kErrorMergeFailed;
        LastFileError = e.Error();
        result = 0;
    } catch (const EOperationCancelled&) {
        ErrorCode = kErrorMergeFailed;
        LastFileError = TFileError{TFileProblem::Cancelled};
        result = 0;
    } catch (...) {
        ErrorCode = kErrorMergeFailed;
        result = 0;
    }
    return result;
}

int32_t TBrannock::ObjectID(const void* object) {
    if (object == nullptr) return 0;
    for (size_t i = 0; i < HandleList.size(); ++i) {
        if (HandleList[i] == object) return 0x58000000 + static_cast<int32_t>(i);
    }
    HandleList.push_back(object);
    return 0x58000000 + static_cast<int32_t>(HandleList.size() - 1);
}

const void* TBrannock::ObjectForID(int32_t id) const {
    if ((id & 0x58000000) != 0x58000000) return nullptr;
    const int32_t index = id & 0x07FFFFFF;
    if (index >= static_cast<int32_t>(HandleList.size())) return nullptr;
    return HandleList[index];
}

TPDFDocument* TBrannock::DocumentForID(int32_t id) const {
    const void* object = ObjectForID(id);
    for (const auto& document : Documents) {
        if (document.get() == object) return document.get();
    }
    return nullptr;
}

int32_t TBrannock::MakeDocumentCurrent(int32_t id) {
    TPDFDocument* document = DocumentForID(id);
    if (document == nullptr) return 0;
    CurrentDocument = document;
    return 1;
}

void TBrannock::ReportProgress(double raw) {
    if (StopRequested && StopRequested()) throw EOperationCancelled();
    if (!OnProgress) return;
    const int32_t b = RoundToInt32(raw * ProgressScale + ProgressOffset);
    const int32_t parts = ProgressParts != 0 ? ProgressParts : 1;
    const int32_t c = b / parts + ((ProgressPart - 1) * 100) / parts;
    if (c != LastReported) {
        OnProgress(c);
        LastReported = c;
    }
}

}  // namespace verava
