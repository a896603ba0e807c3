#include "support/standard_encryption.h"

#include <algorithm>

#include "security/aes.h"
#include "security/md5.h"
#include "security/standard_keys.h"
#include "security/rc4.h"
#include "security/sha2.h"
#include "support/bytes.h"

namespace verava::testing {
namespace {

// ISO 32000-1, 7.6.3.3, Algorithm 2 step a.
const std::string kPadding =
    FromHex("28bf4e5e4e758a4164004e56fffa01082e2e00b6d0683e802f0ca9fe6453697a");

std::string Padded(const std::string& password) {
    std::string out = password.substr(0, 32);
    return out + kPadding.substr(0, 32 - out.size());
}

size_t KeyBytes(const StandardEncryption& e) { return e.Revision == 2 ? 5 : 16; }

std::string XorKey(std::string key, int value) {
    for (char& c : key) c = static_cast<char>(c ^ value);
    return key;
}

// Algorithm 3: "O".
std::string OwnerEntry(const StandardEncryption& e) {
    const std::string& owner = e.OwnerPassword.empty() ? e.UserPassword : e.OwnerPassword;
    std::string h = Md5(Padded(owner));
    if (e.Revision >= 3) {
        for (int i = 0; i < 50; ++i) h = Md5(h);
    }
    const std::string key = h.substr(0, KeyBytes(e));
    std::string o = Rc4(key, Padded(e.UserPassword));
    if (e.Revision >= 3) {
        for (int i = 1; i <= 19; ++i) o = Rc4(XorKey(key, i), o);
    }
    return o;
}

// Algorithm 2 with a given "O".
std::string LegacyFileKey(const StandardEncryption& e, const std::string& o) {
    const uint32_t p = static_cast<uint32_t>(e.P);
    std::string input = Padded(e.UserPassword) + o;
    for (int i = 0; i < 4; ++i) input.push_back(static_cast<char>((p >> (8 * i)) & 0xFF));
    input += e.Id0;
    std::string h = Md5(input);
    if (e.Revision >= 3) {
        for (int i = 0; i < 50; ++i) h = Md5(h.substr(0, KeyBytes(e)));
    }
    return h.substr(0, KeyBytes(e));
}

// Algorithms 4 (revision 2) and 5: "U", the unspecified half of revision 3+ as zeros.
std::string UserEntry(const StandardEncryption& e, const std::string& key) {
    if (e.Revision == 2) return Rc4(key, kPadding);
    std::string u = Rc4(key, Md5(kPadding + e.Id0));
    for (int i = 1; i <= 19; ++i) u = Rc4(XorKey(key, i), u);
    return u + std::string(16, '\0');
}

// The hash of ISO 32000-2 Algorithm 2.B (revision 6) or plain SHA-256 (revision 5).
std::string Aes256Hash(const StandardEncryption& e, const std::string& password,
                       const std::string& salt, const std::string& userData) {
    const std::string input = password + salt + userData;
    return e.Revision == 6 ? Revision6Hash(input, password, userData)
                           : Sha256(input);
}

std::string Hex(const std::string& bytes) { return "<" + ToHex(bytes) + ">"; }

std::string LegacyDictionary(const StandardEncryption& e) {
    const std::string o = OwnerEntry(e);
    const std::string u = UserEntry(e, LegacyFileKey(e, o));
    std::string head;
    switch (e.Revision) {
        case 2:
            head = "/V 1 /R 2";
            break;
        case 3:
            head = "/V 2 /R 3 /Length 128";
            break;
        default:
            head = std::string("/V 4 /R 4 /Length 128 /CF << /StdCF << /CFM /") +
                   (e.Aes ? "AESV2" : "V2") + " /Length 16 >> >> /StrF /StdCF /StmF /StdCF";
            break;
    }
    return "<< /Filter /Standard " + head + " /O " + Hex(o) + " /U " + Hex(u) + " /P " +
           std::to_string(e.P) + " >>";
}

// Algorithms 8 and 9 with fixed salts.
std::string Aes256Dictionary(const StandardEncryption& e) {
    const std::string zeroIv(16, '\0');
    const std::string userValidation(8, '\x11'), userKeySalt(8, '\x22');
    const std::string ownerValidation(8, '\x33'), ownerKeySalt(8, '\x44');
    const std::string u =
        Aes256Hash(e, e.UserPassword, userValidation, "") + userValidation + userKeySalt;
    const std::string ue =
        AesCbcEncrypt(Aes256Hash(e, e.UserPassword, userKeySalt, ""), zeroIv, e.Aes256Key);
    const std::string o =
        Aes256Hash(e, e.OwnerPassword, ownerValidation, u) + ownerValidation + ownerKeySalt;
    const std::string oe =
        AesCbcEncrypt(Aes256Hash(e, e.OwnerPassword, ownerKeySalt, u), zeroIv, e.Aes256Key);
    return "<< /Filter /Standard /V 5 /R " + std::to_string(e.Revision) +
           " /Length 256 /CF << /StdCF << /CFM /AESV3 /Length 32 >> >> /StrF /StdCF /StmF "
           "/StdCF /O " +
           Hex(o) + " /U " + Hex(u) + " /OE " + Hex(oe) + " /UE " + Hex(ue) + " /P " +
           std::to_string(e.P) + " >>";
}

}  // namespace

std::string EncryptDictionary(const StandardEncryption& e) {
    return e.Revision >= 5 ? Aes256Dictionary(e) : LegacyDictionary(e);
}

std::string TrailerWith(const StandardEncryption& e) {
    return "<< /Size 9 /ID [" + Hex(e.Id0) + " " + Hex(e.Id0) + "] /Encrypt " +
           EncryptDictionary(e) + " >>";
}

std::string FileKey(const StandardEncryption& e) {
    return e.Revision >= 5 ? e.Aes256Key : LegacyFileKey(e, OwnerEntry(e));
}

std::string Rc4ObjectKey(const std::string& fileKey, int32_t number, int32_t generation) {
    std::string input = fileKey;
    for (int i = 0; i < 3; ++i) input.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
    for (int i = 0; i < 2; ++i) input.push_back(static_cast<char>((generation >> (8 * i)) & 0xFF));
    return Md5(input).substr(0, std::min<size_t>(fileKey.size() + 5, 16));
}

}  // namespace verava::testing
