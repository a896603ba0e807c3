#include "merge/smart_pdf_crypt.h"

namespace verava {
namespace {

uint8_t FromHandlerClass(uint8_t keyClass) {
    switch (keyClass) {
        case kKeyClassRc4Medium:
            return kSmartKeyClassRc4Medium;
        case kKeyClassAes256R6:
            return kSmartKeyClassAes256R6;
        default:
            return keyClass;
    }
}

uint8_t ToHandlerClass(uint8_t keyClass) {
    switch (keyClass) {
        case kSmartKeyClassRc4Medium:
            return kKeyClassRc4Medium;
        case kSmartKeyClassAes256R6:
            return kKeyClassAes256R6;
        default:
            return keyClass;
    }
}

}  // namespace

TSmartPDFCrypt::TSmartPDFCrypt(const TSmartPDFEncryption& encryption, uint8_t encryptState,
                               int32_t encryptObjectNumber)
    : Encryption(encryption),
      EncryptState(encryptState),
      encryptObjectNumber_(encryptObjectNumber) {}

void TSmartPDFCrypt::SetPermissions(uint32_t p) {
    handler_.SetPermissions(p);
    PermissionBits = handler_.PermissionBits;
    PermissionFlags = handler_.PermissionFlags;
    ExtraPermissionFlags = handler_.ExtraPermissionFlags;
    MalformedP = handler_.MalformedP;
}

void TSmartPDFCrypt::Prepare() {
    idStore_.Clear();
    TPDFDictionary* trailer = idStore_.NewDictionary();
    TPDFArray* id = idStore_.NewArray();
    id->Add(idStore_.NewString(FileID, true));
    trailer->SetValue("ID", id);
    handler_.SetTrailer(trailer);

    TPDFEncryption& e = handler_.Encryption;
    e = TPDFEncryption{};
    e.Encrypted = EncryptState != 0;
    e.InfoRead = true;  // the record below is the one to use, not a fresh read
    e.KeyLength = Encryption.KeyLength;
    e.Revision = Encryption.Revision;
    e.Algorithm = Encryption.Algorithm;
    e.OwnerEntry = Encryption.OwnerEntry;
    e.UserEntry = Encryption.UserEntry;
    e.OwnerKeyEntry = Encryption.OwnerKeyEntry;
    e.UserKeyEntry = Encryption.UserKeyEntry;
    e.PermsEntry = Encryption.PermsEntry;
    e.Permissions = Encryption.Permissions;
    e.EncryptMetadata = Encryption.EncryptMetadata;
    if (Encryption.UseAES) {
        e.CipherMode = Encryption.Aes256 ? kCipherAes256 : kCipherAes128;
    } else {
        e.CipherMode = kCipherRc4;
    }
    e.EncryptObjectNumber = encryptObjectNumber_;

    handler_.PermissionBits = PermissionBits;
    handler_.ObjectKeyBase = ObjectKeyBase;
    handler_.FileKey = FileKey;
    handler_.KeyClass = ToHandlerClass(KeyClass);
}

void TSmartPDFCrypt::Collect() {
    FileKey = handler_.FileKey;
    ComputedOwner = handler_.ComputedOwner;
    ComputedUser = handler_.ComputedUser;
    OwnerPassword = handler_.OwnerPassword;
    UserPassword = handler_.UserPassword;
    KeyClass = FromHandlerClass(handler_.KeyClass);
}

bool TSmartPDFCrypt::CheckUserPassword(const std::u16string& password) {
    Prepare();
    const bool accepted = handler_.CheckUserPassword(password);
    Collect();
    return accepted;
}

bool TSmartPDFCrypt::CheckOwnerPassword(const std::u16string& password) {
    Prepare();
    const bool accepted = handler_.CheckOwnerPassword(password);
    Collect();
    return accepted;
}

bool TSmartPDFCrypt::SetPassword(const std::u16string& password) {
    const bool accepted = CheckUserPassword(password) || CheckOwnerPassword(password);
    if (accepted) {
        Password = u"!" + password;
        ObjectKeyBase = FileKey;
    } else {
        Password.clear();
    }
    return accepted;
}

std::string TSmartPDFCrypt::ObjectKey(int32_t number, int32_t generation) {
    Prepare();
    return handler_.ObjectKey(number, generation);
}

void TSmartPDFCrypt::DecryptObject(std::string_view key, TPDFObject* object) {
    Prepare();
    handler_.DecryptObject(key, object);
}

}  // namespace verava
