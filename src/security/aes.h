// AES (FIPS 197) in CBC mode (NIST SP 800-38A) with 128, 192 and 256-bit keys. PDF AESV2 and
// AESV3 encryption (ISO 32000-2, 7.6.3) stores each string and stream as a 16-byte random IV
// followed by the CBC ciphertext of the PKCS#7-padded data. The key length picks the variant;
// any other length, and any malformed input, gives an empty result rather than an error.
#pragma once

#include <string>
#include <string_view>

namespace verava {

// Plain CBC over whole blocks, no padding. Empty result when the key is not 16, 24 or 32
// bytes, the IV is not 16 bytes, or the data length is not a multiple of 16.
std::string AesCbcEncrypt(std::string_view key, std::string_view iv, std::string_view data);
std::string AesCbcDecrypt(std::string_view key, std::string_view iv, std::string_view data);

// A fresh random IV followed by the CBC ciphertext of `plaintext` padded with k bytes of
// value k (1 <= k <= 16). Empty when the key length is unsupported or no random IV could be
// had.
std::string AesEncryptWithIV(std::string_view key, std::string_view plaintext);

// Inverse of AesEncryptWithIV: the first 16 bytes are the IV. Empty when the data is shorter
// than 17 bytes, the part after the IV is not whole blocks, the padding is invalid or the key
// length is unsupported.
std::string AesDecryptWithIV(std::string_view key, std::string_view data);

}  // namespace verava
