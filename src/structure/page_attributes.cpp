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

int32_t TurnedRotation(const TPDFObject* rotate, int32_t degrees) {
    int64_t now = 0;
    if (const auto* number = As<TPDFNumeric>(rotate)) {
        const double value = number->NumValue;
        // Beyond a turn's worth of turns the value means nothing anyone wrote on purpose.
        if (value == static_cast<double>(static_cast<int64_t>(value)) && value > -1e9 &&
            value < 1e9 && static_cast<int64_t>(value) % 90 == 0) {
            now = static_cast<int64_t>(value);
        }
    }
    const int64_t turned = (now + degrees) % 360;
    return static_cast<int32_t>(turned < 0 ? turned + 360 : turned);
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
