#include "merge/smart_pdf_info.h"

#include <cmath>

#include "objects/number_text.h"
#include "security/encryption_entries.h"

namespace verava {

uint8_t TSmartPDFInfo::ReadEncryption(const TPDFDictionary* dict, TSmartPDFEncryption& encryption,
                                      uint32_t& permissions) {
    encryption = TSmartPDFEncryption{};
    permissions = 0;
    if (dict == nullptr) return 0;

    const TEncryptionEntries e = ReadEncryptionEntries(*dict);
    permissions = e.P;
    const TEncryptionScheme scheme = SchemeOf(e);
    const TKeyParameters key = KeyParametersOf(e, scheme);
    encryption.KeyLength = key.bits;
    if (UsesCryptFilterRevision(e) && e.V == 4 && e.HasEncryptMetadata) {
        encryption.EncryptMetadata = e.EncryptMetadata;
    }
    if (scheme == TEncryptionScheme::CryptFilterAes256) {
        encryption.OwnerKeyEntry = e.OE;
        encryption.UserKeyEntry = e.UE;
        encryption.PermsEntry = e.Perms;
    }
    if (scheme != TEncryptionScheme::Unsupported) {
        encryption.Filters = *CryptFiltersOf(e);
        encryption.UseAES = key.cipher != TCipherKind::Rc4;
        encryption.Aes256 = key.cipher == TCipherKind::Aes256;
        encryption.Revision = e.R;
        encryption.Algorithm = e.V;
        encryption.OwnerEntry = e.O;
        encryption.UserEntry = e.U;
        encryption.Permissions = permissions;
    }
    return e.V != 0 ? 1 : 2;
}

TSmartPDFInfo::TSmartPDFInfo(TSmartPDFReader& reader, bool count, const std::u16string& password)
    : Reader(&reader), Version(reader.Version()) {
    reader.SetOnIDCreated([this](TSmartPDFReader&) {
        if (Crypt) Crypt->SetFileID(FirstIdElement());
    });
    reader.SetOnObjectStream([this](int32_t number, TPDFStream* stream) {
        if (EncryptState == 1 && Crypt) Crypt->DecryptObject(Crypt->ObjectKey(number, 0), stream);
    });

    EncryptDict = reader.TrailerValue("Encrypt");
    uint32_t permissions = 0;
    EncryptState = ReadEncryption(EncryptDict, Encryption, permissions);
    int32_t encryptNumber = 0;
    if (reader.Trailer() != nullptr) {
        TPDFObject* entry = reader.Trailer()->GetValue("Encrypt", false);
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
                          (reader.Entries()[static_cast<size_t>(n)].Kind == 'n' ||
                           reader.Entries()[static_cast<size_t>(n)].Kind == 'c');
                if (defined && As<TPDFNull>(reader.FetchObject(n, nullptr)) != nullptr) {
                    defined = false;
                }
            }
            if (defined) EncryptState = 2;
        }
    }

    Crypt = std::make_unique<TSmartPDFCrypt>(Encryption, EncryptState, encryptNumber);
    Crypt->SetFileID(FirstIdElement());
    Crypt->SetPermissions(permissions);
    Crypt->SetPassword(password);
    if (count) Count();
}

TSmartPDFInfo::~TSmartPDFInfo() {
    if (Reader != nullptr) {
        Reader->SetOnIDCreated(nullptr);
        Reader->SetOnObjectStream(nullptr);
    }
}

std::string TSmartPDFInfo::FirstIdElement() const {
    if (Reader->Trailer() == nullptr) return {};
    TPDFObject* id = Reader->Trailer()->GetValue("ID", false);
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
