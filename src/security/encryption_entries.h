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

// Reads the entries (references resolved through the dictionary's store).
TEncryptionEntries ReadEncryptionEntries(const TPDFDictionary& dict);

// "P" is a signed 32-bit integer in the standard, but some writers store its unsigned form
// (4294963440); both give the same bit pattern.
uint32_t PermissionPattern(double value);

}  // namespace verava
