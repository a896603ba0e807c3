// The interactive form of a document (the catalog's AcroForm dictionary, ISO 32000-1,
// 12.7.2) read into one TPDFField record per field dictionary of the field tree.
//   << /Fields [7 0 R 9 0 R] /CO [9 0 R] /DR << /Font << /Helv 5 0 R >> >> >>
// Loading makes sure the dictionary has Fields, CO and DR and takes Parent out of every
// top-level field; nothing else it visits is changed.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

#include "objects/pdf_object.h"
#include "objects/pdf_structure.h"
#include "structure/pdf_field.h"

namespace verava {

class TPDFForm {
  public:
    // Fields nested deeper than this below a top-level field get no record.
    static constexpr int32_t kMaxFieldDepth = 1024;

    TPDFForm() = default;
    TPDFForm(const TPDFForm&) = delete;
    TPDFForm& operator=(const TPDFForm&) = delete;

    void LoadAcroForm(TPDFDictionary* acroForm);
    // Records the field `reference` leads to and, unless its kids are its widgets or
    // options, its kid fields. A field dictionary already recorded by this form is not
    // recorded again, so Kids that lead back into the tree end the walk there.
    void AddField(TPDFField* parent, TPDFIndRef* reference);

    int32_t FieldCount() const { return static_cast<int32_t>(fields_.size()); }
    TPDFField* Field(int32_t index) const;
    // The object itself, or what it refers to through OnResolveObject or else its store.
    TPDFObject* Resolve(TPDFObject* object) const;

    TPDFStructure* Owner() const { return owner_; }
    TPDFDictionary* FormDict() const { return formDict_; }
    TPDFArray* FieldsArray() const { return fieldsArray_; }
    TPDFArray* CalculationOrder() const { return calculationOrder_; }
    TPDFDictionary* Resources() const { return resources_; }

    TPDFField::ResolveObjectEvent OnResolveObject;

  private:
    TPDFStructure* owner_ = nullptr;
    TPDFDictionary* formDict_ = nullptr;
    TPDFArray* fieldsArray_ = nullptr;
    TPDFArray* calculationOrder_ = nullptr;
    TPDFDictionary* resources_ = nullptr;
    std::vector<std::unique_ptr<TPDFField>> fields_;
    std::unordered_set<const TPDFDictionary*> recorded_;
    std::unordered_set<int32_t> recordedNumbers_;  // the same fields by object number
};

}  // namespace verava
