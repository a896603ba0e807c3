#include "security/encryption_entries.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

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

namespace {

// A kind's filter name resolved to its method; nothing for a name "CF" lacks or a method the
// revision does not define.
std::optional<TCryptMethod> MethodOf(const TEncryptionEntries& e, std::string_view name) {
    if (name.empty() || name == "Identity") return TCryptMethod::Identity;
    const auto it = e.CryptFilters.find(name);
    if (it == e.CryptFilters.end()) return std::nullopt;
    const std::string& method = it->second.Method;
    // "None": the application does not decrypt (ISO 32000-1 Table 25); the standard handler
    // has no decryption of its own either, so the data are as stored.
    if (method.empty() || method == "None") return TCryptMethod::Identity;
    if (e.V == 4 && method == "V2") return TCryptMethod::Rc4;
    if (e.V == 4 && method == "AESV2") return TCryptMethod::Aes128;
    if (e.V == 5 && method == "AESV3") return TCryptMethod::Aes256;
    return std::nullopt;
}

// The first of the filters that StmF, StrF and EFF name whose CFM is `method`.
const TEncryptionEntries::CryptFilter* FirstFilterWith(const TEncryptionEntries& e,
                                                       std::string_view method) {
    for (const std::string* name : {&e.StmF, &e.StrF, &e.EFF}) {
        const auto it = e.CryptFilters.find(*name);
        if (it != e.CryptFilters.end() && it->second.Method == method) return &it->second;
    }
    return nullptr;
}

}  // namespace

std::optional<TCryptFilters> CryptFiltersOf(const TEncryptionEntries& e) {
    if (!UsesCryptFilterRevision(e)) return UniformCryptFilters(TCryptMethod::Rc4);
    const std::optional<TCryptMethod> strings = MethodOf(e, e.StrF);
    const std::optional<TCryptMethod> streams = MethodOf(e, e.StmF);
    const std::optional<TCryptMethod> embedded = e.EFF.empty() ? streams : MethodOf(e, e.EFF);
    if (!strings || !streams || !embedded) return std::nullopt;
    TCryptFilters filters{*strings, *streams, *embedded, {}};
    for (const auto& [name, filter] : e.CryptFilters) {
        if (const std::optional<TCryptMethod> method = MethodOf(e, name)) {
            filters.Named.emplace(name, *method);
        }
    }
    return filters;
}

TEncryptionScheme SchemeOf(const TEncryptionEntries& e) {
    if (e.Filter != "Standard") return TEncryptionScheme::Unsupported;
    if (e.V == 1 && e.R == 2) return TEncryptionScheme::Rc4Fixed40;
    if ((e.V == 1 && e.R == 3) || (e.V == 2 && (e.R == 2 || e.R == 3))) {
        return TEncryptionScheme::Rc4;
    }
    if (!UsesCryptFilterRevision(e)) return TEncryptionScheme::Unsupported;
    const std::optional<TCryptFilters> filters = CryptFiltersOf(e);
    if (!filters) return TEncryptionScheme::Unsupported;
    if (e.V == 5) return TEncryptionScheme::CryptFilterAes256;
    for (TCryptMethod m : {filters->Strings, filters->Streams, filters->EmbeddedFiles}) {
        if (m == TCryptMethod::Aes128) return TEncryptionScheme::CryptFilterAes128;
    }
    return TEncryptionScheme::CryptFilterRc4;
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
    e.StrF = NameEntry(dict, "StrF");
    e.StmF = NameEntry(dict, "StmF");
    e.EFF = NameEntry(dict, "EFF");
    if (const auto* cf = As<TPDFDictionary>(dict.GetValue("CF", true))) {
        for (const auto& [key, value] : cf->Entries()) {
            const auto* filter = As<TPDFDictionary>(ResolveIfReference(value));
            if (key == nullptr || filter == nullptr) continue;
            // A repeated key reads as its first entry, as GetValue reads it.
            const auto [at, added] = e.CryptFilters.try_emplace(key->Text);
            if (!added) continue;
            TEncryptionEntries::CryptFilter& f = at->second;
            f.Method = NameEntry(*filter, "CFM");
            if (const TPDFNumeric* length = NumberEntry(*filter, "Length")) {
                f.HasLength = true;
                f.Length = length->AsInteger();
            }
        }
    }
    return e;
}

TKeyParameters KeyParametersOf(const TEncryptionEntries& e, TEncryptionScheme scheme) {
    TKeyParameters key;
    key.bits = e.HasLength ? e.Length : 40;
    // Crypt filter lengths are in bytes (a hostile one must not overflow as bits).
    auto filterBits = [&](const TEncryptionEntries::CryptFilter& f, int32_t fallback) {
        return f.HasLength ? static_cast<int32_t>(
                                 std::clamp<int64_t>(int64_t{f.Length} * 8, INT32_MIN, INT32_MAX))
                           : fallback;
    };
    switch (scheme) {
        case TEncryptionScheme::Unsupported:
        case TEncryptionScheme::Rc4:
            break;
        case TEncryptionScheme::Rc4Fixed40:
            key.bits = 40;
            break;
        case TEncryptionScheme::CryptFilterRc4:
            if (const auto* f = FirstFilterWith(e, "V2")) {
                key.bits = filterBits(*f, 40);
            } else {
                // No kind is encrypted; the key still checks the password. Revision 4 is the
                // 128-bit revision unless "Length" says otherwise.
                key.bits = e.HasLength ? e.Length : 128;
            }
            break;
        case TEncryptionScheme::CryptFilterAes128:
            key.cipher = TCipherKind::Aes128;
            if (const auto* f = FirstFilterWith(e, "AESV2")) key.bits = filterBits(*f, 128);
            break;
        case TEncryptionScheme::CryptFilterAes256:
            key.cipher = TCipherKind::Aes256;
            key.bits = 256;
            break;
    }
    return key;
}

}  // namespace verava
