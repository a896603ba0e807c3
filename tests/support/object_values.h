// Plain values out of parsed objects, for comparing them in tests: -1 stands for an item of
// another kind.
#pragma once

#include <cstdint>
#include <vector>

#include "objects/pdf_object.h"

namespace verava::testing {

inline int32_t RefNumber(const TPDFObject* object) {
    const auto* ref = As<TPDFIndRef>(object);
    return ref != nullptr ? ref->TargetNumber : -1;
}

inline double Number(const TPDFObject* object) {
    const auto* n = As<TPDFNumeric>(object);
    return n != nullptr ? n->NumValue : -1;
}

// The object numbers the references of an array point to.
inline std::vector<int32_t> RefNumbers(const TPDFObject* object) {
    std::vector<int32_t> out;
    if (const auto* array = As<TPDFArray>(object)) {
        for (const TPDFObject* item : array->Items()) out.push_back(RefNumber(item));
    }
    return out;
}

// The values of an array's numbers.
inline std::vector<double> Numbers(const TPDFObject* object) {
    std::vector<double> out;
    if (const auto* array = As<TPDFArray>(object)) {
        for (const TPDFObject* item : array->Items()) out.push_back(Number(item));
    }
    return out;
}

}  // namespace verava::testing
