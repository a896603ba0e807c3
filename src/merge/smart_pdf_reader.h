// Reads one input of a file merge without building a document: the header, the whole
// cross-reference chain into a table of its own, and every trailer. Objects are then served
// by number as raw text cut from the file ("12 0 obj" ... up to the next object's offset), as
// objects parsed into a store the caller chooses, or parsed once and kept by number. Stream data
// stay as found in the file (still encoded); only object streams are decoded, to extract the
// objects stored in them (ISO 32000-1, 7.5.7).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "document/file_syntax.h"
#include "document/object_stream_cache.h"
#include "objects/byte_slice.h"
#include "objects/integer_lists.h"
#include "objects/pdf_object.h"
#include "objects/pdf_structure.h"

namespace verava {

class TStream;

// One row of the merge reader's cross-reference table; all zero while unfilled.
struct SmartXRefEntry {
    int32_t Number = 0;      // the object number this slot holds
    int64_t Offset = 0;      // 'n': byte offset; 'c': object stream number; 'f': as reported
    int32_t Generation = 0;  // 'n', 'f': generation; 'c': index inside the object stream
    char Kind = 0;           // 'n' in use, 'f' free, 'c' compressed
};

// How far a merge reader got with its input.
enum class TReaderStatus : uint8_t {
    Usable,    // header and cross-reference data read
    NoHeader,  // no "%PDF-" (or PostScript form) in the first bytes
    NoXRef,    // no usable cross-reference data or trailer
};

class TSmartPDFReader {
  public:
    using IDCreatedEvent = std::function<void(TSmartPDFReader& reader)>;
    using ObjectStreamEvent = std::function<void(int32_t number, TPDFStream* stream)>;

    // Object numbers above this are not kept: ISO 32000-1 Annex C limits a file to
    // 8,388,607 indirect objects, and a hostile entry must not make the table huge. Numbers
    // far above the file size are dropped for the same reason: no file holds more objects
    // than bytes, but numbering may leave gaps (a file of a few kilobytes may hold object
    // 9189), so a million numbers beyond the size are taken (24 MB of table at most).
    static constexpr int32_t kMaxObjectNumber = 8388607;
    static constexpr int64_t kNumbersBeyondSize = 1 << 20;
    // Nested loads (an object stream stored in another, a Length stored in another stream's
    // Length...) deeper than this answer nothing.
    static constexpr int kMaxLoadDepth = 32;

    // Reads header, cross-reference data and trailers at once; check Status afterwards.
    // Stream errors raised while sections are read propagate. `stream` must outlive the
    // reader.
    explicit TSmartPDFReader(TStream& stream);
    ~TSmartPDFReader();
    TSmartPDFReader(const TSmartPDFReader&) = delete;
    TSmartPDFReader& operator=(const TSmartPDFReader&) = delete;

    int32_t LastObjectNumber() const { return static_cast<int32_t>(entries_.size()) - 1; }
    // The text of object n after its "obj" keyword, or "".
    std::string GetObjectText(int32_t n);
    // Object n parsed into `store` (the reader's own when null), with its stream data when it
    // is a stream. Never cached.
    TPDFObject* LoadObject(int32_t n, TPDFStructure* store);
    // Object n, parsed into Structure the first time and the same object every time after,
    // so walks that meet a number again meet the same object, and nothing is parsed twice.
    TPDFObject* GetObject(int32_t n);
    // How many numbers GetObject has answered (a missing object counts too).
    size_t CachedObjectCount() const { return cache_.size(); }
    // LoadObject into `store` when given, GetObject otherwise.
    TPDFObject* FetchObject(int32_t n, TPDFStructure* store);
    int32_t GetGeneration(int32_t n) const;
    // The trailer's (or else an older trailer's) value for `key` when it is (or refers to) a
    // dictionary.
    TPDFDictionary* TrailerValue(std::string_view key);
    // The trailer's (or else an older trailer's) value for `key` when it is a reference.
    TPDFIndRef* TrailerRef(std::string_view key);
    // Prepares Trailer for use as the output trailer of a merge: Size, Info, Root, a new
    // identifier, and no cross-reference-stream keys (nor XRefStm).
    void FinishTrailer();

