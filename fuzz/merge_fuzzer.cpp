// Arbitrary bytes split into two files (the first four bytes, little-endian, give the length
// of the first) through the whole file-level merge and then the workflow's interleave. What
// the document loader opens must merge, and a merge that succeeds must hold every page of
// both files, each once, before and after the interleave. The first file is also collated
// alone, its backs turned and a blank back put in: the result must hold the pages listed,
// each turned by what was asked on top of what it had.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <vector>

#include "document/pdf_document.h"
#include "merge/merge_input.h"
#include "merge/merge_streams.h"
#include "objects/stream.h"
#include "structure/page_attributes.h"

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

// Each page's rotation as readers take it.
std::vector<int32_t> Rotations(verava::TPDFDocument& document) {
    std::vector<int32_t> turns;
    for (verava::TPDFDictionary* page : document.PageTree().Pages()) {
        turns.push_back(verava::TurnedRotation(
            verava::ResolveIfReference(verava::NearestInherited(page, "Rotate")), 0));
    }
    return turns;
}

// The first file's pages collated as a scan of both passes (fronts, then backs last to
// first), the backs turned by `turn`, and a blank back after the first front.
void CheckArranged(const std::string& bytes, int32_t turn) {
    verava::TMemoryStream stream(bytes);
    verava::TPDFDocument document;
    if (document.LoadFromStream(stream, u"") != verava::TPDFDocument::kLoaded) return;
    if (document.WasEncrypted()) return;
    const std::vector<int32_t> before = Rotations(document);
    const auto n = static_cast<int32_t>(before.size());
    if (n < 1 || n > 64) return;
    const int32_t fronts = (n + 1) / 2;
    std::vector<verava::TOutputPage> listed;
    std::vector<int32_t> expected;  // each output page's rotation
    for (int32_t k = 0; k < fronts; ++k) {
        listed.push_back({false, k});
        expected.push_back(before[static_cast<size_t>(k)]);
        if (k == 0) {
            listed.push_back({false, 0, turn, true});
            expected.push_back(verava::TurnedRotation(nullptr, before[0] + turn));
        }
        const int32_t back = n - 1 - k;
        if (back >= fronts) {
            listed.push_back({false, back, turn});
            expected.push_back((before[static_cast<size_t>(back)] + turn) % 360);
        }
    }
    verava::TMergeInput input(document);
    verava::TMergeOptions options;
    options.pages = listed;
    verava::TMemoryStream out;
    int32_t code = 0;
    if (verava::ArrangeInput(input, out, code, {}, options) != 1) {
        Fail("a file the loader opens was not arranged");
    }
    verava::TMemoryStream written(out.TakeData());
    verava::TPDFDocument arranged;
    if (arranged.LoadFromStream(written, u"") != verava::TPDFDocument::kLoaded) {
        Fail("an arranged file does not load");
    }
    if (Rotations(arranged) != expected) Fail("an arranged file's pages are not turned as asked");
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
    CheckArranged(first, static_cast<int32_t>(data[0] & 3) * 90);
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
