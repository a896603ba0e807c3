#include "merge/merge_metadata.h"

#include <exception>
#include <string>

#include "merge/smart_pdf_document.h"
#include "merge/tree_entries.h"
#include "metadata/velmor_pdf_library_xmp.h"
#include "objects/number_text.h"
#include "objects/pdf_structure.h"
#include "objects/pdf_text.h"

namespace verava {
namespace {

bool NameIs(TSmartPDFDocument& document, const TPDFDictionary& dictionary, std::string_view key,
            std::string_view value) {
    const auto* name = As<TPDFName>(FollowIn(document, dictionary.GetValue(key)));
    return name != nullptr && name->Text == value;
}

// The packet of the catalog's Metadata stream when it is typed /Metadata /XML (the rule a
// loaded document takes its packet by), else "".
std::string InputPacket(TSmartPDFDocument& document, TPDFStream* stream) {
    if (stream == nullptr || stream->StreamDict() == nullptr) return {};
    const TPDFDictionary& dictionary = *stream->StreamDict();
    if (!NameIs(document, dictionary, "Type", "Metadata")) return {};
    if (!NameIs(document, dictionary, "Subtype", "XML") &&
        !NameIs(document, dictionary, "SubType", "XML")) {
        return {};
    }
    try {
        return stream->GetDecodedData();
    } catch (const std::exception&) {
        return {};  // undecodable: the packet starts empty, as it would in a load
    }
}

void StampInfo(TSmartPDFDocument& first, TPDFDictionary& trailer, int32_t floor,
               const std::u16string& now) {
    TPDFStructure& store = *first.LocalStructure;
    TPDFDictionary* info = nullptr;
    TPDFObject* value = trailer.GetValue("Info");
    if (auto* ref = As<TPDFIndRef>(value)) {
        info = As<TPDFDictionary>(first.GetObject(ref->TargetNumber));
        if (info != nullptr) first.RegisterObject(ref->TargetNumber, info);
    } else {
        info = As<TPDFDictionary>(value);  // held by the trailer itself
    }
    if (info == nullptr) {
        info = store.NewDictionary();
        trailer.SetValue("Info", first.AddObjectAbove(floor, info));
    }
    // A string of its own: the old value may be an object other entries share.
    info->SetValue("ModDate", store.NewString(UnicodeToPdfText(now, false), false));
}

void StampMetadata(TSmartPDFDocument& first, int32_t floor, const std::u16string& now) {
    TPDFDictionary* catalog = first.RootDict;
    if (catalog == nullptr) return;
    auto* ref = As<TPDFIndRef>(catalog->GetValue("Metadata"));
    auto* old = As<TPDFStream>(FollowIn(first, catalog->GetValue("Metadata")));
    TVelmorPDFLibraryXMP xmp;
    xmp.LoadPacket(InputPacket(first, old));
    xmp.SetProperty("ModDate", now);
    TPDFStructure& store = *first.LocalStructure;
    TPDFStream* stream = store.NewStream(xmp.WritePacket(), false);
    stream->StreamDict()->SetValue("Type", store.NewName("Metadata"));
    stream->StreamDict()->SetValue("Subtype", store.NewName("XML"));
    if (ref != nullptr && old != nullptr) {
        first.RegisterObject(ref->TargetNumber, stream);
        return;
    }
    // A stream is always an indirect object (ISO 32000-1, 7.3.8.1).
    catalog->SetValue("Metadata", first.AddObjectAbove(floor, stream));
    if (first.RootRef != nullptr) first.RegisterObject(first.RootRef->TargetNumber, catalog);
}

}  // namespace

void StampModification(TSmartPDFDocument& first, TPDFDictionary& trailer, int32_t floor) {
    const std::u16string now = Utf8ToUnicode(PdfDateNow());
    StampInfo(first, trailer, floor, now);
    StampMetadata(first, floor, now);
}

}  // namespace verava