    // How far the reader got.
    TReaderStatus Status() const { return status_; }
    const std::string& Version() const { return version_; }
    TStream* Stream() const { return stream_; }
    // Trailers and every object fetched without a caller store. References of objects in it
    // resolve through GetObject.
    TPDFStructure* Structure() const { return structure_.get(); }
    // The newest trailer (null when there is none), and all trailers, newest first.
    TPDFDictionary* Trailer() const { return trailer_; }
    const std::vector<TPDFDictionary*>& Trailers() const { return trailers_; }
    // The cross-reference table by object number, and the offsets it gives, sorted.
    const std::vector<SmartXRefEntry>& Entries() const { return entries_; }
    const TVMXSortedInt64List& Offsets() const { return *offsets_; }
    // The object streams decoded so far, within the budgets the file's size sets.
    const TObjectStreamCache& ObjectStreams() const { return objectStreams_; }
    int64_t StartXRef() const { return startXRef_; }
    // The trailer names an encryption dictionary.
    bool Encrypted() const { return encrypted_; }
    bool HasXRefStream() const { return hasXRefStream_; }
    bool HasXRefStm() const { return hasXRefStm_; }
    int32_t SubsectionCount() const { return subsectionCount_; }
    int32_t PrevCount() const { return prevCount_; }
    // Bytes before "%PDF-"; -1 without that mark. Offsets count from it when
    // UseHeaderOffset holds.
    int32_t HeaderOffset() const { return headerOffset_; }
    bool UseHeaderOffset() const { return useHeaderOffset_; }
    int32_t MaxNumber() const { return maxNumber_; }
    int64_t FileSize() const { return fileSize_; }
    // Called when FinishTrailer makes a new identifier, and (for an encrypted file) when an
    // object stream is about to be decoded.
    void SetOnIDCreated(IDCreatedEvent event) { onIDCreated_ = std::move(event); }
    void SetOnObjectStream(ObjectStreamEvent event) { onObjectStream_ = std::move(event); }
    const IDCreatedEvent& OnIDCreated() const { return onIDCreated_; }
    const ObjectStreamEvent& OnObjectStream() const { return onObjectStream_; }

  private:
    // Object text as read from the file (or copied out of an object stream): the object's
    // text is the part of `buffer` from `start`, which stream data slice without a copy.
    struct ObjectText {
        SharedBytes buffer;
        size_t start = 0;
        std::string_view View() const { return buffer.Sub(start).View(); }
    };

    // The input mapped into memory when it is a file that can be mapped: object texts and
    // stream data are then views of it instead of copies read from the stream.
    SharedBytes mapped_;
    bool ReadHeader();
    bool ReadCrossReference();
    void HandleEntry(int32_t number, int32_t generation, char kind, int64_t offset);
    void HandleTrailer(const std::string& text);
    void HandleSection(int64_t offset);
    void RepairNumbering();
    // `count` bytes at `position`, clipped to the file.
    std::string ReadAt(int64_t position, int64_t count);
    ObjectText ReadObjectText(int32_t n);
    ObjectText GetCompressedObjectText(int64_t s, int32_t n, int32_t i);
    // Keeps the text of every member of object stream `s` (just decoded a second time) that
    // the cross-reference data place there, cut after its object, so the stream is never
    // decoded a third time however its members are asked for.
    void KeepMemberTexts(int32_t s, TPDFObjectStream& decoded);
    // Data start and length inside `text` for the dictionary parsed from its first
    // `parsedEnd` bytes, or false when the object is no stream.
    bool FindStreamData(std::string_view text, size_t parsedEnd, TPDFDictionary* dictionary,
                        size_t& position, size_t& length);
    // Loading guard: false when n is being loaded already or nesting is too deep.
    bool EnterLoad(int32_t n);
    void LeaveLoad();

    std::string version_;
    TStream* stream_ = nullptr;
    std::unique_ptr<TPDFStructure> structure_;
    TPDFDictionary* trailer_ = nullptr;
    TReaderStatus status_ = TReaderStatus::Usable;
    int64_t startXRef_ = 0;
    IDCreatedEvent onIDCreated_;
    ObjectStreamEvent onObjectStream_;
    bool encrypted_ = false;
    std::vector<SmartXRefEntry> entries_;
    std::unique_ptr<TVMXSortedInt64List> offsets_;
    std::vector<TPDFDictionary*> trailers_;
    bool hasXRefStream_ = false;
    bool hasXRefStm_ = false;
    int32_t subsectionCount_ = 0;
    int32_t prevCount_ = 0;
    int32_t headerOffset_ = 0;
    bool useHeaderOffset_ = false;
    int32_t maxNumber_ = 0;
    int64_t fileSize_ = 0;
    std::unordered_map<int32_t, TPDFObject*> cache_;  // GetObject's answers; null: none
    // Containers of compressed objects met so far by number (null: no stream), and whether
    // they are ready to serve (not while their first decode runs).
    struct MetStream {
        TPDFStream* stream = nullptr;
        bool ready = false;
    };
    std::unordered_map<int32_t, MetStream> metStreams_;
    TObjectStreamCache objectStreams_;
    // Members of object streams by stream number, made at the first KeepMemberTexts, and the
    // texts kept by object number.
    std::unordered_map<int32_t, std::vector<int32_t>> membersByStream_;
    std::unordered_map<int32_t, SharedBytes> memberTexts_;
    std::vector<int32_t> loading_;                    // numbers whose load is in progress
    std::unordered_set<int64_t> offsetsSeen_;         // offsets already in offsets_
    // Hybrid files: sections are counted as they are read; free slots remember the section
    // that reported them, and the XRefStm section of a table may fill those of that table.
    int32_t section_ = 0;
    int64_t pendingXRefStm_ = -1;
    int32_t pendingOwner_ = -1;
    int32_t hybridOf_ = -1;
    std::unordered_map<int32_t, int32_t> freedIn_;
};

}  // namespace verava
