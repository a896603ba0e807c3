// Arbitrary bytes through the reverse workflow's page step: a document that loads is put in a
// new page order at once (TPDFPageTree::Reorder; reversed as the program does, or shuffled or
// turned, chosen by a hash of the input), saved to memory and loaded again. The pages must come
// in the order asked for, in memory and in the saved file, and each must keep the resources,
// boxes and rotation it showed before, wherever in the tree it landed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

#include "document/pdf_document.h"
#include "objects/pdf_object.h"
#include "objects/stream.h"

namespace {

using verava::TPDFDictionary;
using verava::TPDFDocument;

// Orders are built for at most this many pages (a loaded tree holds what its Kids hold, so
// only a large input has more).
constexpr int32_t kMaxPages = 1 << 16;
// Parent chains are followed this far up at most.
constexpr size_t kMaxDepth = 64;

[[noreturn]] void Fail(const char* what, int32_t page = 0) {
    std::fprintf(stderr, "%s (page %d)\n", what, page);
    std::abort();
}

// FNV-1a of the input: the same bytes always ask for the same order.
uint64_t Hash(const uint8_t* data, size_t size) {
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
    return hash;
}

// splitmix64, a generator fully defined here so that an input means one order everywhere.
uint64_t Next(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// order[i] is the page that ends at position i + 1: reversed for half of the inputs (the
// program's own reverse), shuffled or turned by some places for the others.
std::vector<int32_t> OrderFor(int32_t pages, uint64_t hash) {
    std::vector<int32_t> order(static_cast<size_t>(pages));
    for (int32_t i = 0; i < pages; ++i) order[static_cast<size_t>(i)] = pages - i;
    switch (hash % 4) {
        case 2: {
            uint64_t state = hash;
            for (size_t i = order.size(); i > 1; --i) {
                std::swap(order[i - 1], order[Next(state) % i]);
            }
            break;
        }
        case 3:
            for (int32_t i = 0; i < pages; ++i) {
                order[static_cast<size_t>(i)] =
                    1 + static_cast<int32_t>((static_cast<uint64_t>(i) + (hash >> 8)) % pages);
            }
            break;
        default:
            break;
    }
    return order;
}

std::string Text(const verava::TPDFObject* value) {
    try {
        return value->ToText();
    } catch (...) {
        return "(cannot be written)";
    }
}

// The value of an attribute the page has or inherits (ISO 32000-1, 7.7.3.4) as text; "" when
// neither it nor a node above it has one of the right kind. A value of another kind (a stream
// for Resources) counts as none, as readers take it.
std::string Inherited(TPDFDictionary* page, const char* key, char kind) {
    std::unordered_set<const TPDFDictionary*> seen;
    for (TPDFDictionary* node = page;
         node != nullptr && seen.size() < kMaxDepth && seen.insert(node).second;
         node = verava::As<TPDFDictionary>(node->GetValue("Parent", true))) {
        const verava::TPDFObject* value = node->GetValue(key, true);
        if (value != nullptr && value->KindTag() == kind) return Text(value);
    }
    return "";
}

// `value`, or `fallback` when it is empty.
std::string Or(const std::string& value, const std::string& fallback) {
    return value.empty() ? fallback : value;
}

// Text without its blanks.
std::string Squeezed(std::string text) {
    text.erase(std::remove_if(text.begin(), text.end(),
                              [](char c) { return c == ' ' || c == '\n' || c == '\r'; }),
               text.end());
    return text;
}

// What a page shows from the tree, with the defaults of ISO 32000-1, table 30: no Rotate is 0,
// no CropBox is the MediaBox, no Resources are none (an empty dictionary).
struct Shown {
    std::string resources, media, crop, rotate;

    explicit Shown(TPDFDictionary* page)
        : resources(Inherited(page, "Resources", verava::TPDFDictionary::kKind)),
          media(Inherited(page, "MediaBox", verava::TPDFArray::kKind)),
          crop(Or(Inherited(page, "CropBox", verava::TPDFArray::kKind), media)),
          rotate(Or(Inherited(page, "Rotate", verava::TPDFNumeric::kKind), "0")) {
        if (Squeezed(resources) == "<<>>") resources.clear();
    }
    // Whether `after` shows what this showed. A page without the MediaBox the standard
    // requires has no size to keep: a reader gives it one of its own, and below another node
    // it may inherit one.
    bool KeptBy(const Shown& after) const {
        return resources == after.resources && rotate == after.rotate &&
               (media.empty() || (media == after.media && crop == after.crop));
    }
    std::string Text() const {
        return "Resources " + resources + "\nMediaBox " + media + "\nCropBox " + crop +
               "\nRotate " + rotate + "\n";
    }
};

std::vector<Shown> ShownByPage(TPDFDocument& document) {
    std::vector<Shown> shown;
    for (TPDFDictionary* page : document.PageTree().Pages()) shown.emplace_back(page);
    return shown;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    verava::TMemoryStream input(std::string(reinterpret_cast<const char*>(data), size));
    TPDFDocument document;
    if (document.LoadFromStream(input, u"") != TPDFDocument::kLoaded) return 0;
    const int32_t pages = document.PageTree().TotalPages();
    if (pages < 1 || pages > kMaxPages) return 0;

    const std::vector<int32_t> numbers = document.PageObjectNumbers();
    const std::vector<Shown> shown = ShownByPage(document);
    if (static_cast<int32_t>(numbers.size()) != pages || shown.size() != numbers.size()) {
        Fail("a loaded tree does not hold Count pages");
    }
    const std::vector<int32_t> order = OrderFor(pages, Hash(data, size));
    if (!document.PageTree().Reorder(order)) Fail("a loaded document cannot be reordered");

    // Position i holds the page that was at order[i], showing what it showed there.
    auto expectOrder = [&](TPDFDocument& doc, const char* when) {
        const std::vector<int32_t> now = doc.PageObjectNumbers();
        const std::vector<Shown> nowShown = ShownByPage(doc);
        if (now.size() != order.size() || nowShown.size() != order.size()) Fail(when);
        for (size_t i = 0; i < order.size(); ++i) {
            const size_t from = static_cast<size_t>(order[i] - 1);
            if (now[i] != numbers[from]) Fail(when, static_cast<int32_t>(i + 1));
            if (!shown[from].KeptBy(nowShown[i])) {
                std::fprintf(stderr, "before:\n%s\nafter:\n%s\n", shown[from].Text().c_str(),
                             nowShown[i].Text().c_str());
                Fail(when, static_cast<int32_t>(i + 1));
            }
        }
    };
    expectOrder(document, "the reordered pages are not in the order asked for");

    // No information entries are set: where a file's Info is a page's Resources (it happens),
    // they would land there. document_fuzzer covers them.
    verava::TMemoryStream saved;
    if (!document.WriteTo(saved)) Fail("a reordered document did not save");
    verava::TMemoryStream again(saved.TakeData());
    TPDFDocument reloaded;
    if (reloaded.LoadFromStream(again, u"") != TPDFDocument::kLoaded) {
        Fail("a saved reordered document did not load again");
    }
    expectOrder(reloaded, "the saved pages are not in the order asked for");
    return 0;
}
