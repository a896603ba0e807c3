// Text in the character sets of other systems, through glibc's iconv or, on Windows, the
// system's code pages: a password typed on Chinese Windows is hashed as its code page 936 (GBK)
// bytes, a command line from a GBK terminal arrives in those bytes. Conversions are exact: a
// character without a code, or bytes that are not valid in the set, make the whole conversion fail
// instead of being replaced or dropped.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace verava {

// `text` (UTF-16) in `charset`, named as glibc's iconv names it ("GBK", "GB18030", "UTF-8");
// nullopt when the system does not know the set, a character has no code in it, or `text` holds
// an unpaired surrogate.
std::optional<std::string> UnicodeToCharset(std::u16string_view text, const char* charset);

// `bytes` in `charset` as UTF-16; nullopt when the system does not know the set or the bytes are
// not a complete, valid sequence in it.
std::optional<std::u16string> CharsetToUnicode(std::string_view bytes, const char* charset);

}  // namespace verava
