// The entries of a standard security handler's encryption dictionary as they stand in the
// file (ISO 32000-1 7.6.1 and 7.6.3.2, ISO 32000-2 7.6.4.4). The document's handler and the
// merge's input check both read them here and then apply their own defaults and rules.
//   << /Filter /Standard /V 4 /R 4 /Length 128 /P -1084 /O <...> /U <...>
//      /CF << /StdCF << /CFM /AESV2 /Length 16 >> >> /StrF /StdCF /StmF /StdCF >>
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "objects/pdf_object.h"
#include "security/pdf_encryption.h"

namespace verava {

struct TEncryptionEntries {
    std::string Filter;  // the name of "Filter"
    int32_t V = 0;       // 0 when absent
    int32_t R = 0;
    bool HasLength = false;
    int32_t Length = 0;
    uint32_t P = 0;  // the bit pattern of "P"; 0 when absent
    std::string O, U, OE, UE, Perms;
    bool HasEncryptMetadata = false;
    bool EncryptMetadata = true;
    // "StrF", "StmF" and "EFF" as written; empty when absent.
    std::string StrF, StmF, EFF;
    // The crypt filter dictionaries of "CF" by name: "CFM" (empty when absent) and "Length"
    // as written (bytes by the standard, bits by some writers).
    struct CryptFilter {
        std::string Method;
        bool HasLength = false;
        int32_t Length = 0;
    };
    std::map<std::string, CryptFilter, std::less<>> CryptFilters;
};

// The standard security handler schemes the engine supports.
enum class TEncryptionScheme {
    Unsupported,
    Rc4Fixed40,         // V 1, R 2: 40-bit RC4 whatever Length says
    Rc4,                // V 1 R 3, V 2 R 2 or 3: RC4 of Length bits
    CryptFilterRc4,     // V 4 R 4, no kind of data with CFM AESV2
    CryptFilterAes128,  // V 4 R 4, some kind of data with CFM AESV2
    CryptFilterAes256,  // V 5 R 5 or 6 (CFM AESV3)
};

// True for the "Standard" revisions that name their ciphers through crypt filters
// (V 4 R 4, V 5 R 5 or 6), whether or not the filters are ones the engine supports.
bool UsesCryptFilterRevision(const TEncryptionEntries& e);
TEncryptionScheme SchemeOf(const TEncryptionEntries& e);

// The method of each kind of data. For the crypt filter revisions StrF and StmF default to
// Identity and EFF to StmF (ISO 32000-1 7.6.5, Table 20); each names "Identity" or a filter of
// "CF" whose CFM is None (or absent), or one the revision defines: V2 and AESV2 for V 4, AESV3
// for V 5. Anything else gives nothing: data that cannot be decrypted. Named filters with
// other methods are left out of Named, so a stream naming one stays as stored.
std::optional<TCryptFilters> CryptFiltersOf(const TEncryptionEntries& e);

// The cipher and key length of a supported scheme, by one rule for the document's handler
// and the merge's input check: "Length" is in bits (40 when absent) and V 1 R 2 is always 40;
// for V 4 the key is that of the first AESV2 filter among StmF, StrF and EFF, else of the
// first V2 one, a filter's "Length" in bytes (128 bits for AES when absent, 40 for RC4); with
// neither (every kind Identity) "Length" in bits, else 128. AES-256 keys are 256 bits.
enum class TCipherKind { Rc4, Aes128, Aes256 };
struct TKeyParameters {
    TCipherKind cipher = TCipherKind::Rc4;
    int32_t bits = 40;
};
TKeyParameters KeyParametersOf(const TEncryptionEntries& e, TEncryptionScheme scheme);

// Reads the entries (references resolved through the dictionary's store).
TEncryptionEntries ReadEncryptionEntries(const TPDFDictionary& dict);

// "P" is a signed 32-bit integer in the standard, but some writers store its unsigned form
// (4294963440); both give the same bit pattern.
uint32_t PermissionPattern(double value);

}  // namespace verava
