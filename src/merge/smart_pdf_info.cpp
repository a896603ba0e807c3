#include "merge/smart_pdf_info.h"

#include <cmath>

#include "objects/number_text.h"

namespace verava {
namespace {

const TPDFNumeric* NumberEntry(const TPDFDictionary* dict, std::string_view key) {
    return As<TPDFNumeric>(dict->GetValue(key, true));
}

std::string StringEntry(const TPDFDictionary* dict, std::string_view key) {
    if (const auto* s = As<TPDFString>(dict->GetValue(key, true))) return s->Bytes;
    return {};
}

std::string NameEntry(const TPDFDictionary* dict, std::string_view key) {
    if (const auto* n = As<TPDFName>(dict->GetValue(key, true))) return n->Text;
    return {};
}

// "P" is signed in the standard, but some writers store its unsigned form; both give the
// same bit pattern.
uint32_t PermissionPattern(double value) {
    if (std::isnan(value)) return 0;
    const double r = RoundHalfEven(value);
    if (r >= 0) return r >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(r);
    if (r <= -2147483648.0) return 0x80000000u;
    return static_cast<uint32_t>(static_cast<int32_t>(r));
}

}  // namespace

uint8_t TSmartPDFInfo::ReadEncryption(const TPDFDictionary* dict, TSmartPDFEncryption& encryption,
                                      uint32_t& permissions) {
    encryption = TSmartPDFEncryption{};
    permissions = 0;
    if (dict == nullptr) return 0;

    const std::string filter = NameEntry(dict, "Filter");
    const TPDFNumeric* vNumber = NumberEntry(dict, "V");
    const TPDFNumeric* rNumber = NumberEntry(dict, "R");
    const TPDFNumeric* lengthNumber = NumberEntry(dict, "Length");
    const TPDFNumeric* pNumber = NumberEntry(dict, "P");
    const int32_t v = vNumber != nullptr ? vNumber->AsInteger() : 0;
    const int32_t r = rNumber != nullptr ? rNumber->AsInteger() : 0;
    // Unlike the document handler, a missing Length reads as 0 here.
    const int32_t length = lengthNumber != nullptr ? lengthNumber->AsInteger() : 0;
    permissions = pNumber != nullptr ? PermissionPattern(pNumber->NumValue) : 0;
    encryption.KeyLength = length;

    bool supported = false;
    int32_t keyLength = length;
    bool aes = false;
    if (filter == "Standard") {
        if (v == 1 && r == 2) {
            supported = true;
            keyLength = 40;
        } else if ((v == 1 && r == 3) || (v == 2 && (r == 2 || r == 3))) {
            supported = true;
        } else if ((v == 4 && r == 4) || (v == 5 && (r == 5 || r == 6))) {
            if (v == 4) {
                if (const auto* em = As<TPDFBoolean>(dict->GetValue("EncryptMetadata", true))) {
                    encryption.EncryptMetadata = em->Truth;
                }
            }
            const auto* cf = As<TPDFDictionary>(dict->GetValue("CF", true));
            const auto* stdCf =
                cf != nullptr ? As<TPDFDictionary>(cf->GetValue("StdCF", true)) : nullptr;
            const auto* strF = As<TPDFName>(dict->GetValue("StrF", true));
            const auto* stmF = As<TPDFName>(dict->GetValue("StmF", true));
            if (stdCf != nullptr && strF != nullptr && strF->Text == "StdCF" && stmF != nullptr &&
                stmF->Text == "StdCF") {
                const std::string method = NameEntry(stdCf, "CFM");
                // The crypt filter's Length is taken as it stands (bytes, normally).
                const TPDFNumeric* cfLength = NumberEntry(stdCf, "Length");
                auto given = [&](int32_t fallback) {
                    return cfLength != nullptr ? cfLength->AsInteger() : fallback;
                };
                if (v == 4 && method == "AESV2") {
                    supported = true;
                    aes = true;
                    keyLength = given(128);
                } else if (v == 4 && method == "V2") {
                    supported = true;
                    keyLength = given(40);
                } else if (v == 5 && method == "AESV3") {
                    supported = true;
                    aes = true;
                    keyLength = given(32);
                    if (keyLength == 256) keyLength = 32;  // given in bits
                    encryption.OwnerKeyEntry = StringEntry(dict, "OE");
                    encryption.UserKeyEntry = StringEntry(dict, "UE");
                    encryption.PermsEntry = StringEntry(dict, "Perms");
                }
            }
        }
    }
    if (supported) {
        encryption.KeyLength = keyLength;
        encryption.UseAES = aes;
        encryption.Revision = r;
        encryption.Algorithm = v;
        encryption.OwnerEntry = StringEntry(dict, "O");
        encryption.UserEntry = StringEntry(dict, "U");
        encryption.Permissions = permissions;
    }
    return v != 0 ? 1 : 2;
}

TSmartPDFInfo::TSmartPDFInfo(TSmartPDFReader& reader, bool count, const std::u16string& password)
    : Reader(&reader), Version(reader.Version) {
    reader.OnIDCreated = [this](TSmartPDFReader&) {
        if (Crypt) Crypt->FileID = FirstIdElement();
    };
    reader.OnObjectStream = [this](int32_t number, TPDFStream* stream) {
        if (EncryptState == 1 && Crypt) Crypt->DecryptObject(Crypt->ObjectKey(number, 0), stream);
    };

    EncryptDict = reader.TrailerValue("Encrypt");
    uint32_t permissions = 0;
    EncryptState = ReadEncryption(EncryptDict, Encryption, permissions);
    int32_t encryptNumber = 0;
    if (reader.Trailer != nullptr) {
        TPDFObject* entry = reader.Trailer->GetValue("Encrypt", false);
        if (const auto* ref = As<TPDFIndRef>(entry)) encryptNumber = ref->TargetNumber;
        // An "Encrypt" entry that is there but cannot be read as a dictionary still means
        // the file's strings and streams may be encrypted; it counts as unsupported. A
        // null value, or a reference to an object the table does not hold, is no entry
        // (ISO 32000-1, 7.3.10).
        if (EncryptDict == nullptr && entry != nullptr && As<TPDFNull>(entry) == nullptr) {
            bool defined = true;
            if (const auto* ref = As<TPDFIndRef>(entry)) {
                const int32_t n = ref->TargetNumber;
                defined = n > 0 && n <= reader.LastObjectNumber() &&
                          (reader.Entries[static_cast<size_t>(n)].Kind == 'n' ||
                           reader.Entries[static_cast<size_t>(n)].Kind == 'c');
                if (defined && As<TPDFNull>(reader.FetchObject(n, nullptr)) != nullptr) {
                    defined = false;
                }
            }
            if (defined) EncryptState = 2;
        }
    }

    Crypt = std::make_unique<TSmartPDFCrypt>(Encryption, EncryptState, encryptNumber);
    Crypt->FileID = FirstIdElement();
    Crypt->SetPermissions(permissions);
    Crypt->SetPassword(password);
    if (count) Count();
}

TSmartPDFInfo::~TSmartPDFInfo() {
    if (Reader != nullptr) {
        Reader->OnIDCreated = nullptr;
        Reader->OnObjectStream = nullptr;
    }
}

std::string TSmartPDFInfo::FirstIdElement() const {
    if (Reader->Trailer == nullptr) return {};
    TPDFObject* id = Reader->Trailer->GetValue("ID", false);
    if (auto* ref = As<TPDFIndRef>(id)) id = Reader->FetchObject(ref->TargetNumber, nullptr);
    const auto* array = As<TPDFArray>(id);
    if (array == nullptr) return {};
    TPDFObject* first = array->Get(0);
    if (auto* ref = As<TPDFIndRef>(first)) first = Reader->FetchObject(ref->TargetNumber, nullptr);
    if (const auto* s = As<TPDFString>(first)) return s->Bytes;
    return {};
}

void TSmartPDFInfo::Count() {
    TPDFDictionary* root = Reader->TrailerValue("Root");
    if (root == nullptr) return;
    if (const auto* pages = As<TPDFDictionary>(root->GetValue("Pages", true))) {
        if (const auto* n = As<TPDFNumeric>(pages->GetValue("Count", true))) {
            PageCount = n->AsInteger();
        }
    }
    if (const auto* form = As<TPDFDictionary>(root->GetValue("AcroForm", true))) {
        const auto* fields = As<TPDFArray>(form->GetValue("Fields", true));
        FieldCount = fields != nullptr ? fields->Count() : 0;
    }
}

int32_t TSmartPDFInfo::SecurityStatus(int32_t query) const {
    if (query != kQueryEncryption) return -1;
    switch (EncryptState) {
        case 0:
            return 0;
        case 1:
            return 1;
        default:
            return 9;
    }
}

}  // namespace verava
