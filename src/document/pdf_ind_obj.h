// Indirect objects of a loaded file, parsed on first use: straight out of the in-memory file
// at the offset the cross-reference data gave ("12 0 obj ... endobj"), or out of a decoded
// object stream (ISO 32000-1 7.5.7). Parsing is tolerant: the header may sit a few bytes off
// the stated offset, and stream data are cut at "endstream" when Length is wrong or missing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/file_syntax.h"
#include "document/object_stream_cache.h"
#include "objects/pdf_structure.h"

namespace verava {

class TPDFIndObj;

// What an indirect object needs from the document that owns it.
class IPDFObjectOwner {
  public:
    virtual ~IPDFObjectOwner() = default;
    // The whole file, shared so stream data can be slices of it.
    virtual const SharedBytes& FileBuffer() const = 0;
    virtual TPDFStructure& ObjectStore() = 0;
    virtual TPDFIndObj* FindObject(int32_t number) = 0;
    // Objects are decrypted on first fetch while this holds.
    virtual bool NeedsDecryption() = 0;
    // Decrypts the object's value in place with its object key.
    virtual void DecryptIndirect(TPDFIndObj& object) = 0;
    // Decoded object streams, owned by the document.
    virtual TObjectStreamCache& ObjectStreamCache() = 0;
    // Where `needle` first occurs in the file at or after `from` and before `limit`, or
    // npos. An owner may remember earlier searches; the answer must be that of a plain
    // search.
    virtual size_t FindInFile(std::string_view needle, size_t from,
                              size_t limit = std::string_view::npos) {
        // Matches that start before the limit only, without reading past it.
        const std::string_view file = FileBuffer().View();
        const size_t stop = limit >= file.size()
                                ? file.size()
                                : std::min(limit + needle.size() - 1, file.size());
        const size_t at = file.substr(0, stop).find(needle, from);
        return at < limit ? at : std::string_view::npos;
    }
    // An object is read from its place in the file, at `offset` (loads and header checks
    // jump around a mapped file; the owner may let go of what they brought into memory).
    virtual void NoteScatteredRead(int64_t /*offset*/) {}
    // Loads every object of object stream `stream` not loaded yet. Called once a stream's
    // data had to be decoded again after the cache dropped them: a file that asks for the
    // members of several large streams in turn would otherwise have them decoded again for
    // every object, until the work budget ran out and the rest loaded as null.
    virtual void LoadMembersOf(int32_t /*stream*/, int /*depth*/) {}
};

class TPDFIndObj {
  public:
    // Lengths referring to objects whose own Length refers on, and so on, are followed
    // this deep at most.
    static constexpr int kMaxLoadDepth = 32;

    TPDFIndObj(IPDFObjectOwner* owner, int32_t number, int32_t generation)
        : Document(owner), Number(number), Generation(generation) {}

    // The parsed object (loaded on first use, decrypted once when the owner needs it).
    // `depth` counts the loads this one is nested in (a Length that lives in another object,
    // an object stream that holds this one): beyond kMaxLoadDepth nothing more is loaded.
    TPDFObject* GetObject(int depth = 0);
    // Parses (or re-parses) the object; the previous value is released.
    void LoadObject(int depth = 0);
    // Where the data of a stream object start and how long they are; false when the
    // dictionary at `afterDictionary` in `source` has no stream.
    bool FindStreamData(std::string_view source, size_t afterDictionary, TPDFDictionary* dict,
                        size_t& dataStart, size_t& dataLength, int depth = 0);
    // The source text of a compressed object ("12 0 obj\r" + its bytes in the stream), or
    // the default null text.
    std::string GetObjectText(int depth = 0);
    // For an object of the file (not compressed): whether "Number Generation obj" stands at
    // its offset, within the few bytes of slack loading allows.
    bool HeaderMatches();
    // The decoded contents of this object when it is an object stream ("/Type /ObjStm"),
    // else null (null too once the owner's cache may decode no more).
    TPDFObjectStream* ObjectStreamContents();

    IPDFObjectOwner* Document;
    int32_t Number;
    int32_t Generation;
    bool Loaded = false;
    TPDFObject* Obj = nullptr;
    int64_t Offset = 0;
    bool Decrypted = false;
    bool Compressed = false;
    int32_t StreamNumber = 0;
    int32_t StreamIndex = 0;
    bool Failed = false;
    // DecryptTree has passed this object and everything it reaches.
    bool TreeWalked = false;

  private:
    bool loading_ = false;
};

}  // namespace verava
