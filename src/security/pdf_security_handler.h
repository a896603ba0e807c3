// The standard security handler of an encrypted document (ISO 32000-1 7.6.3, ISO 32000-2
// 7.6.4): reads the trailer's "Encrypt" dictionary, checks passwords as user or owner password
// for revisions 2 to 6 (with the derivations of standard_keys.h), keeps the accepted key, and
// decrypts or re-encrypts strings and streams in place. The document holds one and calls it
// on load, on fetch and on save; it owns neither the trailer nor any PDF object.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "objects/pdf_object.h"
#include "security/pdf_encryption.h"
#include "security/standard_keys.h"

namespace verava {

class TPDFSecurityHandler {
  public:
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
    // Both try the byte forms of `password` in turn and set FileKey from the first form
    // accepted. Without an "Encrypt" entry they accept exactly the empty password; with an
    // unsupported one they accept nothing.
    bool CheckUserPassword(const std::u16string& password);
    bool CheckOwnerPassword(const std::u16string& password);
    // The byte forms of `password` the current revision is tried with, in order:
    // LegacyPasswordForms for revisions 2-4, Utf8PasswordForms for 5 and 6.
    std::vector<std::string> PasswordForms(std::u16string_view password) const;

    // The keys for strings and streams of object (number, generation); empty for the
    // encryption dictionary itself.
    TObjectKey ObjectKey(int32_t number, int32_t generation) const;
    // Decrypt or encrypt every string and stream inside `object` in place (see
    // TransformObject).
    void DecryptObject(const TObjectKey& key, TPDFObject* object) const;
    void EncryptObject(const TObjectKey& key, TPDFObject* object) const;

    // The trailer's "ID" array; a missing or malformed one is replaced by a new array of two
    // equal hex strings: the MD5 digest of the current local date-time as a day count.
    static TPDFArray* EnsureID(TPDFDictionary* trailer);

    // Clears the record and the whole state and forgets the trailer.
    void Reset();

    // "rc4-40", "rc4-128", "rc4-<bits>" for other RC4 key lengths, "aes-128", "aes-256", or
    // "" when the document is not encrypted with a supported configuration.
    std::string CipherName();

    // Sets PermissionBits, MalformedP and the two flag bytes from a "P" value.
    void SetPermissions(uint32_t p);
    // The document records whether the empty password opened the file.
    void SetEmptyPasswordOpens(bool opens) { emptyPasswordOpens_ = opens; }

    // The record read from the encryption dictionary.
    const TPDFEncryption& Encryption() const { return encryption_; }
    // Security state.
    const std::u16string& Password() const { return password_; }  // the accepted password
    bool UserAccepted() const { return userAccepted_; }
    bool OwnerAccepted() const { return ownerAccepted_; }
    // The file key remembered when a password was accepted.
    const std::string& ObjectKeyBase() const { return objectKeyBase_; }
    const std::string& FileKey() const { return fileKey_; }  // key of the last check passed
    uint32_t PermissionBits() const { return permissionBits_; }  // copy of "P"
    uint8_t PermissionFlags() const { return permissions_.flags; }
    uint8_t ExtraPermissionFlags() const { return permissions_.extraFlags; }
    bool MalformedP() const { return permissions_.malformed; }
    // Set by the password checks.
    uint8_t KeyClass() const { return keyClass_; }
    // The key length n in bytes of the revision 2-4 derivation for the current KeyClass.
    int KeyBytes() const { return KeyBytesOf(keyClass_, encryption_.KeyLength); }
    bool EmptyPasswordOpens() const { return emptyPasswordOpens_; }

  private:
    void ClearState();
    // The key that password bytes open the file with; the record must describe a supported
    // configuration.
    std::optional<std::string> CheckBytes(const std::string& bytes, bool owner);
    bool CheckPassword(const std::u16string& password, bool owner);
    std::string FirstIdElement();

    TPDFEncryption encryption_;
    std::u16string password_;
    bool userAccepted_ = false;
    bool ownerAccepted_ = false;
    std::string objectKeyBase_;
    std::string fileKey_;
    uint32_t permissionBits_ = 0;
    TPermissionFlags permissions_;
    uint8_t keyClass_ = kKeyClassRc4_40;
    bool emptyPasswordOpens_ = false;
    TPDFDictionary* trailer_ = nullptr;
};

// The method a stream's data are encrypted with (ISO 32000-1 7.6.5, 7.4.10), by the first
// rule that applies: "XRef" streams never (7.5.8.2), nor "Metadata" streams when
// EncryptMetadata is false; a stream whose first filter is "Crypt" by the filter its
// DecodeParms "Name" gives (Identity when absent; a name "CF" lacks, or whose method is not
// supported, keeps the data as stored); "EmbeddedFile" streams by EFF; any other by StmF.
//   << /Filter [/Crypt /FlateDecode] /DecodeParms [<< /Name /Identity >> null] >>  -> Identity
TCryptMethod StreamCryptMethod(const TPDFEncryption& e, const TPDFDictionary* dict);

// Decrypts or encrypts every string and stream inside `object` in place: strings by the
// method of StrF, stream data by StreamCryptMethod, each with `key` for that method. "XRef"
// streams, and "Metadata" streams when EncryptMetadata is false, are left alone whole, their
// dictionaries too; so are containers nested deeper than TPDFSecurityHandler::kMaxDepth.
// Modified flags are kept as they were. An empty key leaves everything unchanged.
void TransformObject(const TPDFEncryption& e, const TObjectKey& key, TPDFObject* object,
                     bool decrypt);

}  // namespace verava
