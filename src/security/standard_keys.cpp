#include "security/standard_keys.h"

#include <algorithm>

#include "security/aes.h"
#include "security/md5.h"
#include "security/mod3.h"
#include "security/password_forms.h"
#include "security/rc4.h"
#include "security/sha2.h"

namespace verava {
namespace {

std::string Pad(std::string_view password) {
    const std::string& padding = PasswordPadding();
    std::string out(password.substr(0, 32));
    out.append(padding, 0, 32 - out.size());
    return out;
}

std::string LittleEndian(uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

std::string XorEach(std::string_view key, unsigned char mask) {
    std::string out(key);
    for (char& c : out) c = static_cast<char>(static_cast<unsigned char>(c) ^ mask);
    return out;
}

size_t KeyBytes(const TPDFEncryption& e) {
    return static_cast<size_t>(std::max(KeyBytesOf(KeyClassOf(e), e.KeyLength), 0));
}

// Fifty more MD5 rounds for every key but 40-bit RC4 of revision 2.
bool ExtraRounds(const TPDFEncryption& e) {
    return KeyClassOf(e) != kKeyClassRc4_40 || e.Revision > 2;
}

bool UserEntryMatches(const TPDFEncryption& e, const std::string& computed) {
    const std::string& expected = e.UserEntry;
    if (e.KeyLength == 40 && e.Revision < 3) return computed == expected;
    // Revision 3 and later define only the first 16 bytes; the rest is arbitrary padding.
    return computed.size() >= 16 && expected.size() >= 16 &&
           computed.compare(0, 16, expected, 0, 16) == 0;
}

std::optional<std::string> LegacyUserKey(const TPDFEncryption& e, std::string_view id0,
                                         std::string_view password) {
    std::string key = ComputeFileKey(e, id0, password);
    if (!UserEntryMatches(e, ComputeUserEntry(e, id0, key))) return std::nullopt;
    return key;
}

// Algorithm 7: the owner password yields the key that decrypts "O" into the user password,
// which must then pass the user check.
std::optional<std::string> LegacyOwnerKey(const TPDFEncryption& e, std::string_view id0,
                                          std::string_view password) {
    return LegacyUserKey(e, id0, UserPasswordOfOwnerEntry(e, ComputeOwnerKey(e, password)));
}

// Eight bytes of a revision 5/6 "U" or "O" entry from `at`; zeros when the entry is too short
// to carry its salts.
std::string Salt(const std::string& entry, size_t at) {
    return entry.size() >= 48 ? entry.substr(at, 8) : std::string(8, '\0');
}

// ISO 32000-2 Algorithms 2.A, 11 and 12.
std::optional<std::string> Aes256Key(const TPDFEncryption& e, std::string_view password,
                                     bool owner) {
    const std::string& entry = owner ? e.OwnerEntry : e.UserEntry;
    const std::string userData = owner ? e.UserEntry.substr(0, 48) : std::string();
    const bool revision6 = e.Revision == 6;
    auto hash = [&](std::string_view salt) {
        std::string input(password);
        input.append(salt).append(userData);
        return revision6 ? Revision6Hash(input, password, userData) : Sha256(input);
    };
    if (entry.size() < 32 || hash(Salt(entry, 32)) != entry.substr(0, 32)) return std::nullopt;
    const std::string intermediate = hash(Salt(entry, 40));
    const std::string& wrapped = owner ? e.OwnerKeyEntry : e.UserKeyEntry;
    const std::string key = AesCbcDecrypt(intermediate, std::string(16, '\0'), wrapped);
    // A "UE"/"OE" that does not unwrap to a 32-byte key would leave nothing to decrypt with;
    // such a file cannot be opened with this password.
    if (key.size() < 32) return std::nullopt;
    return key.substr(0, 32);
}

}  // namespace

const std::string& PasswordPadding() {
    static const std::string kPadding(
        "\x28\xBF\x4E\x5E\x4E\x75\x8A\x41\x64\x00\x4E\x56\xFF\xFA\x01\x08"
        "\x2E\x2E\x00\xB6\xD0\x68\x3E\x80\x2F\x0C\xA9\xFE\x64\x53\x69\x7A",
        32);
    return kPadding;
}

uint8_t KeyClassOf(const TPDFEncryption& e) {
    if (e.CipherMode == kCipherAes128) return kKeyClassAes128;
    if (e.CipherMode == kCipherAes256) {
        return e.Revision == 6 ? kKeyClassAes256R6 : kKeyClassAes256R5;
    }
    if (e.KeyLength == 40) return kKeyClassRc4_40;
    if (e.KeyLength > 40 && e.KeyLength < 128) return kKeyClassRc4Medium;
    return kKeyClassRc4_128;
}

int KeyBytesOf(uint8_t keyClass, int32_t keyLength) {
    switch (keyClass) {
        case kKeyClassRc4_40:
            return 5;
        case kKeyClassAes256R5:
        case kKeyClassAes256R6:
            return 32;
        case kKeyClassRc4Medium:
            return keyLength / 8;
        default:
            return 16;
    }
}

std::vector<std::string> PasswordFormsOf(const TPDFEncryption& e, std::u16string_view password) {
    return e.CipherMode == kCipherAes256 ? Utf8PasswordForms(password)
                                         : LegacyPasswordForms(password);
}

std::string ComputeFileKey(const TPDFEncryption& e, std::string_view id0,
                           std::string_view userPassword) {
    const size_t n = KeyBytes(e);
    std::string input = Pad(userPassword);
    input += e.OwnerEntry;
    input += LittleEndian(e.Permissions, 4);
    input += id0;
    if (!e.EncryptMetadata) input.append(4, '\xFF');
    std::string h = Md5(input);
    if (ExtraRounds(e)) {
        for (int i = 0; i < 50; ++i) h = Md5(h.substr(0, n));
    }
    return h.substr(0, n);
}

std::string ComputeUserEntry(const TPDFEncryption& e, std::string_view id0,
                             std::string_view fileKey) {
    if (!ExtraRounds(e)) return Rc4(fileKey, PasswordPadding());
    std::string u = Rc4(fileKey, Md5(PasswordPadding() + std::string(id0)));
    for (int i = 1; i <= 19; ++i) u = Rc4(XorEach(fileKey, static_cast<unsigned char>(i)), u);
    return u + std::string(16, '\0');
}

std::string ComputeOwnerKey(const TPDFEncryption& e, std::string_view ownerPassword) {
    std::string h = Md5(Pad(ownerPassword));
    if (ExtraRounds(e)) {
        for (int i = 0; i < 50; ++i) h = Md5(h);
    }
    return h.substr(0, KeyBytes(e));
}

std::string UserPasswordOfOwnerEntry(const TPDFEncryption& e, std::string_view ownerKey) {
    if (e.Revision == 2) return Rc4(ownerKey, e.OwnerEntry);
    std::string password = e.OwnerEntry;
    for (int i = 19; i >= 0; --i) {
        password = Rc4(XorEach(ownerKey, static_cast<unsigned char>(i)), password);
    }
    return password;
}

std::string Revision6Hash(std::string_view input, std::string_view password,
                          std::string_view userData) {
    std::string k = Sha256(input);
    for (int round = 0;; ++round) {
        std::string block;
        block.reserve(password.size() + k.size() + userData.size());
        block.append(password).append(k).append(userData);
        std::string k1;
        k1.reserve(block.size() * 64);
        for (int i = 0; i < 64; ++i) k1 += block;
        const std::string e = AesCbcEncrypt(std::string_view(k).substr(0, 16),
                                            std::string_view(k).substr(16, 16), k1);
        if (e.empty()) return {};  // cannot happen: k1 is 64 copies, so whole blocks
        switch (Mod3Of128(e)) {
            case 0:
                k = Sha256(e);
                break;
            case 1:
                k = Sha384(e);
                break;
            default:
                k = Sha512(e);
                break;
        }
        const int last = static_cast<unsigned char>(e.back());
        if (round >= 63 && last <= round - 31) break;
    }
    return k.substr(0, 32);
}

std::optional<std::string> FileKeyForPassword(const TPDFEncryption& e, std::string_view id0,
                                              std::string_view password, bool owner) {
    if (e.CipherMode == kCipherAes256) return Aes256Key(e, password, owner);
    return owner ? LegacyOwnerKey(e, id0, password) : LegacyUserKey(e, id0, password);
}

std::optional<std::string> FileKeyForPassword(const TPDFEncryption& e, std::string_view id0,
                                              std::u16string_view password, bool owner) {
    for (const std::string& form : PasswordFormsOf(e, password)) {
        if (auto key = FileKeyForPassword(e, id0, std::string_view(form), owner)) return key;
    }
    return std::nullopt;
}

std::optional<uint32_t> PermissionsOfPerms(std::string_view fileKey, std::string_view perms) {
    const std::string p = AesCbcDecrypt(fileKey, std::string(16, '\0'), perms);
    if (p.empty() || p.find("adb") != 9) return std::nullopt;
    return static_cast<uint32_t>(static_cast<unsigned char>(p[0])) |
           static_cast<uint32_t>(static_cast<unsigned char>(p[1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(p[2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(p[3])) << 24;
}

const std::string& TObjectKey::For(TCryptMethod method) const {
    static const std::string kNone;
    switch (method) {
        case TCryptMethod::Rc4:
            return Rc4;
        case TCryptMethod::Aes128:
        case TCryptMethod::Aes256:
            return Aes;
        default:
            return kNone;
    }
}

namespace {

bool UsesMethod(const TCryptFilters& filters, TCryptMethod method) {
    if (filters.Strings == method || filters.Streams == method || filters.EmbeddedFiles == method) {
        return true;
    }
    return std::any_of(filters.Named.begin(), filters.Named.end(),
                       [&](const auto& named) { return named.second == method; });
}

// Algorithm 1 steps a-d: MD5 of the base key, the object's number and generation (and "sAlT"
// for AES), cut to the base key's length + 5, at most 16.
std::string SaltedKey(std::string_view objectKeyBase, int32_t number, int32_t generation,
                      bool aes) {
    std::string input(objectKeyBase);
    input += LittleEndian(static_cast<uint32_t>(number), 3);
    input += LittleEndian(static_cast<uint32_t>(generation), 2);
    if (aes) input += "sAlT";
    return Md5(input).substr(0, std::min<size_t>(objectKeyBase.size() + 5, 16));
}

}  // namespace

TObjectKey ObjectKeyOf(const TPDFEncryption& e, std::string_view objectKeyBase,
                       std::string_view fileKey, int32_t number, int32_t generation) {
    TObjectKey key;
    if (number == e.EncryptObjectNumber) return key;
    if (UsesMethod(e.Filters, TCryptMethod::Rc4)) {
        key.Rc4 = SaltedKey(objectKeyBase, number, generation, false);
    }
    if (UsesMethod(e.Filters, TCryptMethod::Aes256)) {
        key.Aes = std::string(fileKey);
    } else if (UsesMethod(e.Filters, TCryptMethod::Aes128) && objectKeyBase.size() + 5 >= 16) {
        key.Aes = SaltedKey(objectKeyBase, number, generation, true);
    }
    return key;
}

TPermissionFlags PermissionFlagsOf(uint32_t p) {
    TPermissionFlags out;
    out.malformed = p < 65536;
    if (p & 4) out.flags |= 1;
    if (p & 16) out.flags |= 2;
    if (p & 8) out.flags |= 4;
    if (p & 32) out.flags |= 8;
    if (p & 256) out.extraFlags |= 1;
    if (p & 512) out.extraFlags |= 2;
    if (p & 1024) out.extraFlags |= 4;
    if (p & 2048) out.extraFlags |= 8;
    return out;
}

}  // namespace verava
