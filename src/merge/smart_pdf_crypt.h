// The standard security handler's algorithms (ISO 32000-1, 7.6.3; ISO 32000-2, 7.6.4) as a
// merge input uses them: password checks, file key, object keys and in-place decryption,
// run over the parameters of TSmartPDFEncryption. The derivations are the value functions of
// standard_keys.h, the document's handler's too; this class keeps what they return, the
// merge's own key class numbering and its password marker.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "objects/pdf_object.h"
#include "security/pdf_encryption.h"
#include "security/standard_keys.h"

namespace verava {

// A merge input's encryption parameters, from its "Encrypt" dictionary.
struct TSmartPDFEncryption {
    int32_t KeyLength = 0;  // in bits, as the document's handler reads it
    int32_t Revision = 0;   // "R", set only for a supported configuration
    int32_t Algorithm = 0;  // "V", set only for a supported configuration
    std::string OwnerEntry;
    std::string UserEntry;
    uint32_t Permissions = 0;
    bool UseAES = false;  // crypt filter method "AESV2" or "AESV3"
    bool Aes256 = false;  // "AESV3"
    std::string OwnerKeyEntry;
    std::string UserKeyEntry;
    std::string PermsEntry;
    bool EncryptMetadata = true;
    TCryptFilters Filters;  // the method of each kind of data, for a supported configuration
};

// Values of TSmartPDFCrypt::KeyClass (the merge numbers two classes differently from the
// document handler).
inline constexpr uint8_t kSmartKeyClassRc4_40 = 0;
inline constexpr uint8_t kSmartKeyClassRc4_128 = 1;
inline constexpr uint8_t kSmartKeyClassAes128 = 2;
inline constexpr uint8_t kSmartKeyClassAes256R5 = 3;
inline constexpr uint8_t kSmartKeyClassRc4Medium = 4;  // 40 < KeyLength < 128
inline constexpr uint8_t kSmartKeyClassAes256R6 = 5;

class TSmartPDFCrypt {
  public:
    // `encryptObjectNumber`: the number of the encryption dictionary when "Encrypt" is a
    // reference (its strings are never encrypted), else 0.
    TSmartPDFCrypt(const TSmartPDFEncryption& encryption, uint8_t encryptState,
                   int32_t encryptObjectNumber = 0);
    TSmartPDFCrypt(const TSmartPDFCrypt&) = delete;
    TSmartPDFCrypt& operator=(const TSmartPDFCrypt&) = delete;

    void SetPermissions(uint32_t p);
    // The first element of the trailer's "ID", which the revision 2-4 derivation reads.
    void SetFileID(std::string id) { fileID_ = std::move(id); }
    // Checks `password` as user and then as owner password. Accepted: Password := "!" +
    // password and ObjectKeyBase := FileKey; otherwise Password is cleared.
    bool SetPassword(const std::u16string& password);
    bool CheckUserPassword(const std::u16string& password);
    bool CheckOwnerPassword(const std::u16string& password);
    // ISO 32000-1 Algorithm 1 (the file key itself for AES-256).
    TObjectKey ObjectKey(int32_t number, int32_t generation) const;
    // Strings and stream data inside `object`, in place, each by its crypt filter; "XRef"
    // streams, and "Metadata" streams when EncryptMetadata is false, are left alone. An empty
    // key changes nothing.
    void DecryptObject(const TObjectKey& key, TPDFObject* object) const;

    const std::string& ObjectKeyBase() const { return objectKeyBase_; }
    const std::string& FileKey() const { return fileKey_; }
    // "!" + the accepted password, or empty.
    const std::u16string& Password() const { return password_; }
    const TSmartPDFEncryption& Encryption() const { return encryption_; }
    uint8_t EncryptState() const { return encryptState_; }  // 0 none, 1 V != 0, 2 V 0 or missing
    uint32_t PermissionBits() const { return permissionBits_; }
    uint8_t PermissionFlags() const { return permissionFlags_; }
    uint8_t ExtraPermissionFlags() const { return extraPermissionFlags_; }
    // Set by the password checks.
    uint8_t KeyClass() const { return keyClass_; }
    bool MalformedP() const { return malformedP_; }
    const std::string& FileID() const { return fileID_; }

  private:
    bool CheckPassword(const std::u16string& password, bool owner);

    std::string objectKeyBase_;
    std::string fileKey_;
    std::u16string password_;
    TSmartPDFEncryption encryption_;
    uint8_t encryptState_ = 0;
    uint32_t permissionBits_ = 0;
    uint8_t permissionFlags_ = 0;
    uint8_t extraPermissionFlags_ = 0;
    uint8_t keyClass_ = kSmartKeyClassRc4_40;
    bool malformedP_ = false;
    std::string fileID_;
    // The record in the form the derivations read, made once.
    TPDFEncryption record_;
};

}  // namespace verava
