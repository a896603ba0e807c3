// The entries of a standard security handler's encryption dictionary as they stand in the
// file (ISO 32000-1 7.6.1 and 7.6.3.2, ISO 32000-2 7.6.4.4). The document's handler and the
// merge's input check both read them here and then apply their own defaults and rules.
//   << /Filter /Standard /V 4 /R 4 /Length 128 /P -1084 /O <...> /U <...>
//      /CF << /StdCF << /CFM /AESV2 /Length 16 >> >> /StrF /StdCF /StmF /StdCF >>
#pragma once

#include <cstdint>
#include <string>

#include "objects/pdf_object.h"

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
    // StrF and StmF both name /StdCF and CF holds a StdCF dictionary; then its CFM name and
    // its Length as written.
    bool UsesStdCF = false;
    std::string Method;
    bool HasFilterLength = false;
    int32_t FilterLength = 0;
};

// The standard security handler schemes the engine supports.
enum class TEncryptionScheme {
    Unsupported,
    Rc4Fixed40,         // V 1, R 2: 40-bit RC4 whatever Length says
    Rc4,                // V 1 R 3, V 2 R 2 or 3: RC4 of Length bits
    CryptFilterRc4,     // V 4 R 4, StdCF with CFM V2
    CryptFilterAes128,  // V 4 R 4, StdCF with CFM AESV2
    CryptFilterAes256,  // V 5 R 5 or 6, StdCF with CFM AESV3
};

// True for the "Standard" revisions that name their ciphers through crypt filters
// (V 4 R 4, V 5 R 5 or 6), whether or not the filter is one the engine supports.
bool UsesCryptFilterRevision(const TEncryptionEntries& e);
TEncryptionScheme SchemeOf(const TEncryptionEntries& e);

// The cipher and key length of a supported scheme, by one rule for the document's handler
// and the merge's input check: "Length" is in bits (40 when absent) and V 1 R 2 is always 40;
// a crypt filter's "Length" is in bytes (40 bits for RC4 when absent, 128 for AES), and
// AES-256 keys are 256 bits whatever it says.
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
