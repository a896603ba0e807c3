// PDF values in memory: null, boolean, number, string, name, array, dictionary, stream and
// indirect reference ("12 0 R"). Every object is created by, registered with and freed by
// one TPDFStructure (the object store); containers hold plain pointers to objects of their
// store and never free them. References are not followed by the model itself: Resolve asks
// the store's OnResolveReference event, which the owning document answers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "objects/byte_slice.h"

namespace verava {

class TPDFStructure;

// Something a loader hangs on a stream (the decoded form of an object stream). The stream
// neither reads nor frees it.
class TStreamAttachment {
  public:
    virtual ~TStreamAttachment() = default;
};

class TPDFObject {
  public:
    virtual ~TPDFObject() = default;
    TPDFObject(const TPDFObject&) = delete;
    TPDFObject& operator=(const TPDFObject&) = delete;

    // Walks into nested values stop this deep. Parsed values nest 512 levels at most; only
    // a value that has come to contain itself (page attributes copied down a tree that
    // loops, for instance) gets further, and must not take the stack with it.
    static constexpr int kMaxWalkDepth = 2048;

    // Modified since parsed or last marked unchanged; containers also ask their children.
    bool IsModified() const { return IsModifiedAt(0); }
    // The PDF syntax of the object (see pdf_serialiser.cpp). May raise EInvalidOp for a
    // number that cannot be written (or a value nested beyond kMaxWalkDepth) outside a
    // dictionary entry.
    std::string ToText() const;
    void AppendText(std::string& out) const { AppendTextAt(out, 0); }
    // Asks the store to free this object; it stays when a container of the store holds it.
    virtual void Release();
    // Adds delta to the target number of every reference inside this value.
    void ShiftReferences(int32_t delta) { ShiftReferencesAt(delta, 0); }
    // True when this container holds `object` directly.
    virtual bool Holds(const TPDFObject* object) const { return false; }

    void SetModified(bool modified) { Modified = modified; }
    void MarkIndirect(int32_t objectNumber, int32_t generationNumber);

    TPDFStructure* Store() const { return store_; }
    char KindTag() const { return kindTag_; }

    bool Indirect = false;
    int32_t ObjectNumber = 0;
    int32_t GenerationNumber = 0;
    bool Modified = false;

  protected:
    TPDFObject(TPDFStructure* store, char kindTag) : store_(store), kindTag_(kindTag) {}
    // The walks behind the public calls, `depth` levels below where they started.
    virtual bool IsModifiedAt(int depth) const { return Modified; }
    virtual void AppendTextAt(std::string& out, int depth) const = 0;
    virtual void ShiftReferencesAt(int32_t delta, int depth) {}
    // Releases what a container holds without releasing the container itself.
    virtual void ReleaseContents(int depth) {}
    // Releases a child this container holds: its contents always, the child itself only
    // when it belongs to another store (a holder in the same store always keeps it).
    void ReleaseHeldChild(TPDFObject* child, int depth) const;
    // The same walks on another object (a container's children).
    static void ReleaseContentsOf(TPDFObject* object, int depth) { object->ReleaseContents(depth); }
    static bool IsModifiedOf(const TPDFObject* object, int depth) {
        return object->IsModifiedAt(depth);
    }
    static void AppendTextOf(const TPDFObject* object, std::string& out, int depth) {
        object->AppendTextAt(out, depth);
    }
    static void ShiftReferencesOf(TPDFObject* object, int32_t delta, int depth) {
        object->ShiftReferencesAt(delta, depth);
    }

  private:
    friend class TPDFStructure;
    TPDFStructure* store_;
    char kindTag_;
};

// Checked downcast by kind tag: nullptr when `object` is null or of another kind.
template <typename T>
T* As(TPDFObject* object) {
    return object != nullptr && object->KindTag() == T::kKind ? static_cast<T*>(object) : nullptr;
}
template <typename T>
const T* As(const TPDFObject* object) {
    return object != nullptr && object->KindTag() == T::kKind ? static_cast<const T*>(object)
                                                              : nullptr;
}

class TPDFNull : public TPDFObject {
  public:
    static constexpr char kKind = '0';
    void AppendTextAt(std::string& out, int depth) const override;

