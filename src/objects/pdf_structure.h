// The object store: owns every PDF object of one document (or one merge input, or one
// scratch pass), creates them through its factories, parses PDF syntax into new objects and
// frees objects nobody holds. Two events connect it to its owner: resolving a reference
// ("12 0 R" -> object 12) and registering a new indirect object.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "objects/pdf_object.h"
#include "objects/stream_filters.h"

namespace verava {

class TPDFStructure {
  public:
    using ResolveReferenceEvent =
        std::function<TPDFObject*(TPDFIndRef* reference, int32_t number, int32_t generation)>;
    using RegisterIndirectEvent =
        std::function<void(TPDFObject* object, int32_t& number, int32_t& generation)>;

    // Containers nested deeper than this end where the next level would start, as if
    // unterminated; keeps hostile input from exhausting the stack.
    static constexpr int kMaxNesting = 512;

    TPDFStructure();
    ~TPDFStructure();
    TPDFStructure(const TPDFStructure&) = delete;
    TPDFStructure& operator=(const TPDFStructure&) = delete;

    // Frees every object and resets NumberDecimals to 4.
    void Clear();
    void ReserveSlots(int32_t count);
    int32_t ObjectCount() const { return static_cast<int32_t>(slots_.size()) - Spare; }
    // Frees `object` unless it is a shared name or a live object of this store holds it.
    void ReleaseObject(TPDFObject* object);
    // True when ReleaseObject would free `object` now.
    bool CanFree(const TPDFObject* object) const;

    TPDFNull* NewNull();
    TPDFBoolean* NewBoolean(bool truth);
    TPDFNumeric* NewNumeric(double value);
    TPDFName* NewName(std::string text);
    TPDFString* NewString(std::string bytes, bool hexForm);
    TPDFArray* NewArray();
    TPDFDictionary* NewDictionary();
    TPDFIndRef* NewIndRef(int32_t targetNumber, int32_t targetGeneration);
    TPDFStream* NewStream(std::string bytes, bool compress);
    // A stream over `dictionary` (null: a new empty one) with the bytes as they are.
    TPDFStream* NewStreamWith(TPDFDictionary* dictionary, ByteSlice bytes);
    TPDFArray* NewRefArray(const std::vector<std::pair<int32_t, int32_t>>& references,
                           int32_t lastIndex);
    TPDFArray* NewIntegerArray(const std::vector<int32_t>& integers, int32_t lastIndex);
    TPDFArray* NewRealArray(const std::vector<double>& reals, int32_t lastIndex);

    // The first live name (in creation order) whose text is `text`.
    TPDFName* FindName(std::string_view text) const;
    // A shared name for a dictionary key: the pooled one for common keys, else a new one.
    TPDFName* CommonName(std::string_view text);
    static bool IsPooledName(std::string_view text);

    // Parses one object starting at 0-based `start`; `consumed` counts the bytes read from
    // there, whitespace and comments in front included (0 when nothing was read). Never
    // null: a new TPDFNull when nothing could be parsed.
    TPDFObject* Parse(std::string_view text, size_t start, size_t& consumed);
    TPDFObject* ParseText(std::string_view text);

    // Live objects in creation order (tests and diagnostics).
    const TPDFObject* ObjectAt(int32_t index) const;

    // The highest object number any reference of this store names (0 without references),
    // so that new objects can be numbered where no reference, however dangling, already
    // points.
    int32_t HighestReference() const { return highestReference_; }

    int32_t Spare = 0;
    // GetDecodedData of this store's streams yields at most this many bytes; an owner that
    // bounds its memory by the size of its input lowers it.
    size_t DecodeLimit = kMaxDecodedBytes;
    ResolveReferenceEvent OnResolveReference;
    RegisterIndirectEvent OnRegisterIndirect;
    int32_t NumberDecimals = 4;

  private:
    template <typename T>
    T* Make();
    void Adopt(TPDFObject* object);
    void FreeAll();

    std::vector<TPDFObject*> slots_;  // live objects first, then Spare empty slots
    // CommonName results: once shared, a name is never freed until Clear, and no earlier
    // name with the same text can appear later, so the first FindName hit stays the answer.
    std::unordered_map<std::string, TPDFName*> pooled_;
    int32_t highestReference_ = 0;
};

}  // namespace verava
