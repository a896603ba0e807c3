// The bytes a typed password may have been hashed as. For revisions 2-4 the password comes
// "from host system codepage characters" (ISO 32000-1, 7.6.3.3, Algorithm 2 step a): on
// Chinese Windows that is code page 936 (GBK), so tools wrote GBK bytes where PDFDocEncoding
// has no code, and others wrote UTF-8. Revisions 5 and 6 hash the UTF-8 of the
// SASLprep-prepared password (ISO 32000-2, 7.6.4.3.3, Algorithm 2.A step a; RFC 4013). The
// security handler tries each form in the order given here; the first one a check accepts
// is the password.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace verava {

// Revisions 2-4: PDFDocEncoding when every character has a code, then GBK, then GB18030
// (where GBK has no code or a different one), then UTF-8; each at most 32 bytes, the
// length the derivation reads, and each distinct byte string once.
std::vector<std::string> LegacyPasswordForms(std::u16string_view password);

// Revisions 5 and 6: SaslPrep(password) when the profile accepts the text, then the UTF-8 of
// SaslPrepMapped(password) (writers that mapped but did not normalise), then the UTF-8 as
// typed (writers that skipped the preparation); each cut to 127 bytes, each distinct one once.
// A text the profile refuses still gets the other forms: refusing cannot open a file.
std::vector<std::string> Utf8PasswordForms(std::u16string_view password);

// SASLprep (RFC 4013) in UTF-8, as a query string (unassigned code points pass): the mapping
// of SaslPrepMapped, NFKC, the prohibited output of RFC 4013 2.3 and the bidi rule of RFC 3454
// section 6. Nothing when the profile refuses the text ("\u0007", "\u0627" + "1").
//   "\u2163" (ROMAN NUMERAL FOUR) -> "IV"    "e\u0301" -> "\u00E9"    "I\u00ADX" -> "IX"
std::optional<std::string> SaslPrep(std::u16string_view password);

// SASLprep's mapping step alone (RFC 4013, 2.1): non-ASCII spaces (RFC 3454 table C.1.2)
// become U+0020, the characters "commonly mapped to nothing" (table B.1) are removed.
std::u16string SaslPrepMapped(std::u16string_view password);

}  // namespace verava
