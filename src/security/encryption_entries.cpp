#include "security/encryption_entries.h"

#include <cmath>

#include "objects/number_text.h"

namespace verava {
namespace {

const TPDFNumeric* NumberEntry(const TPDFDictionary& dict, std::string_view key) {
    return As<TPDFNumeric>(dict.GetValue(key, true));
}

std::string StringEntry(const TPDFDictionary& dict, std::string_view key) {
    if (const auto* s = As<TPDFString>(dict.GetValue(key, true))) return s->Bytes;
    return {};
}

std::string NameEntry(const TPDFDictionary& dict, std::string_view key) {
    if (const auto* n = As<TPDFName>(dict.GetValue(key, true))) return n->Text;
    return {};
}

}  // namespace

uint32_t PermissionPattern(double value) {
    if (std::isnan(value)) return 0;
    const double r = RoundHalfEven(value);
    if (r >= 0) return r >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(r);
    if (r <= -2147483648.0) return 0x80000000u;
    return static_cast<uint32_t>(static_cast<int32_t>(r));
}

bool UsesCryptFilterRevision(const TEncryptionEntries& e) {
    return e.Filter == "Standard" &&
           ((e.V == 4 && e.R == 4) || (e.V == 5 && (e.R == 5 || e.R == 6)));
}

TEncryptionScheme SchemeOf(const TEncryptionEntries& e) {
    if (e.Filter != "Standard") return TEncryptionScheme::Unsupported;
    if (e.V == 1 && e.R == 2) return TEncryptionScheme::Rc4Fixed40;
    if ((e.V == 1 && e.R == 3) || (e.V == 2 && (e.R == 2 || e.R == 3))) {
        return TEncryptionScheme::Rc4;
    }
    if (!UsesCryptFilterRevision(e) || !e.UsesStdCF) return TEncryptionScheme::Unsupported;
    if (e.V == 4 && e.Method == "AESV2") return TEncryptionScheme::CryptFilterAes128;
    if (e.V == 4 && e.Method == "V2") return TEncryptionScheme::CryptFilterRc4;
    if (e.V == 5 && e.Method == "AESV3") return TEncryptionScheme::CryptFilterAes256;
    return TEncryptionScheme::Unsupported;
}

TEncryptionEntries ReadEncryptionEntries(const TPDFDictionary& dict) {
    TEncryptionEntries e;
    e.Filter = NameEntry(dict, "Filter");
    if (const TPDFNumeric* v = NumberEntry(dict, "V")) e.V = v->AsInteger();
    if (const TPDFNumeric* r = NumberEntry(dict, "R")) e.R = r->AsInteger();
    if (const TPDFNumeric* length = NumberEntry(dict, "Length")) {
        e.HasLength = true;
        e.Length = length->AsInteger();
    }
    if (const TPDFNumeric* p = NumberEntry(dict, "P")) e.P = PermissionPattern(p->NumValue);
    e.O = StringEntry(dict, "O");
    e.U = StringEntry(dict, "U");
    e.OE = StringEntry(dict, "OE");
    e.UE = StringEntry(dict, "UE");
    e.Perms = StringEntry(dict, "Perms");
    if (const auto* em = As<TPDFBoolean>(dict.GetValue("EncryptMetadata", true))) {
        e.HasEncryptMetadata = true;
        e.EncryptMetadata = em->Truth;
    }
    const auto* cf = As<TPDFDictionary>(dict.GetValue("CF", true));
    const auto* stdCf = cf != nullptr ? As<TPDFDictionary>(cf->GetValue("StdCF", true)) : nullptr;
    if (stdCf != nullptr && NameEntry(dict, "StrF") == "StdCF" &&
        NameEntry(dict, "StmF") == "StdCF") {
        e.UsesStdCF = true;
        e.Method = NameEntry(*stdCf, "CFM");
        if (const TPDFNumeric* length = NumberEntry(*stdCf, "Length")) {
            e.HasFilterLength = true;
            e.FilterLength = length->AsInteger();
        }
    }
    return e;
}

TKeyParameters KeyParametersOf(const TEncryptionEntries& e, TEncryptionScheme scheme) {
    TKeyParameters key;
    key.bits = e.HasLength ? e.Length : 40;
    // Crypt filter lengths are in bytes.
    auto filterBits = [&](int32_t fallback) {
        return e.HasFilterLength ? e.FilterLength * 8 : fallback;
    };
    switch (scheme) {
        case TEncryptionScheme::Unsupported:
        case TEncryptionScheme::Rc4:
            break;
        case TEncryptionScheme::Rc4Fixed40:
            key.bits = 40;
            break;
        case TEncryptionScheme::CryptFilterRc4:
            key.bits = filterBits(40);
            break;
        case TEncryptionScheme::CryptFilterAes128:
            key.cipher = TCipherKind::Aes128;
            key.bits = filterBits(128);
            break;
        case TEncryptionScheme::CryptFilterAes256:
            key.cipher = TCipherKind::Aes256;
            key.bits = 256;
            break;
    }
    return key;
}

}  // namespace verava
