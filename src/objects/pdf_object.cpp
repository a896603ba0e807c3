#include "objects/pdf_object.h"

#include "objects/number_text.h"
#include "objects/pdf_structure.h"
#include "objects/pdf_text.h"
#include "objects/stream_filters.h"

namespace verava {

std::string TPDFObject::ToText() const {
    std::string out;
    AppendText(out);
    return out;
}

void TPDFObject::Release() {
    ReleaseContents(0);
    store_->ReleaseObject(this);
}

void TPDFObject::MarkIndirect(int32_t objectNumber, int32_t generationNumber) {
    ObjectNumber = objectNumber;
    GenerationNumber = generationNumber;
    Indirect = true;
}

void TPDFObject::ReleaseHeldChild(TPDFObject* child, int depth) const {
    if (child == nullptr) return;
    child->ReleaseContents(depth + 1);
    // A live holder in the child's own store always keeps it, so only a child from another
    // store can be freed here; skipping the holder scan keeps page moves linear.
    if (child->store_ != store_) child->store_->ReleaseObject(child);
}

TPDFObject* ResolveIfReference(TPDFObject* object) {
    if (auto* ref = As<TPDFIndRef>(object)) return ref->Resolve();
    return object;
}

// ---- numbers, strings

int32_t TPDFNumeric::AsInteger() const { return RoundToInt32(NumValue); }

std::u16string TPDFString::GetUnicode() const { return PdfTextToUnicode(Bytes); }

// ---- arrays

bool TPDFArray::IsModifiedAt(int depth) const {
    if (Modified || depth >= kMaxWalkDepth) return true;
    for (const TPDFObject* item : Elements) {
        if (item != nullptr && IsModifiedOf(item, depth + 1)) return true;
    }
    return false;
}

void TPDFArray::ShiftReferencesAt(int32_t delta, int depth) {
    if (Elements.empty() || depth >= kMaxWalkDepth) return;
    for (TPDFObject* item : Elements) {
        if (item != nullptr) ShiftReferencesOf(item, delta, depth + 1);
    }
    Modified = true;
}

bool TPDFArray::Holds(const TPDFObject* object) const {
    for (const TPDFObject* item : Elements) {
        if (item == object) return true;
    }
    return false;
}

TPDFObject* TPDFArray::Get(int32_t index) const {
    return index >= 0 && index < Count() ? Elements[index] : nullptr;
}

void TPDFArray::Add(TPDFObject* object) {
    if (spare_ > 0) --spare_;
    Elements.push_back(object);
    Modified = true;
}

void TPDFArray::Insert(int32_t index, TPDFObject* object) {
    if (index < 0 || index > Count()) return;
    if (spare_ > 0) --spare_;
    Elements.insert(Elements.begin() + index, object);
    Modified = true;
}

void TPDFArray::Delete(int32_t index) {
    if (index < 0 || index >= Count()) return;
    TPDFObject* item = Elements[index];
    if (item != nullptr && item->Store() != Store()) item->Store()->ReleaseObject(item);
    Elements.erase(Elements.begin() + index);
    ++spare_;
    Modified = true;
}

int32_t TPDFArray::IndexOfSameText(const TPDFObject* object) const {
    // References compare by number and generation: same result as comparing their text
    // ("12 0 R"), without serialising every item of a large Kids array on each page move.
    if (const auto* ref = As<TPDFIndRef>(object)) {
        for (int32_t i = 0; i < Count(); ++i) {
            const auto* item = As<TPDFIndRef>(Elements[i]);
            if (item != nullptr && item->TargetNumber == ref->TargetNumber &&
                item->TargetGeneration == ref->TargetGeneration) {
                return i;
            }
        }
        return -1;
    }
    const std::string text = object->ToText();
    for (int32_t i = 0; i < Count(); ++i) {
        if (Elements[i] != nullptr && Elements[i]->ToText() == text) return i;
    }
    return -1;
}

void TPDFArray::Remove(const TPDFObject* object, bool byText) {
    if (object == nullptr) return;
    int32_t index = -1;
    if (byText) {
        index = IndexOfSameText(object);
    } else {
        for (int32_t i = 0; i < Count(); ++i) {
            if (Elements[i] == object) {
                index = i;
                break;
            }
        }
    }
    if (index >= 0) Delete(index);
}

int32_t TPDFArray::IndexOfText(const TPDFObject* object) const {
    return object == nullptr ? -1 : IndexOfSameText(object);
}

void TPDFArray::Replace(int32_t index, TPDFObject* object) {
    if (index < 0 || index >= Count()) return;
    TPDFObject* old = Elements[index];
    if (old != nullptr && old->Store() != Store()) old->Store()->ReleaseObject(old);
    Elements[index] = object;
    Modified = true;
}

void TPDFArray::Reserve(int32_t count) {
    if (spare_ < count) {
        Elements.reserve(Elements.size() + static_cast<size_t>(count));
        spare_ = count;
    }
}

void TPDFArray::ReleaseContents(int depth) {
    for (TPDFObject* item : Elements) {
        if (item != nullptr && item->Store() != Store()) item->Store()->ReleaseObject(item);
    }
    Modified = true;
}

// ---- dictionaries

bool TPDFDictionary::IsModifiedAt(int depth) const {
    if (Modified || depth >= kMaxWalkDepth) return true;
    for (const Entry& e : Pairs) {
        if (e.second != nullptr && IsModifiedOf(e.second, depth + 1)) return true;
    }
    return false;
}

void TPDFDictionary::ShiftReferencesAt(int32_t delta, int depth) {
    if (depth >= kMaxWalkDepth) return;
    for (Entry& e : Pairs) {
        if (e.second != nullptr) ShiftReferencesOf(e.second, delta, depth + 1);
    }
    Modified = true;
}

bool TPDFDictionary::Holds(const TPDFObject* object) const {
    for (const Entry& e : Pairs) {
        if (e.first == object || e.second == object) return true;
    }
    return false;
}

int32_t TPDFDictionary::IndexOf(std::string_view name) const {
    if (Pairs.size() > kIndexedFrom) {
        // Large dictionaries (hostile ones hold 100000 keys) are searched by a key index,
        // so that reading one stays linear; it holds the first entry of each key.
        if (keyIndex_.empty()) {
            for (size_t i = Pairs.size(); i-- > 0;) {
                if (Pairs[i].first != nullptr)
                    keyIndex_[Pairs[i].first->Text] = static_cast<int32_t>(i);
            }
        }
        auto it = keyIndex_.find(std::string(name));
        return it == keyIndex_.end() ? -1 : it->second;
    }
    for (size_t i = 0; i < Pairs.size(); ++i) {
        if (Pairs[i].first != nullptr && Pairs[i].first->Text == name) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

int32_t TPDFDictionary::AddEntry(TPDFName* key, TPDFObject* value) {
    Modified = true;
    const int32_t index = key != nullptr ? IndexOf(key->Text) : -1;
    if (index >= 0) {
        Pairs[index] = Entry(key, value);
        keyIndex_.clear();
        return index;
    }
    Pairs.emplace_back(key, value);
    if (!keyIndex_.empty() && key != nullptr) {
        keyIndex_.emplace(key->Text, static_cast<int32_t>(Pairs.size() - 1));
    }
    return -1;
}

void TPDFDictionary::SetValue(std::string_view name, TPDFObject* value) {
    if (value != this) AddEntry(Store()->CommonName(name), value);
    Modified = true;
}

TPDFObject* TPDFDictionary::GetValue(std::string_view name, bool resolve) const {
    const int32_t index = IndexOf(name);
    if (index < 0) return nullptr;
    TPDFObject* value = Pairs[index].second;
    return resolve ? ResolveIfReference(value) : value;
}

int32_t TPDFDictionary::GetInteger(std::string_view name, int32_t defaultValue) const {
    if (const auto* n = As<TPDFNumeric>(GetValue(name, true))) return n->AsInteger();
    return defaultValue;
}

std::string TPDFDictionary::GetType() const {
    if (const auto* n = As<TPDFName>(GetValue("Type", false))) return n->Text;
    return {};
}

void TPDFDictionary::RemoveKey(std::string_view name) {
    const int32_t index = IndexOf(name);
    if (index < 0) return;
    Pairs.erase(Pairs.begin() + index);
    keyIndex_.clear();
    Modified = true;
}

void TPDFDictionary::DeleteKey(std::string_view name) {
    const int32_t index = IndexOf(name);
    if (index < 0) return;
    TPDFObject* value = Pairs[index].second;
    if (As<TPDFDictionary>(value) != nullptr || As<TPDFArray>(value) != nullptr) {
        ReleaseHeldChild(value, 0);
    }
    if (!TPDFStructure::IsPooledName(name)) ReleaseHeldChild(Pairs[index].first, 0);
    RemoveKey(name);
}

void TPDFDictionary::ClearEntries() {
    for (Entry& e : Pairs) {
        // Released while still held: the store keeps them (see ReleaseHeldChild).
        if (e.first != nullptr && e.first->Store() != Store())
            e.first->Store()->ReleaseObject(e.first);
        if (e.second != nullptr && e.second->Store() != Store()) {
            e.second->Store()->ReleaseObject(e.second);
        }
    }
    Pairs.clear();
    keyIndex_.clear();
    Modified = true;
}

TPDFDictionary::Entry TPDFDictionary::EntryAt(int32_t index) const {
    if (index < 0 || index >= EntryCount()) return Entry(nullptr, nullptr);
    return Pairs[index];
}

void TPDFDictionary::Assign(const TPDFDictionary& other) {
    if (&other == this) {
        Modified = true;
        return;
    }
    if (other.Store() == Store()) {
        Pairs = other.Pairs;
        keyIndex_.clear();
        Modified = true;
        return;
    }
    // Across stores the entries are rebuilt from text so every object belongs to this store.
    if (auto* copy = As<TPDFDictionary>(Store()->ParseText(other.ToText()))) {
        Pairs = copy->Pairs;
        keyIndex_.clear();
    }
    Modified = true;
}

void TPDFDictionary::ReleaseContents(int depth) {
    if (depth >= kMaxWalkDepth) return;
    for (Entry& e : Pairs) {
        ReleaseHeldChild(e.first, depth);
        ReleaseHeldChild(e.second, depth);
    }
    Modified = true;
}

// ---- streams

void TPDFStream::ReleaseContents(int depth) {
    // The stream itself stays (its holder keeps it), so its dictionary must stay too.
    if (StreamDict_ != nullptr) ReleaseContentsOf(StreamDict_, depth + 1);
}

void TPDFStream::Release() {
    // The dictionary is freed only together with the stream: freeing it under a stream that
    // something still holds would leave the stream pointing at nothing.
    if (Store()->CanFree(this)) {
        if (StreamDict_ != nullptr) StreamDict_->Release();
        Store()->ReleaseObject(this);
    } else if (StreamDict_ != nullptr) {
        ReleaseContentsOf(StreamDict_, 1);
    }
}

void TPDFStream::ShiftReferencesAt(int32_t delta, int depth) {
    if (StreamDict_ != nullptr) ShiftReferencesOf(StreamDict_, delta, depth + 1);
    Modified = true;
}

bool TPDFStream::Holds(const TPDFObject* object) const {
    return StreamDict_ != nullptr && StreamDict_->Holds(object);
}

void TPDFStream::SetDictionary(TPDFDictionary* dictionary) {
    TPDFDictionary* old = StreamDict_;
    StreamDict_ = dictionary;
    if (old != nullptr && old != dictionary) old->Release();
    Modified = true;
}

void TPDFStream::SetLength(size_t length) {
    if (StreamDict_ == nullptr) StreamDict_ = Store()->NewDictionary();
    if (auto* n = As<TPDFNumeric>(StreamDict_->GetValue("Length", false))) {
        n->SetValue(static_cast<double>(length));
    } else {
        StreamDict_->SetValue("Length", Store()->NewNumeric(static_cast<double>(length)));
    }
}

void TPDFStream::SetRawData(std::string bytes) { SetRawData(ByteSlice(std::move(bytes))); }

void TPDFStream::SetRawData(ByteSlice bytes) {
    Data_ = std::move(bytes);
    SetLength(Data_.size());
    Modified = true;
}

void TPDFStream::SetData(std::string bytes, bool compress) {
    if (compress) {
        SetRawData(FlateEncode(bytes));
        StreamDict_->DeleteKey("Filter");
        StreamDict_->SetValue("Filter", Store()->NewName("FlateDecode"));
    } else {
        SetRawData(std::move(bytes));
        StreamDict_->DeleteKey("Filter");
    }
    Modified = true;
}

std::string TPDFStream::GetDecodedData() const {
    return DecodeStreamData(*this, Store()->DecodeLimit);
}

// ---- references

TPDFObject* TPDFIndRef::Resolve() {
    const auto& resolver = Store()->OnResolveReference;
    if (!resolver) return nullptr;
    return resolver(this, TargetNumber, TargetGeneration);
}

}  // namespace verava
