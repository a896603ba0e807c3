#include "objects/pdf_structure.h"

#include "objects/stream_filters.h"

namespace verava {
namespace {

// The pooled key names, each between brackets, searched as one string.
constexpr std::string_view kPooledNames =
    "[MediaBox][Length][CropBox][Type][Subtype][Name][Pages][Page][Parent][Font][Contents]"
    "[BaseFont][PDF][Text][ImageB][ImageC][ImageI][Resources][ProcSet][ExtGState][Type1]"
    "[TrueType][WinAnsiEncoding][Filter][FlateDecode][Annot][URI][Goto][XYZ][Tolm][Brannock]";

}  // namespace

TPDFStructure::TPDFStructure() { Clear(); }

TPDFStructure::~TPDFStructure() { FreeAll(); }

void TPDFStructure::FreeAll() {
    const int32_t live = ObjectCount();
    for (int32_t i = 0; i < live; ++i) {
        delete slots_[i];
        slots_[i] = nullptr;
    }
    slots_.clear();
    Spare = 0;
    pooled_.clear();
}

void TPDFStructure::Clear() {
    NumberDecimals = 4;
    highestReference_ = 0;
    FreeAll();
}

void TPDFStructure::ReserveSlots(int32_t count) {
    if (Spare < count) {
        slots_.resize(slots_.size() + static_cast<size_t>(count - Spare), nullptr);
        Spare = count;
    }
}

void TPDFStructure::Adopt(TPDFObject* object) {
    if (Spare < 100) ReserveSlots(1000);
    slots_[slots_.size() - Spare] = object;
    --Spare;
}

template <typename T>
T* TPDFStructure::Make() {
    T* object = new T(this);
    Adopt(object);
    return object;
}

const TPDFObject* TPDFStructure::ObjectAt(int32_t index) const {
    return index >= 0 && index < ObjectCount() ? slots_[index] : nullptr;
}

bool TPDFStructure::CanFree(const TPDFObject* object) const {
    if (object == nullptr || object->Store() != this) return false;
    if (const auto* name = As<TPDFName>(object); name != nullptr && name->Shared) return false;
    const int32_t live = ObjectCount();
    for (int32_t i = 0; i < live; ++i) {
        if (slots_[i]->Holds(object)) return false;
    }
    return true;
}

void TPDFStructure::ReleaseObject(TPDFObject* object) {
    const int32_t live = ObjectCount();
    int32_t found = -1;
    for (int32_t i = live - 1; i >= 0; --i) {
        if (slots_[i] == object) {
            found = i;
            break;
        }
    }
    if (found >= 0) {
        if (const auto* name = As<TPDFName>(object); name != nullptr && name->Shared) found = -1;
    }
    // The holder scan is made even when the object was not found here.
    for (int32_t i = 0; i < live; ++i) {
        if (slots_[i]->Holds(object)) {
            found = -1;
            break;
        }
    }
    if (found < 0) return;
    delete slots_[found];
    for (int32_t i = found; i < live - 1; ++i) slots_[i] = slots_[i + 1];
    slots_[live - 1] = nullptr;
    ++Spare;
}

TPDFNull* TPDFStructure::NewNull() { return Make<TPDFNull>(); }

TPDFBoolean* TPDFStructure::NewBoolean(bool truth) {
    auto* b = Make<TPDFBoolean>();
    b->Truth = truth;
    return b;
}

TPDFNumeric* TPDFStructure::NewNumeric(double value) {
    auto* n = Make<TPDFNumeric>();
    n->NumValue = value;
    return n;
}

TPDFName* TPDFStructure::NewName(std::string text) {
    auto* n = Make<TPDFName>();
    n->Text = std::move(text);
    return n;
}

TPDFString* TPDFStructure::NewString(std::string bytes, bool hexForm) {
    auto* s = Make<TPDFString>();
    s->Bytes = std::move(bytes);
    s->HexForm = hexForm;
    return s;
}

TPDFArray* TPDFStructure::NewArray() { return Make<TPDFArray>(); }

TPDFDictionary* TPDFStructure::NewDictionary() { return Make<TPDFDictionary>(); }

TPDFIndRef* TPDFStructure::NewIndRef(int32_t targetNumber, int32_t targetGeneration) {
    auto* r = Make<TPDFIndRef>();
    if (targetNumber > highestReference_) highestReference_ = targetNumber;
    r->TargetNumber = targetNumber;
    r->TargetGeneration = targetGeneration;
    return r;
}

TPDFStream* TPDFStructure::NewStream(std::string bytes, bool compress) {
    auto* s = Make<TPDFStream>();
    s->StreamDict_ = NewDictionary();
    s->SetData(std::move(bytes), compress);
    return s;
}

TPDFStream* TPDFStructure::NewStreamWith(TPDFDictionary* dictionary, ByteSlice bytes) {
    auto* s = Make<TPDFStream>();
    s->StreamDict_ = dictionary != nullptr ? dictionary : NewDictionary();
    s->Data_ = std::move(bytes);
    return s;
}

TPDFArray* TPDFStructure::NewRefArray(const std::vector<std::pair<int32_t, int32_t>>& references,
                                      int32_t lastIndex) {
    TPDFArray* a = NewArray();
    for (int32_t i = 0; i <= lastIndex && i < static_cast<int32_t>(references.size()); ++i) {
        a->Add(NewIndRef(references[i].first, references[i].second));
    }
    return a;
}

TPDFArray* TPDFStructure::NewIntegerArray(const std::vector<int32_t>& integers, int32_t lastIndex) {
    TPDFArray* a = NewArray();
    for (int32_t i = 0; i <= lastIndex && i < static_cast<int32_t>(integers.size()); ++i) {
        a->Add(NewNumeric(integers[i]));
    }
    return a;
}

TPDFArray* TPDFStructure::NewRealArray(const std::vector<double>& reals, int32_t lastIndex) {
    TPDFArray* a = NewArray();
    for (int32_t i = 0; i <= lastIndex && i < static_cast<int32_t>(reals.size()); ++i) {
        a->Add(NewNumeric(reals[i]));
    }
    return a;
}

TPDFName* TPDFStructure::FindName(std::string_view text) const {
    const int32_t live = ObjectCount();
    for (int32_t i = 0; i < live; ++i) {
        if (const auto* name = As<TPDFName>(slots_[i]); name != nullptr && name->Text == text) {
            return const_cast<TPDFName*>(name);
        }
    }
    return nullptr;
}

bool TPDFStructure::IsPooledName(std::string_view text) {
    std::string bracketed;
    bracketed.reserve(text.size() + 2);
    bracketed.push_back('[');
    bracketed.append(text);
    bracketed.push_back(']');
    return kPooledNames.find(bracketed) != std::string_view::npos;
}

TPDFName* TPDFStructure::CommonName(std::string_view text) {
    TPDFName* name = nullptr;
    if (IsPooledName(text)) {
        auto it = pooled_.find(std::string(text));
        if (it != pooled_.end()) return it->second;
        name = FindName(text);
        if (name == nullptr) name = NewName(std::string(text));
        pooled_.emplace(std::string(text), name);
    } else {
        name = NewName(std::string(text));
    }
    name->Shared = true;
    return name;
}

TPDFObject* TPDFStructure::ParseText(std::string_view text) {
    size_t consumed = 0;
    return Parse(text, 0, consumed);
}

}  // namespace verava
