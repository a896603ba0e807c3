// The standard security handler of an encrypted document (ISO 32000-1 7.6.3, ISO 32000-2
// 7.6.4): reads the trailer's "Encrypt" dictionary, checks passwords as user or owner password
// for revisions 2 to 6, derives the file key and each object's key, and decrypts or
// re-encrypts strings and streams in place. The document holds one and calls it on load, on
// fetch and on save; it owns neither the trailer nor any PDF object.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "objects/pdf_object.h"
#include "security/pdf_encryption.h"

namespace verava {

// Values of TPDFSecurityHandler::KeyClass: the cipher and the key length of the revision 2-4
// derivation.
inline constexpr uint8_t kKeyClassRc4_40 = 0;     // 5-byte key
inline constexpr uint8_t kKeyClassRc4_128 = 1;    // 16-byte key (any length but those below)
inline constexpr uint8_t kKeyClassAes128 = 2;     // 16-byte key, "sAlT" object keys
inline constexpr uint8_t kKeyClassAes256R5 = 3;   // 32-byte key from "UE"/"OE"
inline constexpr uint8_t kKeyClassRc4Medium = 5;  // 40 < Length < 128: Length / 8 bytes
inline constexpr uint8_t kKeyClassAes256R6 = 6;   // 32-byte key from "UE"/"OE"

class TPDFSecurityHandler {
  public:
    // The 32-byte password padding string of ISO 32000-1, 7.6.3.3, Algorithm 2.
    static const std::string& PaddingString();
    // Containers nested deeper than this are left as they are by DecryptObject/EncryptObject.
    static constexpr int kMaxDepth = 1024;

    // Fills the record from `trailer` (not owned; kept for the "ID" that the key derivation
    // reads, and for later EncryptionStatus calls). Clears the record and the state first.
    // A referenced "Encrypt" is resolved through the trailer's store.
    void ReadEncryption(TPDFDictionary* trailer);
    // Keeps `trailer` for a later lazy read without reading now (InfoRead stays false).
    void SetTrailer(TPDFDictionary* trailer);
    TPDFDictionary* Trailer() const { return trailer_; }

    // 0 no "Encrypt" entry, 1 a supported configuration, 2 an unsupported one. Reads the
    // kept trailer first when the record has not been read.
    int EncryptionStatus();
    // Checks the byte forms of `password` in turn (see PasswordForms), each as user and as
    // owner password; the first form either check accepts wins, and its key is remembered.
    // An empty password never opens an AES-256 file as owner.
    void TryPassword(const std::u16string& password);
    bool NeedsDecryption();
    // Both try the byte forms of `password` in turn and set FileKey, UserPassword and
    // OwnerPassword from the first form accepted. Without an "Encrypt" entry they accept
    // exactly the empty password; with an unsupported one they accept nothing.
    bool CheckUserPassword(const std::u16string& password);
    bool CheckOwnerPassword(const std::u16string& password);
    // The byte forms of `password` the current revision is tried with, in order:
    // LegacyPasswordForms for revisions 2-4, Utf8PasswordForms for 5 and 6.
    std::vector<std::string> PasswordForms(std::u16string_view password) const;

    // The key for strings and streams of object (number, generation); empty for the
    // encryption dictionary itself.
    std::string ObjectKey(int32_t number, int32_t generation) const;
    // Decrypt or encrypt every string and stream inside `object` in place. "XRef" streams,
    // and "Metadata" streams when EncryptMetadata is false, are left alone. Modified flags
    // are kept as they were. An empty key leaves everything unchanged.
    void DecryptObject(std::string_view key, TPDFObject* object) const;
    void EncryptObject(std::string_view key, TPDFObject* object) const;

    // The trailer's "ID" array; a missing or malformed one is replaced by a new array of two
    // equal hex strings: the MD5 digest of the current local date-time as a day count.
    static TPDFArray* EnsureID(TPDFDictionary* trailer);

    // Clears the record and the whole state and forgets the trailer.
    void Reset();

    // "rc4-40", "rc4-128", "rc4-<bits>" for other RC4 key lengths, "aes-128", "aes-256", or
    // "" when the document is not encrypted with a supported configuration.
    std::string CipherName();

    // Revisions 2-4 (ISO 32000-1 Algorithms 2-5): derives FileKey and ComputedUser from
    // UserPassword, OwnerPassword, ComputedOwner and ComputedUser (see the .cpp).
    void ComputeFileKey();
    // ISO 32000-2 Algorithm 2.B: the revision 6 password hash (32 bytes).
    static std::string Revision6Hash(std::string_view input, std::string_view password,
                                     std::string_view userData);
    // Revisions 5 and 6: decrypts "Perms" with FileKey and, when it carries the "adb" marker,
    // takes Permissions from it. Does not affect acceptance.
    void CheckPermsEntry();
    // Sets PermissionBits, MalformedP and the two flag bytes from a "P" value.
    void SetPermissions(uint32_t p);
    // The key length n in bytes of the revision 2-4 derivation for the current KeyClass.
    int KeyBytes() const;

    TPDFEncryption Encryption;

    // Security state.
    std::u16string Password;  // the accepted password
    bool UserAccepted = false;
    bool OwnerAccepted = false;
    std::string ObjectKeyBase;         // file key remembered when a password was accepted
    std::string FileKey;               // key produced by the last check
    uint32_t PermissionBits = 0;       // copy of "P"
    uint8_t PermissionFlags = 0;       // 1 print, 2 copy, 4 modify, 8 annotate
    uint8_t ExtraPermissionFlags = 0;  // 1 fill forms, 2 accessibility, 4 assemble, 8 HQ print
    uint8_t KeyClass = kKeyClassRc4_40;
    std::string ComputedOwner;  // work values of the revision 2-4 derivation
    std::string ComputedUser;
    std::string OwnerPassword;  // password bytes of the last check
    std::string UserPassword;
    bool EmptyPasswordOpens = false;
    bool MalformedP = false;  // "P" below 65536: its high bits should all be set

  private:
    void ClearState();
    void SetKeyClass();
    bool LegacyUserMatches() const;
    // One check of password bytes as the derivation hashes them; the record must describe a
    // supported configuration and KeyClass must be set.
    bool CheckUserBytes(const std::string& bytes);
    bool CheckOwnerBytes(const std::string& bytes);
    bool CheckAes256(std::string_view password, bool owner);
    void Transform(std::string_view key, TPDFObject* object, bool decrypt, int depth,
                   std::unordered_set<const TPDFObject*>& seen) const;
    std::string TransformBytes(std::string_view key, std::string_view data, bool decrypt) const;
    std::string FirstIdElement();

    TPDFDictionary* trailer_ = nullptr;
};

}  // namespace verava
