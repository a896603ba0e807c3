// Object parser and serialiser under arbitrary bytes. Besides staying memory-safe, the text
// written for a parsed object must read back to the same text: parse -> write -> parse ->
// write gives identical bytes the second time. An entry whose number cannot be written
// becomes a "% bug" comment line, which is dropped on the next read; for such objects the
// check is made one round later. Written text is read back followed by a line feed, as it
// always stands in a file ("1 0 obj\n/\nendobj"): an empty name alone is just "/".
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "objects/number_text.h"
#include "objects/pdf_structure.h"

namespace {

bool WriteText(const verava::TPDFObject* object, std::string& out) {
    try {
        out = object->ToText();
        return true;
    } catch (const verava::EInvalidOp&) {
        return false;  // a bare unwritable number: nothing to compare
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    verava::TPDFStructure store;
    size_t consumed = 0;
    verava::TPDFObject* first = store.Parse(input, 0, consumed);
    if (consumed > size) std::abort();
    std::string text1;
    if (!WriteText(first, text1)) return 0;
    std::string text2;
    if (!WriteText(store.ParseText(text1 + "\n"), text2)) std::abort();
    if (text1.find("% bug \n") != std::string::npos) {
        text1 = text2;
        if (!WriteText(store.ParseText(text1 + "\n"), text2)) std::abort();
    }
    if (text1 != text2) {
        std::fprintf(stderr, "round trip differs:\n--- first\n%s\n--- second\n%s\n", text1.c_str(),
                     text2.c_str());
        std::abort();
    }
    // Also from an arbitrary start position, as the loaders parse inside file text.
    if (size > 1) store.Parse(input, data[0] % size, consumed);
    return 0;
}
