// Arbitrary bytes split into two files (the first four bytes, little-endian, give the length
// of the first) through the whole file-level merge and then the workflow's interleave. What
// the document loader opens must merge, and a merge that succeeds must hold every page of
// both files, each once, before and after the interleave.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "document/pdf_document.h"
#include "merge/merge_streams.h"
#include "objects/stream.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// Pages of a file as the loader reads it, or -1 when it does not open.
int32_t LoadedPages(const std::string& bytes) {
    verava::TMemoryStream stream(bytes);
    verava::TPDFDocument document;
    if (document.LoadFromStream(stream, u"") != verava::TPDFDocument::kLoaded) return -1;
    return document.PageTree().TotalPages();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > (1 << 20)) return 0;
    const uint32_t declared = data[0] | (data[1] << 8) | (data[2] << 16) |
                              (static_cast<uint32_t>(data[3]) << 24);
    const std::string_view rest(reinterpret_cast<const char*>(data) + 4, size - 4);
    const size_t split = declared < rest.size() ? declared : rest.size();
    const std::string first(rest.substr(0, split));
    const std::string second(rest.substr(split));

    const int32_t pagesFirst = LoadedPages(first);
    const int32_t pagesSecond = LoadedPages(second);
    verava::TMemoryStream a(first);
    verava::TMemoryStream b(second);
    verava::TMemoryStream out;
    int32_t code = 0;
    const int32_t result = verava::MergeStreams(a, b, out, code);
    const bool plain = first.find("/Encrypt") == std::string::npos &&
                       second.find("/Encrypt") == std::string::npos;
    if (result != 1) {
        if (code != verava::kMergeUnreadable && code != verava::kMergeEncrypted) {
            Fail("a refused merge gave no refusal code");
        }
        if (plain && pagesFirst >= 0 && pagesSecond >= 0) {
            Fail("two files the loader opens were not merged");
        }
        return 0;
    }
    if (pagesFirst < 0 || pagesSecond < 0) Fail("a merge took a file the loader does not open");

    verava::TMemoryStream merged(out.TakeData());
    verava::TPDFDocument document;
    if (document.LoadFromStream(merged, u"") != verava::TPDFDocument::kLoaded) {
        Fail("a merged file does not load");
    }
    verava::TPDFPageTree& tree = document.PageTree();
    const int32_t total = tree.TotalPages();
    if (total != pagesFirst + pagesSecond) Fail("the merged file lost or gained pages");

    // The workflow's interleave, a few moves of it for files with many pages.
    const int32_t moves = pagesSecond < 8 ? pagesSecond : 8;
    for (int32_t d = 0; d < moves && pagesFirst + 1 + d <= total; ++d) {
        tree.LoadPage(pagesFirst + 1 + d);
        tree.RelocatePage(tree.CurrentPageNumber(), 2 * d + 2);
        tree.ClearPageCache();
    }
    verava::TMemoryStream saved;
    if (!document.WriteTo(saved)) Fail("an interleaved merge did not save");
    verava::TMemoryStream again(saved.TakeData());
    verava::TPDFDocument reloaded;
    if (reloaded.LoadFromStream(again, u"") != verava::TPDFDocument::kLoaded ||
        reloaded.PageTree().TotalPages() != total) {
        Fail("an interleaved merge did not load again with its pages");
    }
    return 0;
}
