#include "structure/page_attributes.h"

#include <unordered_set>

#include "objects/number_text.h"
#include "objects/pdf_structure.h"

namespace verava {
namespace {

TPDFObject* Resolved(TPDFObject* value, const TPageTreeReading& reading) {
    return reading.resolve ? reading.resolve(value) : ResolveIfReference(value);
}

TPDFDictionary* ParentOf(const TPDFDictionary* node, const TPageTreeReading& reading) {
    if (reading.parentOf) return reading.parentOf(node);
    return As<TPDFDictionary>(node->GetValue("Parent", true));
}

}  // namespace

bool OfInheritedKind(std::string_view key, const TPDFObject* value) {
    if (key == "Resources") return As<TPDFDictionary>(value) != nullptr;
    if (key == "Rotate") return As<TPDFNumeric>(value) != nullptr;
    return As<TPDFArray>(value) != nullptr;  // MediaBox, CropBox
}

TPDFObject* NearestInherited(const TPDFDictionary* page, std::string_view key,
                             const TPageTreeReading& reading) {
    std::unordered_set<const TPDFDictionary*> visited;
    for (const TPDFDictionary* node = page;
         node != nullptr && visited.size() <= static_cast<size_t>(TPDFObject::kMaxWalkDepth) &&
         visited.insert(node).second;
         node = ParentOf(node, reading)) {
        TPDFObject* value = node->GetValue(key, false);
        if (value != nullptr && OfInheritedKind(key, Resolved(value, reading))) return value;
    }
    return nullptr;
}

bool HasOwnAttribute(const TPDFDictionary* page, std::string_view key,
                     const TPageTreeReading& reading) {
    TPDFObject* value = page->GetValue(key, false);
    return value != nullptr && OfInheritedKind(key, Resolved(value, reading));
}

TPDFObject* CopyForHolder(TPDFStructure& store, TPDFObject* value) {
    if (auto* ref = As<TPDFIndRef>(value)) {
        return store.NewIndRef(ref->TargetNumber, ref->TargetGeneration);
    }
    try {
        return store.ParseText(value->ToText());
    } catch (const EInvalidOp&) {
        return nullptr;
    }
}

void OwnInheritedAttributes(TPDFDictionary* page) {
    if (page == nullptr) return;
    for (const std::string_view name : kInheritedAttributes) {
        if (HasOwnAttribute(page, name)) continue;
        if (TPDFObject* inherited = NearestInherited(page, name)) {
            if (TPDFObject* copy = CopyForHolder(*page->Store(), inherited))
                page->SetValue(name, copy);
        }
    }
}

}  // namespace verava
