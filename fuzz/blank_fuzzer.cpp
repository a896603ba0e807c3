// Arbitrary bytes loaded as a document, then every page (up to a bound) judged by the blank
// page detector: content streams, form XObjects and images (JPEG at reduced size included)
// come from the file. The detector must never raise, must judge the same page the same way
// twice, and must leave the document as it was (a loaded document still saves).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "content/blank_page_detector.h"
#include "document/pdf_document.h"
#include "objects/stream.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    verava::TMemoryStream input(std::string(reinterpret_cast<const char*>(data), size));
    verava::TPDFDocument document;
    if (document.LoadFromStream(input, u"") != verava::TPDFDocument::kLoaded) return 0;

    // A threshold from the input's first byte: 0 to 25.5 percent.
    const double threshold = size > 0 ? data[0] / 10.0 : verava::kDefaultBlankThreshold;
    // One detector for the document, as a merge uses it; each page also by a fresh one, which
    // must agree with what the first learnt from earlier pages.
    verava::TBlankPageDetector detector(threshold);
    const std::vector<int32_t> pages = document.PageObjectNumbers();
    const size_t judged = pages.size() < 16 ? pages.size() : 16;
    for (size_t k = 0; k < judged; ++k) {
        auto* page = verava::As<verava::TPDFDictionary>(document.ResolveObject(pages[k]));
        if (page == nullptr) continue;
        verava::TPageJudgement first;
        verava::TPageJudgement second;
        try {
            first = detector.Judge(page);
            second = verava::TBlankPageDetector(threshold).Judge(page);
        } catch (...) {
            Fail("the blank page detector raised");
        }
        if (first.Ink != second.Ink || first.DarkShare != second.DarkShare) {
            Fail("a page was judged two ways");
        }
        if (first.DarkShare < 0 || first.DarkShare > 100) Fail("a dark share outside 0..100");
    }
    verava::TMemoryStream saved;
    if (!document.WriteTo(saved)) Fail("a judged document did not save");
    return 0;
}