  private:
    friend class TPDFStructure;
    explicit TPDFNull(TPDFStructure* store) : TPDFObject(store, kKind) {}
};

class TPDFBoolean : public TPDFObject {
  public:
    static constexpr char kKind = 'B';
    void AppendTextAt(std::string& out, int depth) const override;
    bool Truth = false;

  private:
    friend class TPDFStructure;
    explicit TPDFBoolean(TPDFStructure* store) : TPDFObject(store, kKind) {}
};

class TPDFNumeric : public TPDFObject {
  public:
    static constexpr char kKind = 'n';
    void AppendTextAt(std::string& out, int depth) const override;
    void SetValue(double value) {
        NumValue = value;
        Modified = true;
    }
    // Rounded to the nearest integer, ties to even; 0 when out of the 32-bit range.
    int32_t AsInteger() const;
    double NumValue = 0;

  private:
    friend class TPDFStructure;
    explicit TPDFNumeric(TPDFStructure* store) : TPDFObject(store, kKind) {}
};

class TPDFString : public TPDFObject {
  public:
    static constexpr char kKind = 's';
    void AppendTextAt(std::string& out, int depth) const override;
    void SetValue(std::string bytes) {
        Bytes = std::move(bytes);
        Modified = true;
    }
    // The value as a PDF text string (PDFDocEncoding or UTF-16).
    std::u16string GetUnicode() const;
    std::string Bytes;     // decoded bytes, escapes resolved
    bool HexForm = false;  // written as <...> instead of (...)

  private:
    friend class TPDFStructure;
    explicit TPDFString(TPDFStructure* store) : TPDFObject(store, kKind) {}
};

class TPDFName : public TPDFObject {
  public:
    static constexpr char kKind = 'N';
    void AppendTextAt(std::string& out, int depth) const override;
    void SetValue(std::string text) {
        Text = std::move(text);
        Modified = true;
    }
    std::string Text;     // without the slash, "#xx" escapes resolved
    bool Shared = false;  // handed out by CommonName; never freed by ReleaseObject

  private:
    friend class TPDFStructure;
    explicit TPDFName(TPDFStructure* store) : TPDFObject(store, kKind) {}
};

class TPDFArray : public TPDFObject {
  public:
    static constexpr char kKind = 'A';
    bool IsModifiedAt(int depth) const override;
    void AppendTextAt(std::string& out, int depth) const override;
    void ShiftReferencesAt(int32_t delta, int depth) override;
    bool Holds(const TPDFObject* object) const override;

    int32_t Count() const { return static_cast<int32_t>(Elements.size()); }
    TPDFObject* Get(int32_t index) const;
    void Add(TPDFObject* object);
    // Does nothing for index < 0 or index > Count.
    void Insert(int32_t index, TPDFObject* object);
    void Delete(int32_t index);
    // Deletes the first item that is `object` (byText false) or writes as it does (true).
    void Remove(const TPDFObject* object, bool byText);
    int32_t IndexOfText(const TPDFObject* object) const;
    void Replace(int32_t index, TPDFObject* object);
    void Reserve(int32_t count);
    int32_t Spare() const { return spare_; }
    const std::vector<TPDFObject*>& Items() const { return Elements; }

  protected:
    void ReleaseContents(int depth) override;

  private:
    friend class TPDFStructure;
    explicit TPDFArray(TPDFStructure* store) : TPDFObject(store, kKind) {}
    int32_t IndexOfSameText(const TPDFObject* object) const;

    std::vector<TPDFObject*> Elements;
    int32_t spare_ = 0;
};

class TPDFDictionary : public TPDFObject {
  public:
    static constexpr char kKind = 'D';
    using Entry = std::pair<TPDFName*, TPDFObject*>;

