// The decoded object streams of one input (ISO 32000-1 7.5.7), for the document loader and the
// merge reader alike:
//   5 0 obj << /Type /ObjStm /N 2 /First 9 /Filter /FlateDecode >> stream ... endstream
// A file of a few kilobytes can hold many object streams that each inflate to the decode
// limit, and ask for them in an order that evicts each just before it is needed again. So the
// cache keeps two budgets, both set from the input's size S:
//   held: the decoded bytes kept at once stay within H = DecodeLimitForInput(S), 128 MB + 32 S.
//         The stream used longest ago gives up its data first; its index stays, so using it
//         again costs one decode and nothing more.
//   work: the bytes decoding reads and yields over the cache's life, first decodes and decodes
//         again alike, stay within W = kWorkFactor H, 512 MB + 128 S. Once W is spent a stream
//         not held yields nothing, and its objects load as null.
// So no input costs more than W of decoding and H of decoded memory here, whatever its object
// streams and its order of loads; an index adds one mark per 16 pairs looked up. A sound file
// decodes each stream once and keeps it: H already holds 32 times the file, W leaves room to
// decode all of it four times over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "document/file_syntax.h"
#include "objects/pdf_object.h"

namespace verava {

// The decoded form of one object stream, hung on its stream object; the cache owns it.
class TPDFObjectStream : public TStreamAttachment {
  public:
    std::string Data;          // decoded bytes; empty while Dropped
    TObjectStreamIndex Index;  // read at the first decode, kept when the data go
    bool Dropped = false;      // the data were given up to stay within the held budget
    int32_t Decodes = 0;       // how often the data were decoded
    // An owner that can loads every member it still needs once a stream had to be decoded
    // again, so no stream is decoded a third time (see IPDFObjectOwner::LoadMembersOf).
    bool MembersLoaded = false;

  private:
    friend class TObjectStreamCache;
    std::list<TPDFObjectStream*>::iterator place_;  // in the cache's order of use
};

class TObjectStreamCache {
  public:
    static constexpr uint64_t kWorkFactor = 4;

    explicit TObjectStreamCache(int64_t inputSize = 0) { SetInputSize(inputSize); }
    TObjectStreamCache(const TObjectStreamCache&) = delete;
    TObjectStreamCache& operator=(const TObjectStreamCache&) = delete;

    // Both budgets for an input of `inputSize` bytes; the work done so far still counts.
    void SetInputSize(int64_t inputSize);
    // The decoded contents of `stream`, an object stream: decoded on first use, and again
    // after its data were dropped, while the work budget lasts; the same object every time.
    // Null once the budget is spent and the stream holds no data.
    TPDFObjectStream* Contents(TPDFStream& stream);
    // Frees every decoded stream (streams still pointing at them must be gone or unused) and
    // starts the work count afresh.
    void Clear();

    void SetBudget(size_t heldBytes) { budget_ = heldBytes; }
    void SetWorkBudget(uint64_t bytes) { workBudget_ = bytes; }
    // Streams decoded at least once, the decoded bytes held now, and the work done so far.
    size_t size() const { return owned_.size(); }
    size_t HeldBytes() const { return held_; }
    uint64_t Work() const { return work_; }

  private:
    void Trim();

    std::vector<std::unique_ptr<TPDFObjectStream>> owned_;
    std::list<TPDFObjectStream*> filled_;  // holding data, used longest ago first
    size_t held_ = 0;
    size_t budget_ = 0;
    uint64_t work_ = 0;
    uint64_t workBudget_ = 0;
};

}  // namespace verava
