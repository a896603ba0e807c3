#include "merge/smart_pdf_crypt.h"

#include "security/pdf_security_handler.h"
#include "security/standard_keys.h"

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

}  // namespace

TSmartPDFCrypt::TSmartPDFCrypt(const TSmartPDFEncryption& encryption, uint8_t encryptState,
                               int32_t encryptObjectNumber)
    : encryption_(encryption), encryptState_(encryptState) {
    TPDFEncryption& e = record_;
    e.Encrypted = encryptState != 0;
    e.InfoRead = true;
    e.KeyLength = encryption.KeyLength;
    e.Revision = encryption.Revision;
    e.Algorithm = encryption.Algorithm;
    e.OwnerEntry = encryption.OwnerEntry;
    e.UserEntry = encryption.UserEntry;
    e.OwnerKeyEntry = encryption.OwnerKeyEntry;
    e.UserKeyEntry = encryption.UserKeyEntry;
    e.PermsEntry = encryption.PermsEntry;
    e.Permissions = encryption.Permissions;
    e.EncryptMetadata = encryption.EncryptMetadata;
    e.Filters = encryption.Filters;
    if (encryption.UseAES) {
        e.CipherMode = encryption.Aes256 ? kCipherAes256 : kCipherAes128;
    } else {
        e.CipherMode = kCipherRc4;
    }
    e.EncryptObjectNumber = encryptObjectNumber;
}

void TSmartPDFCrypt::SetPermissions(uint32_t p) {
    permissionBits_ = p;
    const TPermissionFlags flags = PermissionFlagsOf(p);
    permissionFlags_ = flags.flags;
    extraPermissionFlags_ = flags.extraFlags;
    malformedP_ = flags.malformed;
}

bool TSmartPDFCrypt::CheckPassword(const std::u16string& password, bool owner) {
    // As the document's handler: no "Encrypt" accepts exactly the empty password, an
    // unsupported configuration nothing.
    if (!record_.Encrypted) return password.empty();
    if (record_.Algorithm == 0) return false;
    keyClass_ = FromHandlerClass(KeyClassOf(record_));
    std::optional<std::string> key = FileKeyForPassword(record_, fileID_, password, owner);
    if (!key) return false;
    fileKey_ = std::move(*key);
    return true;
}

bool TSmartPDFCrypt::CheckUserPassword(const std::u16string& password) {
    return CheckPassword(password, false);
}

bool TSmartPDFCrypt::CheckOwnerPassword(const std::u16string& password) {
    return CheckPassword(password, true);
}

bool TSmartPDFCrypt::SetPassword(const std::u16string& password) {
    const bool accepted = CheckUserPassword(password) || CheckOwnerPassword(password);
    if (accepted) {
        password_ = u"!" + password;
        objectKeyBase_ = fileKey_;
    } else {
        password_.clear();
    }
    return accepted;
}

TObjectKey TSmartPDFCrypt::ObjectKey(int32_t number, int32_t generation) const {
    return ObjectKeyOf(record_, objectKeyBase_, fileKey_, number, generation);
}

void TSmartPDFCrypt::DecryptObject(const TObjectKey& key, TPDFObject* object) const {
    TransformObject(record_, key, object, true);
}

}  // namespace verava
