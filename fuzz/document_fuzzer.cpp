// Arbitrary bytes through document loading (with the repair scan and password checks),
// page selection and moves, and saving. A file that loads must save, and what was saved
// must load again with the same number of pages.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "document/pdf_document.h"
#include "objects/stream.h"

namespace {

int32_t Pages(verava::TPDFDocument& document) { return document.PageTree().TotalPages(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    verava::TMemoryStream input(std::string(reinterpret_cast<const char*>(data), size));
    verava::TPDFDocument document;
    if (document.LoadFromStream(input, u"") != verava::TPDFDocument::kLoaded) return 0;

    verava::TPDFPageTree& tree = document.PageTree();
    const int32_t pages = Pages(document);
    // A few of the reverse workflow's moves; hostile Counts are not walked in full.
    const int32_t moves = pages < 8 ? pages : 8;
    for (int32_t b = 1; b < moves; ++b) {
        tree.LoadPage(pages);
        tree.RelocatePage(tree.CurrentPageNumber(), b);
        tree.ClearPageCache();
    }
    document.SetInformationEntry("ModDate", u"D:20240102030405Z");

    verava::TMemoryStream saved;
    if (!document.WriteTo(saved)) {
        std::fprintf(stderr, "a loaded document did not save\n");
        std::abort();
    }
    verava::TMemoryStream again(saved.TakeData());
    verava::TPDFDocument reloaded;
    if (reloaded.LoadFromStream(again, u"") != verava::TPDFDocument::kLoaded) {
        std::fprintf(stderr, "a saved document did not load again\n");
        std::abort();
    }
    if (Pages(reloaded) != Pages(document)) {
        std::fprintf(stderr, "page count %d became %d\n", Pages(document), Pages(reloaded));
        std::abort();
    }
    return 0;
}
