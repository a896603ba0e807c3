// Page trees for the tests, built as PDF text in an object table, and an independent reader
// that lists the pages of a tree in Kids order while checking every Count and Parent.
// Each page carries "/Tag k" with its original position k, so an order reads as tags.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "structure/object_table.h"

namespace verava::testing {

// Root (object `first`) with `pages` pages directly in its Kids; returns the root number.
inline int32_t BuildFlatTree(TObjectTable& table, int32_t pages, int32_t first = 1) {
    std::string kids;
    for (int32_t k = 1; k <= pages; ++k) {
        const int32_t number = first + k;
        kids += std::to_string(number) + " 0 R ";
        table.AddDict(number, "<< /Type /Page /Parent " + std::to_string(first) + " 0 R /Tag " +
                                  std::to_string(k) + " >>");
    }
    table.AddDict(first,
                  "<< /Type /Pages /Count " + std::to_string(pages) + " /Kids [" + kids + "] >>");
    return first;
}

namespace detail {

// Builds the node for `level` of `fanout` under `parent` (0: none) and returns its number.
inline int32_t BuildNode(TObjectTable& table, const std::vector<int32_t>& fanout, size_t level,
                         int32_t parent, int32_t& nextNumber, int32_t& nextTag) {
    const int32_t number = nextNumber++;
    std::string kids;
    int32_t count = 0;
    for (int32_t i = 0; i < fanout[level]; ++i) {
        if (level + 1 < fanout.size()) {
            const int32_t before = nextTag;
            kids +=
                std::to_string(BuildNode(table, fanout, level + 1, number, nextNumber, nextTag)) +
                " 0 R ";
            count += nextTag - before;
        } else {
            const int32_t page = nextNumber++;
            table.AddDict(page, "<< /Type /Page /Parent " + std::to_string(number) + " 0 R /Tag " +
                                    std::to_string(nextTag++) + " >>");
            kids += std::to_string(page) + " 0 R ";
            ++count;
        }
    }
    std::string text = "<< /Type /Pages /Count " + std::to_string(count) + " /Kids [" + kids + "]";
    if (parent != 0) text += " /Parent " + std::to_string(parent) + " 0 R";
    table.AddDict(number, text + " >>");
    return number;
}

}  // namespace detail

// A tree with fanout[0] kids under the root, fanout[1] under each of those, and so on; the
// last level holds the pages. Returns the root number (`first`).
inline int32_t BuildBalancedTree(TObjectTable& table, const std::vector<int32_t>& fanout,
                                 int32_t first = 1) {
    int32_t nextNumber = first;
    int32_t nextTag = 1;
    return detail::BuildNode(table, fanout, 0, 0, nextNumber, nextTag);
}

struct TTreeScan {
    std::vector<int32_t> Tags;          // pages in Kids order
    std::vector<std::string> Problems;  // Counts or Parents that disagree with the Kids
};

namespace detail {

inline int32_t ScanNode(const TObjectTable& table, const TPDFDictionary* node, TTreeScan& scan,
                        std::unordered_set<const TPDFDictionary*>& seen) {
    if (!seen.insert(node).second) {
        scan.Problems.push_back("node " + std::to_string(node->ObjectNumber) + " seen twice");
        return 0;
    }
    const auto* kids = As<TPDFArray>(node->GetValue("Kids"));
    int32_t leaves = 0;
    for (int32_t i = 0; kids != nullptr && i < kids->Count(); ++i) {
        const auto* ref = As<TPDFIndRef>(kids->Get(i));
        const TPDFDictionary* kid = ref != nullptr ? table.Dict(ref->TargetNumber) : nullptr;
        if (kid == nullptr) {
            scan.Problems.push_back("kid " + std::to_string(i) + " of node " +
                                    std::to_string(node->ObjectNumber) + " is not a dictionary");
            continue;
        }
        const auto* parent = As<TPDFIndRef>(kid->GetValue("Parent"));
        if (parent == nullptr || parent->TargetNumber != node->ObjectNumber) {
            scan.Problems.push_back("object " + std::to_string(kid->ObjectNumber) +
                                    " does not name node " + std::to_string(node->ObjectNumber) +
                                    " as Parent");
        }
        if (kid->GetType() == "Pages") {
            leaves += ScanNode(table, kid, scan, seen);
        } else {
            const auto* tag = As<TPDFNumeric>(kid->GetValue("Tag"));
            scan.Tags.push_back(tag != nullptr ? tag->AsInteger() : -1);
            ++leaves;
        }
    }
    const auto* count = As<TPDFNumeric>(node->GetValue("Count"));
    if (count == nullptr || count->NumValue != leaves) {
        scan.Problems.push_back("node " + std::to_string(node->ObjectNumber) + " counts " +
                                (count != nullptr ? count->ToText() : "nothing") + " but holds " +
                                std::to_string(leaves));
    }
    return leaves;
}

}  // namespace detail

// Reads the tree directly from the table (not through the store's resolver). The root's own
// Parent is not checked.
inline TTreeScan ScanTree(const TObjectTable& table, int32_t rootNumber) {
    TTreeScan scan;
    std::unordered_set<const TPDFDictionary*> seen;
    if (const TPDFDictionary* root = table.Dict(rootNumber)) {
        detail::ScanNode(table, root, scan, seen);
    } else {
        scan.Problems.push_back("no root");
    }
    return scan;
}

// `text` as the serialiser writes it, to compare with written objects.
inline std::string Canonical(TObjectTable& table, std::string_view text) {
    return table.Store().ParseText(text)->ToText();
}

// The target numbers of the references in an array (-1 for other items).
inline std::vector<int32_t> RefNumbers(const TPDFObject* array) {
    std::vector<int32_t> out;
    if (const auto* a = As<TPDFArray>(array)) {
        for (const TPDFObject* item : a->Items()) {
            const auto* ref = As<TPDFIndRef>(item);
            out.push_back(ref != nullptr ? ref->TargetNumber : -1);
        }
    }
    return out;
}

inline std::vector<int32_t> Sequence(int32_t first, int32_t last) {
    std::vector<int32_t> out;
    for (int32_t k = first; first <= last ? k <= last : k >= last; k += first <= last ? 1 : -1) {
        out.push_back(k);
    }
    return out;
}

}  // namespace verava::testing
