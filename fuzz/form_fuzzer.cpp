// Arbitrary bytes read as a set of "N G obj ... endobj" objects in one store, references
// resolved among them, then the form reader run over the first dictionary as if it were the
// catalog's AcroForm: field trees with cycles, deep Kids chains, odd types and missing keys.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "objects/number_text.h"
#include "objects/pdf_structure.h"
#include "structure/pdf_form.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    verava::TPDFStructure store;
    std::map<int32_t, verava::TPDFObject*> objects;
    verava::TPDFDictionary* first = nullptr;

    // "N G obj": the number is the run of digits two tokens before the keyword.
    for (size_t at = text.find(" obj"); at != std::string_view::npos && objects.size() < 2000;
         at = text.find(" obj", at + 4)) {
        size_t g = at;
        while (g > 0 && IsDigit(text[g - 1])) --g;
        if (g == at || g < 2 || text[g - 1] != ' ') continue;
        size_t n = g - 1;
        while (n > 0 && IsDigit(text[n - 1])) --n;
        if (n == g - 1) continue;
        const int32_t number = verava::ParseInt(text.substr(n, g - 1 - n), -1);
        if (number < 0 || objects.count(number) != 0) continue;
        size_t consumed = 0;
        verava::TPDFObject* object = store.Parse(text, at + 4, consumed);
        objects[number] = object;
        if (first == nullptr) first = verava::As<verava::TPDFDictionary>(object);
    }
    store.OnResolveReference = [&objects](verava::TPDFIndRef*, int32_t number,
                                          int32_t) -> verava::TPDFObject* {
        auto it = objects.find(number);
        return it == objects.end() ? nullptr : it->second;
    };

    verava::TPDFForm form;
    form.LoadAcroForm(first);
    for (int32_t i = 0; i < form.FieldCount(); ++i) {
        verava::TPDFField* field = form.Field(i);
        field->FieldTypeOf();
    }
    if (first != nullptr) {
        try {
            first->ToText();
        } catch (const verava::EInvalidOp&) {
        }
    }
    return 0;
}
