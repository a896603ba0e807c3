// One record per field dictionary of an interactive form (ISO 32000-1, 12.7.3): the field,
// its widget annotation (the field itself, or its only kid when that is a pure widget) and
// its type, with FT and Ff inherited along Parent.
//   7 0 obj << /FT /Tx /T (name) /Kids [8 0 R] >> endobj
//   8 0 obj << /Type /Annot /Subtype /Widget /Parent 7 0 R /Rect [0 0 100 20] >> endobj
#pragma once

#include <cstdint>
#include <functional>

#include "objects/pdf_object.h"
#include "objects/pdf_structure.h"

namespace verava {

class TPDFForm;

class TPDFField {
  public:
    // Given a reference, the object it refers to (or null).
    using ResolveObjectEvent = std::function<TPDFObject*(TPDFIndRef* reference)>;

    // Type codes.
    static constexpr uint8_t kTypeOther = 0;
    static constexpr uint8_t kTypeText = 1;
    static constexpr uint8_t kTypePushButton = 2;
    static constexpr uint8_t kTypeCheckBox = 3;
    static constexpr uint8_t kTypeRadioGroup = 4;
    static constexpr uint8_t kTypeChoice = 5;
    static constexpr uint8_t kTypeSignature = 6;
    // Reported instead of kTypeOther or kTypeText for a field with kid fields.
    static constexpr uint8_t kTypeWithKids = 7;

    // Button field flags (Ff, ISO 32000-1, Table 226).
    static constexpr int32_t kFlagRadio = 0x8000;
    static constexpr int32_t kFlagPushButton = 0x10000;

    // Fills the record from the field dictionary `reference` refers to; with a null
    // reference, or one not leading to a dictionary, the record stays empty.
    void LoadField(TPDFIndRef* reference);
    // The type code, classified on first use and then kept; kTypeWithKids replaces
    // kTypeOther and kTypeText whenever HasKidFields is set.
    uint8_t FieldTypeOf();

    TPDFStructure* Owner = nullptr;
    TPDFDictionary* FieldDict = nullptr;
    TPDFIndRef* FieldRef = nullptr;
    TPDFDictionary* AnnotDict = nullptr;
    TPDFIndRef* AnnotRef = nullptr;
    bool OwnWidget = false;
    uint8_t TypeCode = kTypeOther;
    bool HasKidFields = false;
    // When empty, references resolve through their store.
    ResolveObjectEvent OnResolveObject;
    TPDFForm* Form = nullptr;
    TPDFField* ParentField = nullptr;

  private:
    friend class TPDFForm;

    TPDFObject* Resolve(TPDFObject* object) const;
    // The value of `key` in the field dictionary or, when absent there, in the nearest
    // ancestor along Parent that has it; resolved.
    TPDFObject* Inherited(std::string_view key) const;
    uint8_t Classify();
    // Applies the button flags; sets HasKidFields for a radio group with a Kids key.
    uint8_t ButtonType(int32_t flags);

    bool classified_ = false;
    int32_t depth_ = 0;  // levels below a top-level field
};

}  // namespace verava
