// Saving: every object of the document written again in object-list order, one classic
// cross-reference table covering 0..highest number, and the trailer. Objects from object
// streams become ordinary objects; the object streams themselves are not written.
#include <algorithm>
#include <cerrno>
#include <map>
#include <unordered_set>

#include "document/file_syntax.h"
#include "document/pdf_document.h"
#include "objects/buffered_output_stream.h"
#include "objects/file_mapping.h"
#include "objects/number_text.h"
#include "objects/stream.h"
#include "objects/replacing_file.h"

namespace verava {
namespace {

// "N G obj\n" + value text + "\n" unless it ends in one + "endobj\n"; a stream's bytes are
// handed to `sink` as a view instead of being copied into the text.
template <typename Sink>
void EmitObject(int32_t number, int32_t generation, TPDFObject* value, Sink&& sink) {
    const std::string header = std::to_string(number) + " " + std::to_string(generation) + " obj\n";
    if (auto* stream = As<TPDFStream>(value)) {
        std::string dict = stream->StreamDict()->ToText();
        sink(header);
        sink(dict);
        sink("stream\n");
        sink(stream->Data());
        // Written out, the data of a mapped file need not stay in memory.
        TFileMapping::DropResident(stream->Data());
        sink("\nendstream\nendobj\n");
        return;
    }
    std::string text = value != nullptr ? value->ToText() : "null";
    if (text.empty() || text.back() != '\n') text.push_back('\n');
    sink(header);
    sink(text);
    sink("endobj\n");
}

bool IsObjectStream(TPDFObject* value) {
    auto* stream = As<TPDFStream>(value);
    return stream != nullptr && stream->StreamDict()->GetType() == "ObjStm";
}

}  // namespace

std::string TPDFDocument::ObjectToText(TPDFIndObj& object) {
    if (!object.Loaded) object.LoadObject();
    std::string out;
    EmitObject(object.Number, object.Generation, object.Obj,
               [&](std::string_view piece) { out.append(piece); });
    return out;
}

bool TPDFDocument::SaveToFile(const std::u16string& fileName, const TProgressCallback& progress,
                              TFileError* error) {
    TFileError failure;
    bool saved = false;
    try {
        TReplacingFile file(fileName);
        if (!WriteTo(file.Stream(), progress)) {
            const int code = file.Stream().SystemError();
            failure = TFileError::FromErrno(code != 0 ? code : EIO, TFileStep::Write);
        } else if (!file.Commit()) {
            failure = file.Error();
        } else {
            saved = true;
        }
    } catch (const EFileError& e) {
        failure = e.Error();
    } catch (const EOperationCancelled&) {
        throw;
    } catch (...) {
        failure = TFileError::FromErrno(EIO, TFileStep::Write);
    }
    if (error != nullptr) *error = failure;
    return saved;
}

bool TPDFDocument::WriteTo(TStream& stream, const TProgressCallback& progress) {
    const int32_t selectedPage = pageTree_->CurrentPageNumber();
    bool ok = true;
    try {
        XRefEntries.clear();
        TBufferedOutputStream out(stream);
        out.WriteText("%PDF-" + Version + "\n");
        out.WriteText("%\xE2\xE3\xCF\xD3\n");

        int32_t highest = 0;
        std::unordered_set<int32_t> objectStreams;
        int32_t shadowed = 0;
        for (const auto& o : objects_) {
            if (o->Number > highest) highest = o->Number;
            if (o->Compressed) objectStreams.insert(o->StreamNumber);
            if (FindObject(o->Number) != o.get()) ++shadowed;
        }
        // A repaired file can hold several objects under one number (older revisions of an
        // updated file). The one lookups find keeps the number; the others are written under
        // new numbers after the highest, so the file stays valid and nothing is lost.
        // (Above every number a reference names too, so no dangling reference finds them.)
        int32_t nextFree = shadowed > 0 ? std::max(highest, FirstUnusedNumber() - 1) : highest;
        highest = nextFree + shadowed;
        // One subsection covers 0..highest. A file whose numbers are absurdly sparse (a
        // hostile "99999999 0 obj") would turn that into gigabytes of rows; its table lists
        // only the numbers present instead, in runs of consecutive numbers.
        const bool dense =
            static_cast<int64_t>(highest) + 1 <= 2 * static_cast<int64_t>(objects_.size()) + 1024;
        std::map<int32_t, XRefEntry> rows;
        rows[0] = XRefEntry{0, 65535, 0, false, 0, 0, false};

        const bool encrypting = NeedsDecryption();
        const int32_t encryptNumber = security_.Encryption().EncryptObjectNumber;
        const auto total = static_cast<int64_t>(objects_.size());
        int64_t done = 0;
        for (const auto& holder : objects_) {
            if (progress) progress(done, total);
            ++done;
            TPDFIndObj& o = *holder;
            if (o.Number < 0) continue;
            const bool isShadowed = FindObject(o.Number) != &o;
            const int32_t number = isShadowed ? ++nextFree : o.Number;
            const int32_t generation = isShadowed || o.Generation < 0 ? 0 : o.Generation;
            XRefEntry& row = rows[number];
            row.number = number;
            if (!isShadowed && !o.Compressed && objectStreams.count(o.Number) != 0 &&
                IsObjectStream(o.GetObject())) {
                // An object stream of the source file: dissolved into ordinary objects. (A
                // damaged file may name something else as a container: that is written.)
                row = XRefEntry{o.Number, 0, 0, false, 0, 0, false};
                continue;
            }
            // Fetch in plain form (decrypted when the document is encrypted).
            TPDFObject* value = o.GetObject();
            const bool crypt = encrypting && o.Number != encryptNumber && value != nullptr;
            TObjectKey key;
            if (crypt) {
                key = security_.ObjectKey(number, generation);
                security_.EncryptObject(key, value);
            }
            row.offset = out.Position();
            row.generation = generation;
            row.inUse = true;
            try {
                EmitObject(number, generation, value,
                           [&](std::string_view piece) { out.WriteText(piece); });
            } catch (...) {
                if (crypt) security_.DecryptObject(key, value);
                throw;
            }
            if (crypt) security_.DecryptObject(key, value);
        }

        // Numbers without an object are free rows (ISO 32000-1 7.5.4).
        XRefEntries.clear();
        if (dense) {
            XRefEntries.resize(static_cast<size_t>(highest) + 1);
            for (int32_t n = 0; n <= highest; ++n) {
                auto it = rows.find(n);
                XRefEntries[n] =
                    it != rows.end() ? it->second : XRefEntry{n, 0, 0, false, 0, 0, false};
            }
        } else {
            for (const auto& [number, row] : rows) XRefEntries.push_back(row);
        }
        // The trailer's Size is one more than the highest number written, renumbered older
        // revisions included.
        if (auto* size = As<TPDFNumeric>(Trailer->GetValue("Size"))) {
            size->SetValue(highest + 1);
        } else {
            Trailer->SetValue("Size", Structure->NewNumeric(highest + 1));
        }

        const int64_t xref = out.Position();
        std::vector<TTableRow> table;
        table.reserve(XRefEntries.size());
        for (const XRefEntry& row : XRefEntries) {
            table.push_back({row.number, row.offset, row.generation, row.inUse});
        }
        out.WriteText(ClassicTable(table));
        Trailer->RemoveKey("XRefStm");
        out.WriteText("trailer\n");
        out.WriteText(Trailer->ToText());
        out.WriteText("startxref\n" + std::to_string(xref) + "\n%%EOF\n");
        out.Flush();
        if (progress) progress(total, total);
    } catch (const EOperationCancelled&) {
        if (selectedPage > 0) pageTree_->LoadPage(selectedPage);
        throw;
    } catch (...) {
        ok = false;
    }
    if (selectedPage > 0) pageTree_->LoadPage(selectedPage);
    return ok;
}

}  // namespace verava
