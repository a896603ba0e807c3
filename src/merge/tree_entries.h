// The leaves of a name tree (ISO 32000-1, 7.9.6) or a number tree (7.9.7) of one merge
// input as one list, in tree order:
//   << /Kids [ 12 0 R ] >>
//   12 0 obj << /Limits [ (a) (b) ] /Names [ (a) [ 3 0 R /Fit ] (b) 14 0 R ] >>
// gives (a, [ 3 0 R /Fit ]) and (b, 14 0 R). Keys and values are the input's objects as they
// are (a value may be a reference); nothing is copied or recorded.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "objects/pdf_object.h"

namespace verava {

class TSmartPDFDocument;

using TTreeEntry = std::pair<TPDFObject*, TPDFObject*>;

// Nodes deeper than this are not entered: real trees are a few levels deep.
constexpr int kMaxTreeDepth = 64;

// The entries of the tree whose root is `root` (a dictionary or a reference to one):
// `leafKey` is "Names" for a name tree, "Nums" for a number tree. A node reached twice (by
// number), nested beyond kMaxTreeDepth or beyond TSmartPDFDocument::kMaxWalk nodes is not
// entered; a leaf array of odd length loses its last key.
std::vector<TTreeEntry> TreeEntries(TSmartPDFDocument& document, TPDFObject* root,
                                    std::string_view leafKey);

// The object a value names when it is a reference, else the value itself.
TPDFObject* FollowIn(TSmartPDFDocument& document, TPDFObject* value);

}  // namespace verava
