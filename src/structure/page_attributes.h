// The attributes a page takes from the page tree nodes above it when it has none of its own
// (ISO 32000-1, 7.7.3.4), and the kind each must be. A value of another kind counts as none,
// as readers take it, and the nearest one of the right kind up the Parent chain is inherited.
//   3 0 obj << /Type /Pages /Kids [4 0 R] /Count 1 /MediaBox [0 0 595 842] /Resources 9 0 R >>
//   4 0 obj << /Type /Page /Parent 3 0 R /Contents 5 0 R >>   % inherits both
// The loader's page tree, the merge (which reads files its own way) and the blank-page judge
// all walk up by this one rule.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "objects/pdf_object.h"

namespace verava {

inline constexpr std::array<std::string_view, 4> kInheritedAttributes = {"Resources", "MediaBox",
                                                                         "CropBox", "Rotate"};

// Whether `value` (resolved) is of the kind the inheritable attribute `key` must be.
bool OfInheritedKind(std::string_view key, const TPDFObject* value);

// How a walk up the tree reads the file. Empty members read through the objects' own store.
struct TPageTreeReading {
    std::function<TPDFObject*(TPDFObject*)> resolve;                 // a value's target
    std::function<TPDFDictionary*(const TPDFDictionary*)> parentOf;  // a node's Parent, or null
};

// The page's own value of the attribute `key`, or the nearest ancestor's, of the right kind
// and as written there (a reference stays a reference); null when no node holds one. A node
// met twice, or nesting beyond TPDFObject::kMaxWalkDepth, ends the walk.
TPDFObject* NearestInherited(const TPDFDictionary* page, std::string_view key,
                             const TPageTreeReading& reading = {});

// The page holds a value of its own for the attribute, of the right kind.
bool HasOwnAttribute(const TPDFDictionary* page, std::string_view key,
                     const TPageTreeReading& reading = {});

// A value for another holder: a new reference to the same object, or a copy of a direct
// value (containers never share what they hold). Null when it cannot be written.
TPDFObject* CopyForHolder(TPDFStructure& store, TPDFObject* value);

// A page's Rotate (resolved; null for none) turned clockwise by `degrees` more: 0, 90, 180
// or 270. A Rotate that is no multiple of 90 is no rotation readers agree on, so it counts
// as 0 (ISO 32000-1, 7.7.3.3).
int32_t TurnedRotation(const TPDFObject* rotate, int32_t degrees);

// Gives the page its own Resources, MediaBox, CropBox and Rotate where it only inherited
// them. A value held by reference stays a reference to the same object (an indirect object,
// a stream above all, is never written inside another); a direct one is copied, so no two
// holders share it.
void OwnInheritedAttributes(TPDFDictionary* page);

}  // namespace verava
