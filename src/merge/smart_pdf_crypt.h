// The standard security handler's algorithms (ISO 32000-1, 7.6.3; ISO 32000-2, 7.6.4) as a
// merge input uses them: password checks, file key, object keys and in-place decryption,
// run over the parameters of TSmartPDFEncryption. The derivations themselves are those of
// TPDFSecurityHandler; this class feeds them the merge input's record and keeps the merge's
// own key class numbering and password marker.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "objects/pdf_object.h"
#include "objects/pdf_structure.h"
#include "security/pdf_security_handler.h"

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
    // Checks `password` as user and then as owner password. Accepted: Password := "!" +
    // password and ObjectKeyBase := FileKey; otherwise Password is cleared.
    bool SetPassword(const std::u16string& password);
    bool CheckUserPassword(const std::u16string& password);
    bool CheckOwnerPassword(const std::u16string& password);
    // ISO 32000-1 Algorithm 1 (the file key itself for AES-256).
    std::string ObjectKey(int32_t number, int32_t generation);
    // Strings and stream data inside `object`, in place; "XRef" streams, and "Metadata"
    // streams when EncryptMetadata is false, are left alone. An empty key changes nothing.
    void DecryptObject(std::string_view key, TPDFObject* object);

    std::string ObjectKeyBase;
    std::string FileKey;
    std::u16string Password;  // "!" + the accepted password, or empty
    TSmartPDFEncryption Encryption;
    uint8_t EncryptState = 0;  // 0 none, 1 V != 0, 2 V 0 or missing
    uint32_t PermissionBits = 0;
    uint8_t PermissionFlags = 0;
    uint8_t ExtraPermissionFlags = 0;
    uint8_t KeyClass = kSmartKeyClassRc4_40;
    std::string ComputedOwner;
    std::string ComputedUser;
    std::string OwnerPassword;
    std::string UserPassword;
    bool MalformedP = false;
    std::string FileID;  // the first element of the trailer's "ID"

  private:
    // Loads the record, the file identifier and the keys into the shared handler.
    void Prepare();
    // Takes the results of a check back from the shared handler.
    void Collect();

    TPDFSecurityHandler handler_;
    TPDFStructure idStore_;  // holds the one-element "ID" the derivation reads
    int32_t encryptObjectNumber_ = 0;
};

}  // namespace verava
