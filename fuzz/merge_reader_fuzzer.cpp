// Arbitrary bytes through the merge reader: header and cross-reference reading, every object
// number up to LastObjectNumber fetched through the cache and loaded into a scratch store
// and serialised, the trailer lookups and FinishTrailer, the input security check, and the
// merge writer framing what was read.
#include <cstdint>
#include <memory>
#include <string>

#include "merge/smart_pdf_info.h"
#include "merge/smart_pdf_reader.h"
#include "merge/smart_pdf_writer.h"
#include "objects/number_text.h"
#include "objects/pdf_structure.h"
#include "objects/stream.h"

namespace {

std::string Text(verava::TPDFObject* object) {
    if (object == nullptr) return "null";
    try {
        return object->ToText();
    } catch (const verava::EInvalidOp&) {
        return "null";
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    verava::TMemoryStream input(std::string(reinterpret_cast<const char*>(data), size));
    verava::TSmartPDFReader reader(input);
    verava::TSmartPDFInfo info(reader, true, u"");
    info.SecurityStatus(0);

    verava::TMemoryStream output;
    verava::TSmartPDFWriter writer(output);
    writer.WriteHeader("1.4");
    auto scratch = std::make_unique<verava::TPDFStructure>();
    for (int32_t n = 1; n <= reader.LastObjectNumber(); ++n) {
        Text(reader.GetObject(n));
        writer.WriteObject(n, reader.GetGeneration(n), Text(reader.LoadObject(n, scratch.get())));
        if (scratch->ObjectCount() > 100) scratch = std::make_unique<verava::TPDFStructure>();
    }
    Text(reader.TrailerValue("Root"));
    reader.TrailerRef("Info");
    reader.FinishTrailer();
    if (reader.Trailer() != nullptr) writer.WriteXRefAndTrailer(*reader.Trailer());
    return 0;
}
