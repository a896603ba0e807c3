// Arbitrary bytes through the reverse workflow's page step: a document that loads is put in a
// new page order at once (TPDFPageTree::Reorder; reversed as the program does, or shuffled or
// turned, chosen by a hash of the input), saved to memory and loaded again. The pages must come
// in the order asked for, in memory and in the saved file, and each must keep the resources,
// boxes and rotation it showed before, wherever in the tree it landed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "document/pdf_document.h"
#include "objects/pdf_object.h"
#include "objects/stream.h"

namespace {

using verava::TPDFDictionary;
using verava::TPDFDocument;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

// The value of an attribute the page has or inherits (ISO 32000-1, 7.7.3.4) as text; "" when
// neither it nor a node above it (64 at most) has one of the right kind. A value of another
// kind (a stream for Resources) counts as none, as readers take it.
std::string Inherited(TPDFDictionary* page, const char* key, char kind) {
    std::unordered_set<const TPDFDictionary*> seen;
    for (TPDFDictionary* node = page;
         node != nullptr && seen.size() < 64 && seen.insert(node).second;
         node = verava::As<TPDFDictionary>(node->GetValue("Parent", true))) {
        const verava::TPDFObject* value = node->GetValue(key, true);
        if (value == nullptr || value->KindTag() != kind) continue;
        try {
            return value->ToText();
        } catch (...) {
            return "(cannot be written)";
        }
    }
    return "";
}

// The page's resources (inherited or its own) by the entries a content stream can name
// (ISO 32000-1, table 33), as written there (references not followed); whatever else that
// dictionary holds shows nothing. A file may use a page tree node as Resources, or a page as
// a font: a reorder rightly changes their Kids or Parent.
std::string Resources(TPDFDictionary* page) {
    std::unordered_set<const TPDFDictionary*> seen;
    for (TPDFDictionary* node = page;
         node != nullptr && seen.size() < 64 && seen.insert(node).second;
         node = verava::As<TPDFDictionary>(node->GetValue("Parent", true))) {
        auto* resources = verava::As<TPDFDictionary>(node->GetValue("Resources", true));
        if (resources == nullptr) continue;
        std::string text;
        for (const char* key : {"ExtGState", "ColorSpace", "Pattern", "Shading", "XObject", "Font",
                                "ProcSet", "Properties"}) {
            const verava::TPDFObject* value = resources->GetValue(key, false);
            if (value == nullptr) continue;
            try {
                text += std::string(key) + " " + value->ToText() + " ";
            } catch (...) {
                text += std::string(key) + " (cannot be written) ";
            }
        }
        return text;
    }
    return "";
}

// What a page shows from the tree, with the defaults of ISO 32000-1, table 30: no Rotate is 0,
// no CropBox is the MediaBox, no Resources are none (an empty dictionary). A page without the
// MediaBox the standard requires has no size to keep (a reader gives it one of its own, and
// below another node it may inherit one): then only what it shows apart from them is kept.
std::vector<std::pair<std::string, std::string>> Shown(TPDFDocument& document) {
    std::vector<std::pair<std::string, std::string>> shown;
    for (TPDFDictionary* page : document.PageTree().Pages()) {
        std::string resources = Resources(page);
        const std::string media = Inherited(page, "MediaBox", verava::TPDFArray::kKind);
        const std::string crop = Inherited(page, "CropBox", verava::TPDFArray::kKind);
        const std::string rotate = Inherited(page, "Rotate", verava::TPDFNumeric::kKind);
        shown.emplace_back("Resources " + resources + " Rotate " + (rotate.empty() ? "0" : rotate),
                           media.empty() ? "" : media + " " + (crop.empty() ? media : crop));
    }
    return shown;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    verava::TMemoryStream input(std::string(reinterpret_cast<const char*>(data), size));
    TPDFDocument document;
    if (document.LoadFromStream(input, u"") != TPDFDocument::kLoaded) return 0;
    // Orders are built for at most 65536 pages (only a large input has more).
    const int32_t pages = document.PageTree().TotalPages();
    if (pages < 1 || pages > (1 << 16)) return 0;
    const std::vector<int32_t> numbers = document.PageObjectNumbers();
    const auto shown = Shown(document);
    if (numbers.size() != static_cast<size_t>(pages) || shown.size() != numbers.size()) {
        Fail("a loaded tree does not hold Count pages");
    }

    // order[i] is the page that ends at position i + 1: reversed for half of the inputs (the
    // program's own reverse), shuffled (splitmix64, defined here so that an input means one
    // order everywhere) or turned by some places for the others, by an FNV-1a hash of the input.
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
    std::vector<int32_t> order(static_cast<size_t>(pages));
    for (int32_t i = 0; i < pages; ++i) order[static_cast<size_t>(i)] = pages - i;
    uint64_t state = hash;
    for (size_t i = order.size(); hash % 4 == 2 && i > 1; --i) {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        std::swap(order[i - 1], order[(z ^ (z >> 31)) % i]);
    }
    for (int32_t i = 0; hash % 4 == 3 && i < pages; ++i) {
        order[static_cast<size_t>(i)] =
            1 + static_cast<int32_t>((static_cast<uint64_t>(i) + (hash >> 8)) % pages);
    }

    // Position i holds the page that was at order[i], showing what it showed there.
    auto expectOrder = [&](TPDFDocument& doc, const char* when) {
        const std::vector<int32_t> now = doc.PageObjectNumbers();
        const auto nowShown = Shown(doc);
        if (now.size() != order.size() || nowShown.size() != order.size()) Fail(when);
        for (size_t i = 0; i < order.size(); ++i) {
            const auto& before = shown[static_cast<size_t>(order[i] - 1)];
            if (now[i] != numbers[static_cast<size_t>(order[i] - 1)] ||
                nowShown[i].first != before.first ||
                (!before.second.empty() && nowShown[i].second != before.second)) {
                Fail(std::string(when) + " (page " + std::to_string(i + 1) +
                     ")\nbefore: " + before.first + " " + before.second +
                     "\nafter: " + nowShown[i].first + " " + nowShown[i].second);
            }
        }
    };
    if (!document.PageTree().Reorder(order)) Fail("a loaded document cannot be reordered");
    expectOrder(document, "the reordered pages are not in the order asked for");

    // No information entries are set: where a file's Info is a page's Resources (it happens),
    // they would land there. document_fuzzer covers them.
    verava::TMemoryStream saved;
    verava::TMemoryStream again(document.WriteTo(saved) ? saved.TakeData() : std::string());
    TPDFDocument reloaded;
    if (reloaded.LoadFromStream(again, u"") != TPDFDocument::kLoaded) {
        Fail("a reordered document did not save and load again");
    }
    expectOrder(reloaded, "the saved pages are not in the order asked for");
    return 0;
}
