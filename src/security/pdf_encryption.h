// The parameters of a loaded document's standard security handler, as read from its
// encryption dictionary (ISO 32000-1, 7.6.1 and 7.6.3.2):
// "<< /Filter /Standard /V 2 /R 3 /Length 128 /O <...> /U <...> /P -3904 >>".
// Revision, Algorithm and the entries are filled only for a configuration the handler
// supports; Algorithm 0 marks one it does not.
#pragma once

#include <cstdint>
#include <string>

namespace verava {

// Values of TPDFEncryption::CipherMode.
inline constexpr uint8_t kCipherRc4 = 0;
inline constexpr uint8_t kCipherAes128 = 1;  // crypt filter method "AESV2"
inline constexpr uint8_t kCipherAes256 = 2;  // crypt filter method "AESV3"

struct TPDFEncryption {
    bool Encrypted = false;     // the trailer has an "Encrypt" entry
    bool InfoRead = false;      // filled from the current trailer
    int32_t KeyLength = 0;      // bits, as read
    int32_t Revision = 0;       // "R"
    int32_t Algorithm = 0;      // "V"; 0 for an unsupported configuration
    std::string OwnerEntry;     // "O"
    std::string UserEntry;      // "U"
    std::string OwnerKeyEntry;  // "OE" (revisions 5 and 6)
    std::string UserKeyEntry;   // "UE"
    std::string PermsEntry;     // "Perms"
    uint32_t Permissions = 0;   // "P" as a bit pattern
    uint8_t CipherMode = kCipherRc4;
    int32_t EncryptObjectNumber = 0;  // object number of the dictionary when referenced
    bool EncryptMetadata = true;
};

}  // namespace verava
