// The parameters of a loaded document's standard security handler, as read from its
// encryption dictionary (ISO 32000-1, 7.6.1 and 7.6.3.2):
// "<< /Filter /Standard /V 2 /R 3 /Length 128 /O <...> /U <...> /P -3904 >>".
// Revision, Algorithm and the entries are filled only for a configuration the handler
// supports; Algorithm 0 marks one it does not. Revision 4 and later name a crypt filter per
// kind of data: "/CF << /StdCF << /CFM /AESV2 >> >> /StrF /StdCF /StmF /Identity".
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace verava {

// Values of TPDFEncryption::CipherMode.
inline constexpr uint8_t kCipherRc4 = 0;
inline constexpr uint8_t kCipherAes128 = 1;  // crypt filter method "AESV2"
inline constexpr uint8_t kCipherAes256 = 2;  // crypt filter method "AESV3"

// What a crypt filter does to the data it applies to: its "CFM" (ISO 32000-1 Table 25,
// ISO 32000-2 Table 27). "None" and the Identity filter both leave the data as stored.
enum class TCryptMethod : uint8_t { Identity, Rc4, Aes128, Aes256 };

// The crypt filter of each kind of data (ISO 32000-1 7.6.5): StrF for strings, StmF for
// streams, EFF for embedded file streams, and every filter of "CF" by name for a stream that
// names its own in a "Crypt" filter (7.4.10). Revisions 2 and 3 encrypt everything with RC4.
struct TCryptFilters {
    TCryptMethod Strings = TCryptMethod::Rc4;
    TCryptMethod Streams = TCryptMethod::Rc4;
    TCryptMethod EmbeddedFiles = TCryptMethod::Rc4;
    std::map<std::string, TCryptMethod, std::less<>> Named;
};

// Every kind with one method, no named filters.
inline TCryptFilters UniformCryptFilters(TCryptMethod method) {
    return TCryptFilters{method, method, method, {}};
}

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
    // The cipher the file key is made for (its length and the "sAlT" of AES-128 keys); what
    // each kind of data is encrypted with is in Filters.
    uint8_t CipherMode = kCipherRc4;
    int32_t EncryptObjectNumber = 0;  // object number of the dictionary when referenced
    bool EncryptMetadata = true;
    TCryptFilters Filters;  // set with the supported configuration
};

}  // namespace verava
