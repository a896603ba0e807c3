// RC4 stream cipher, used by the standard security handler up to revision 4 for strings,
// streams and key derivation (ISO 32000-2, 7.6.3). Encryption and decryption are one call.
#pragma once

#include <string>
#include <string_view>

namespace verava {

// `data` XOR the RC4 key stream of `key`, from a fresh state on every call. The key is used
// as given (PDF keys are 5 to 32 bytes); an empty key has no key stream and gives an empty
// result.
std::string Rc4(std::string_view key, std::string_view data);

}  // namespace verava
