// Encryption dictionaries of the standard security handler for chosen password BYTES, so a
// test can protect a file the way another tool would have: GBK, UTF-8 or PDFDocEncoding
// bytes of one typed text. Revisions 2-4 follow ISO 32000-1 Algorithms 2-5 written out here
// over our MD5 and RC4 (each checked against published vectors); revisions 5 and 6 follow
// ISO 32000-2 Algorithms 8 and 9 with a chosen file key, hashing with
// Revision6Hash (checked against independent values).
//   << /Filter /Standard /V 2 /R 3 /Length 128 /O <...> /U <...> /P -3904 >>
#pragma once

#include <cstdint>
#include <string>

namespace verava::testing {

struct StandardEncryption {
    // 2 (40-bit RC4), 3 (128-bit RC4), 4 (128-bit crypt filter), 5 or 6 (AES-256).
    int Revision = 3;
    bool Aes = false;          // revision 4: AESV2 instead of RC4
    std::string UserPassword;  // the bytes hashed
    // Empty: as the user password for revisions 2-4 (Algorithm 3 step a), the empty
    // password for 5 and 6.
    std::string OwnerPassword;
    int32_t P = -3904;
    std::string Id0 =
        std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f", 16);
    // Revisions 5 and 6 wrap this key; revisions 2-4 derive theirs (see FileKey).
    std::string Aes256Key = std::string(32, '\x5c');
};

// The dictionary, as text for a trailer's "Encrypt" or an object body.
std::string EncryptDictionary(const StandardEncryption& e);
// "<< /Size 9 /ID [<id0> <id0>] /Encrypt <dictionary> >>".
std::string TrailerWith(const StandardEncryption& e);
// The file key a reader must arrive at.
std::string FileKey(const StandardEncryption& e);
// ISO 32000-1 Algorithm 1 for an RC4 file: the key of object (number, generation).
std::string Rc4ObjectKey(const std::string& fileKey, int32_t number, int32_t generation);

}  // namespace verava::testing
