#include "structure/pdf_field.h"

#include <unordered_set>

namespace verava {

TPDFObject* TPDFField::Resolve(TPDFObject* object) const {
    auto* ref = As<TPDFIndRef>(object);
    if (ref == nullptr) return object;
    return OnResolveObject ? OnResolveObject(ref) : ref->Resolve();
}

void TPDFField::LoadField(TPDFIndRef* reference) {
    HasKidFields = false;
    TypeCode = kTypeOther;
    classified_ = false;
    if (reference == nullptr) return;
    auto* dict = As<TPDFDictionary>(Resolve(reference));
    if (dict == nullptr) return;
    FieldRef = reference;
    FieldDict = dict;

    // A field with exactly one kid that is a widget and no field of its own keeps its
    // widget there (ISO 32000-1, 12.5.6.19: field and widget are separate objects).
    AnnotRef = reference;
    AnnotDict = dict;
    OwnWidget = true;
    if (const auto* kids = As<TPDFArray>(Resolve(dict->GetValue("Kids", false)))) {
        auto* onlyRef = kids->Count() == 1 ? As<TPDFIndRef>(kids->Get(0)) : nullptr;
        auto* kid = onlyRef != nullptr ? As<TPDFDictionary>(Resolve(onlyRef)) : nullptr;
        const auto* subtype = kid != nullptr ? As<TPDFName>(kid->GetValue("Subtype")) : nullptr;
        if (subtype != nullptr && subtype->Text == "Widget" && kid->IndexOf("FT") < 0) {
            AnnotRef = onlyRef;
            AnnotDict = kid;
            OwnWidget = false;
        }
    }

    Owner = dict->Store();
    FieldTypeOf();
}

TPDFObject* TPDFField::Inherited(std::string_view key) const {
    // Each dictionary once, known by address and, through a reference, by object number (a
    // resolver may hand out a new object for a number met again): a Parent chain that
    // loops back ends where it closes.
    std::unordered_set<const TPDFDictionary*> visited;
    std::unordered_set<int32_t> numbers;
    if (FieldRef != nullptr) numbers.insert(FieldRef->TargetNumber);
    const TPDFDictionary* node = FieldDict;
    while (node != nullptr && visited.insert(node).second) {
        if (node->IndexOf(key) >= 0) return Resolve(node->GetValue(key));
        TPDFObject* parent = node->GetValue("Parent");
        if (const auto* ref = As<TPDFIndRef>(parent);
            ref != nullptr && !numbers.insert(ref->TargetNumber).second) {
            return nullptr;
        }
        node = As<TPDFDictionary>(Resolve(parent));
    }
    return nullptr;
}

uint8_t TPDFField::ButtonType(int32_t flags) {
    if ((flags & kFlagPushButton) != 0) return kTypePushButton;
    if ((flags & kFlagRadio) != 0) {
        if (FieldDict != nullptr && FieldDict->IndexOf("Kids") >= 0) HasKidFields = true;
        return kTypeRadioGroup;
    }
    return kTypeCheckBox;
}

uint8_t TPDFField::Classify() {
    const auto* type = As<TPDFName>(Inherited("FT"));
    if (type == nullptr) return kTypeOther;
    if (type->Text == "Tx") return kTypeText;
    if (type->Text == "Ch") return kTypeChoice;
    if (type->Text == "Sig") return kTypeSignature;
    if (type->Text != "Btn") return kTypeOther;

    const auto* ff = As<TPDFNumeric>(Inherited("Ff"));
    int32_t flags = ff != nullptr ? ff->AsInteger() : 0;
    uint8_t code = ButtonType(flags);
    // A button whose flags say check box may carry the radio or push-button flag on its
    // first kid only; that kid's own Ff decides.
    if (code == kTypeCheckBox && FieldDict->GetValue("Kids", true) != nullptr) {
        HasKidFields = true;
        if (const auto* kids = As<TPDFArray>(FieldDict->GetValue("Kids", true))) {
            if (const auto* first = As<TPDFDictionary>(ResolveIfReference(kids->Get(0)))) {
                if (const auto* kidFlags = As<TPDFNumeric>(first->GetValue("Ff", true))) {
                    flags = kidFlags->AsInteger();
                }
            }
        }
        code = ButtonType(flags);
    }
    return code;
}

uint8_t TPDFField::FieldTypeOf() {
    if (!classified_) {
        TypeCode = Classify();
        classified_ = true;
    }
    if ((TypeCode == kTypeOther || TypeCode == kTypeText) && HasKidFields) return kTypeWithKids;
    return TypeCode;
}

}  // namespace verava