    bool IsModifiedAt(int depth) const override;
    void AppendTextAt(std::string& out, int depth) const override;
    void ShiftReferencesAt(int32_t delta, int depth) override;
    bool Holds(const TPDFObject* object) const override;

    // Index of the entry whose key is exactly `name`, or -1.
    int32_t IndexOf(std::string_view name) const;
    // Replaces key and value of an existing entry in place (returns its index) or appends
    // (returns -1). The replaced objects are not released.
    int32_t AddEntry(TPDFName* key, TPDFObject* value);
    void SetValue(std::string_view name, TPDFObject* value);
    TPDFObject* GetValue(std::string_view name, bool resolve = false) const;
    int32_t GetInteger(std::string_view name, int32_t defaultValue) const;
    // The "Type" entry's name text (not resolved), or "".
    std::string GetType() const;
    void RemoveKey(std::string_view name);
    void DeleteKey(std::string_view name);
    void ClearEntries();
    int32_t EntryCount() const { return static_cast<int32_t>(Pairs.size()); }
    Entry EntryAt(int32_t index) const;
    void Assign(const TPDFDictionary& other);
    const std::vector<Entry>& Entries() const { return Pairs; }

  protected:
    void ReleaseContents(int depth) override;

  private:
    friend class TPDFStructure;
    explicit TPDFDictionary(TPDFStructure* store) : TPDFObject(store, kKind) {}

    std::vector<Entry> Pairs;
    // Key text -> index of its entry, built on demand once the dictionary is large;
    // emptied by every change that moves or replaces entries.
    static constexpr size_t kIndexedFrom = 32;
    mutable std::unordered_map<std::string, int32_t> keyIndex_;
};

class TPDFStream : public TPDFObject {
  public:
    static constexpr char kKind = 'S';
    void AppendTextAt(std::string& out, int depth) const override;
    void Release() override;
    void ShiftReferencesAt(int32_t delta, int depth) override;
    bool Holds(const TPDFObject* object) const override;

    TPDFDictionary* StreamDict() const { return StreamDict_; }
    // Releases the current dictionary through the store and takes `dictionary`.
    void SetDictionary(TPDFDictionary* dictionary);
    // The stored (still encoded) bytes.
    std::string_view Data() const { return Data_.View(); }
    const ByteSlice& DataSlice() const { return Data_; }
    // Stores the bytes and keeps "Length" equal to their count.
    void SetRawData(std::string bytes);
    void SetRawData(ByteSlice bytes);
    // compress: Flate-encodes and sets "Filter" /FlateDecode; otherwise stores as is and
    // removes "Filter". "DecodeParms" is left alone.
    void SetData(std::string bytes, bool compress);
    // Data run through the stream's filter chain (stream_filters.cpp).
    std::string GetDecodedData() const;
    // Sets the bytes without touching the dictionary or the modified flag (loaders).
    void LoadData(ByteSlice bytes) { Data_ = std::move(bytes); }

    TStreamAttachment* AttachedObject = nullptr;

  protected:
    void ReleaseContents(int depth) override;

  private:
    friend class TPDFStructure;
    explicit TPDFStream(TPDFStructure* store) : TPDFObject(store, kKind) {}
    void SetLength(size_t length);

    TPDFDictionary* StreamDict_ = nullptr;
    ByteSlice Data_;
};

class TPDFIndRef : public TPDFObject {
  public:
    static constexpr char kKind = 'I';
    void AppendTextAt(std::string& out, int depth) const override;
    void ShiftReferencesAt(int32_t delta, int depth) override { TargetNumber += delta; }
    // The referenced object through the store's OnResolveReference, or nullptr.
    TPDFObject* Resolve();
    int32_t TargetGeneration = 0;
    int32_t TargetNumber = 0;

  private:
    friend class TPDFStructure;
    explicit TPDFIndRef(TPDFStructure* store) : TPDFObject(store, kKind) {}
};

// The object itself, or what it refers to when it is a reference.
TPDFObject* ResolveIfReference(TPDFObject* object);

}  // namespace verava
