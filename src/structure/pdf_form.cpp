#include "structure/pdf_form.h"

namespace verava {

TPDFField* TPDFForm::Field(int32_t index) const {
    return index >= 0 && index < FieldCount() ? fields_[static_cast<size_t>(index)].get() : nullptr;
}

TPDFObject* TPDFForm::Resolve(TPDFObject* object) const {
    auto* ref = As<TPDFIndRef>(object);
    if (ref == nullptr) return object;
    return OnResolveObject ? OnResolveObject(ref) : ref->Resolve();
}

void TPDFForm::LoadAcroForm(TPDFDictionary* acroForm) {
    formDict_ = acroForm;
    if (acroForm == nullptr) return;
    owner_ = acroForm->Store();

    // Fields is tested for presence before resolving: a Fields reference that does not
    // resolve stays in place. CO and DR are tested after resolving.
    if (acroForm->IndexOf("Fields") < 0) acroForm->SetValue("Fields", owner_->NewArray());
    if (auto* fields = As<TPDFArray>(Resolve(acroForm->GetValue("Fields")))) {
        fieldsArray_ = fields;
        fields_.clear();
        recorded_.clear();
        recordedNumbers_.clear();
        for (int32_t i = 0; i < fields->Count(); ++i) {
            if (auto* ref = As<TPDFIndRef>(fields->Get(i))) AddField(nullptr, ref);
        }
    }

    TPDFObject* order = Resolve(acroForm->GetValue("CO"));
    if (order == nullptr) {
        order = owner_->NewArray();
        acroForm->SetValue("CO", order);
    }
    if (auto* array = As<TPDFArray>(order)) calculationOrder_ = array;

    TPDFObject* resources = Resolve(acroForm->GetValue("DR"));
    if (resources == nullptr) {
        resources = owner_->NewDictionary();
        acroForm->SetValue("DR", resources);
    }
    if (auto* dict = As<TPDFDictionary>(resources)) resources_ = dict;
}

void TPDFForm::AddField(TPDFField* parent, TPDFIndRef* reference) {
    auto* dict = As<TPDFDictionary>(Resolve(reference));
    if (dict == nullptr) return;
    const int32_t depth = parent != nullptr ? parent->depth_ + 1 : 0;
    // Kids that lead back to a recorded field, or a chain deeper than any real form, end
    // the walk: hostile trees must neither loop nor exhaust the stack. Fields are known by
    // object number, since a resolver may hand out a new object for a number met again.
    if (depth > kMaxFieldDepth || !recorded_.insert(dict).second ||
        !recordedNumbers_.insert(reference->TargetNumber).second) {
        return;
    }

    fields_.push_back(std::make_unique<TPDFField>());
    TPDFField* field = fields_.back().get();
    field->OnResolveObject = OnResolveObject;
    field->LoadField(reference);
    field->Form = this;
    field->ParentField = parent;
    field->depth_ = depth;
    // Top-level fields have no parent field (ISO 32000-1, 12.7.3.1).
    if (parent == nullptr) field->FieldDict->RemoveKey("Parent");

    // The kids of check boxes and radio groups are their widgets, and a field whose only
    // kid is its widget has no kid fields.
    const uint8_t type = field->FieldTypeOf();
    if (type == TPDFField::kTypeCheckBox || type == TPDFField::kTypeRadioGroup) return;
    if (!field->OwnWidget) return;
    auto* kids = As<TPDFArray>(Resolve(field->FieldDict->GetValue("Kids")));
    if (kids == nullptr) return;
    field->HasKidFields = true;
    for (int32_t i = 0; i < kids->Count(); ++i) {
        if (auto* ref = As<TPDFIndRef>(kids->Get(i))) AddField(field, ref);
    }
}

}  // namespace verava
