#include "merge/tree_entries.h"

#include <unordered_set>

#include "merge/smart_pdf_document.h"

namespace verava {

TPDFObject* FollowIn(TSmartPDFDocument& document, TPDFObject* value) {
    if (auto* ref = As<TPDFIndRef>(value)) return document.GetObject(ref->TargetNumber);
    return value;
}

std::vector<TTreeEntry> TreeEntries(TSmartPDFDocument& document, TPDFObject* root,
                                    std::string_view leafKey) {
    std::vector<TTreeEntry> entries;
    // Numbers of the nodes, leaf arrays and kids arrays entered: each is read once, however
    // many nodes name it.
    std::unordered_set<int32_t> visited;
    auto enter = [&](TPDFObject* value) -> TPDFObject* {
        auto* ref = As<TPDFIndRef>(value);
        if (ref != nullptr && !visited.insert(ref->TargetNumber).second) return nullptr;
        return FollowIn(document, value);
    };
    // Kids are taken from the back of the stack, so they are pushed last to first.
    std::vector<std::pair<TPDFObject*, int>> stack{{root, 0}};
    int pushed = 1;
    while (!stack.empty()) {
        auto [value, depth] = stack.back();
        stack.pop_back();
        auto* node = As<TPDFDictionary>(enter(value));
        if (node == nullptr) continue;
        if (auto* leaves = As<TPDFArray>(enter(node->GetValue(leafKey)))) {
            for (int32_t k = 0; k + 1 < leaves->Count(); k += 2)
                entries.emplace_back(leaves->Get(k), leaves->Get(k + 1));
        }
        auto* kids = As<TPDFArray>(enter(node->GetValue("Kids")));
        if (kids == nullptr || depth >= kMaxTreeDepth) continue;
        for (int32_t k = kids->Count(); k-- > 0 && pushed < TSmartPDFDocument::kMaxWalk; ++pushed) {
            stack.emplace_back(kids->Get(k), depth + 1);
        }
    }
    return entries;
}

}  // namespace verava
