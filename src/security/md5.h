// MD5 message digest (RFC 1321). The standard security handler derives file and object keys
// from it, and document identifiers hash their seed with it. MD5 is no longer collision
// resistant; PDF encryption up to revision 4 requires it regardless.
#pragma once

#include <string>
#include <string_view>

namespace verava {

// The 16-byte digest of `data` (RFC 1321).
std::string Md5(std::string_view data);

// Two lower-case hex digits per byte of `digest`: 32 characters for an MD5 digest.
std::string Md5Hex(std::string_view digest);

}  // namespace verava
