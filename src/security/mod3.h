// Remainder modulo 3 of a 128-bit big-endian number. Revision 6 password hashing
// (ISO 32000-2, 7.6.4.3.4) picks SHA-256, -384 or -512 by this remainder of the first 16
// bytes of each AES round's output.
#pragma once

#include <string_view>

namespace verava {

// The first 16 bytes of `block` (fewer if it is shorter) as one unsigned big-endian number,
// reduced modulo 3: 0, 1 or 2.
int Mod3Of128(std::string_view block);

}  // namespace verava
