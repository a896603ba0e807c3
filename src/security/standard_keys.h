// The key derivations of the standard security handler (ISO 32000-1, 7.6.2 and 7.6.3.3-4;
// ISO 32000-2, 7.6.4.3-4) as functions of values. They read an encryption record and the
// first element of the trailer's "ID" and return keys; they keep no state. The document's
// handler and the merge's input check both call them, each keeping its own results.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "security/pdf_encryption.h"

namespace verava {

// Key classes: the cipher and the key length of the revision 2-4 derivation.
inline constexpr uint8_t kKeyClassRc4_40 = 0;     // 5-byte key
inline constexpr uint8_t kKeyClassRc4_128 = 1;    // 16-byte key (any length but those below)
inline constexpr uint8_t kKeyClassAes128 = 2;     // 16-byte key, "sAlT" object keys
inline constexpr uint8_t kKeyClassAes256R5 = 3;   // 32-byte key from "UE"/"OE"
inline constexpr uint8_t kKeyClassRc4Medium = 5;  // 40 < Length < 128: Length / 8 bytes
inline constexpr uint8_t kKeyClassAes256R6 = 6;   // 32-byte key from "UE"/"OE"

// The 32-byte password padding string of ISO 32000-1, 7.6.3.3, Algorithm 2.
const std::string& PasswordPadding();

uint8_t KeyClassOf(const TPDFEncryption& e);
// The key length n in bytes of a key class (`keyLength` in bits for the medium RC4 class).
int KeyBytesOf(uint8_t keyClass, int32_t keyLength);

// The byte forms a password is tried in (see password_forms.h): legacy forms for revisions
// 2-4, UTF-8 forms for AES-256.
std::vector<std::string> PasswordFormsOf(const TPDFEncryption& e, std::u16string_view password);

// Revisions 2-4. `id0` is the first element of the trailer's "ID" (empty without one).
// Algorithm 2: the file key for user password bytes.
std::string ComputeFileKey(const TPDFEncryption& e, std::string_view id0,
                           std::string_view userPassword);
// Algorithms 4 and 5: the "U" value a file key gives (32 bytes).
std::string ComputeUserEntry(const TPDFEncryption& e, std::string_view id0,
                             std::string_view fileKey);
// Algorithm 3 steps a-d: the RC4 key that encrypts "O", from owner password bytes.
std::string ComputeOwnerKey(const TPDFEncryption& e, std::string_view ownerPassword);
// Algorithm 7 step b: the user password "O" holds under an owner key.
std::string UserPasswordOfOwnerEntry(const TPDFEncryption& e, std::string_view ownerKey);

// ISO 32000-2 Algorithm 2.B: the revision 6 password hash (32 bytes).
std::string Revision6Hash(std::string_view input, std::string_view password,
                          std::string_view userData);

// The file key that password bytes open the file with, as user or as owner password, or
// nothing when the check fails. `e` describes a supported configuration.
std::optional<std::string> FileKeyForPassword(const TPDFEncryption& e, std::string_view id0,
                                              std::string_view password, bool owner);
// The same over the byte forms of a typed password; the first form accepted wins.
std::optional<std::string> FileKeyForPassword(const TPDFEncryption& e, std::string_view id0,
                                              std::u16string_view password, bool owner);

// Revisions 5 and 6: the permissions "Perms" holds under the file key, when it decrypts to a
// block carrying the "adb" marker.
std::optional<uint32_t> PermissionsOfPerms(std::string_view fileKey, std::string_view perms);

// The keys of one object's strings and streams (ISO 32000-1, 7.6.2, Algorithm 1). RC4 and
// AES-128 keys differ by the "sAlT" that AES-128 adds, and one file's crypt filters may use
// both; AES-256 uses the file key itself.
struct TObjectKey {
    std::string Rc4;
    std::string Aes;  // AES-128's salted key, or the AES-256 file key
    // The key for data encrypted with `method`; empty for Identity.
    const std::string& For(TCryptMethod method) const;
    bool Empty() const { return Rc4.empty() && Aes.empty(); }
};

// The keys of object (number, generation) for the methods e.Filters uses. Both are empty for
// the encryption dictionary, whose strings are never encrypted; the AES-128 key too when the
// file key is shorter than 11 bytes, as AES takes no key shorter than 16.
TObjectKey ObjectKeyOf(const TPDFEncryption& e, std::string_view objectKeyBase,
                       std::string_view fileKey, int32_t number, int32_t generation);

// What a "P" value allows, as flag bytes.
struct TPermissionFlags {
    uint8_t flags = 0;       // 1 print, 2 copy, 4 modify, 8 annotate
    uint8_t extraFlags = 0;  // 1 fill forms, 2 accessibility, 4 assemble, 8 HQ print
    bool malformed = false;  // below 65536: its high bits should all be set
};
TPermissionFlags PermissionFlagsOf(uint32_t p);

}  // namespace verava
