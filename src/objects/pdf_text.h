// PDF text strings and the Unicode forms around them: PDFDocEncoding (ISO 32000-1 Annex D),
// UTF-16BE with its FE FF mark, UTF-8, and the validity rules every conversion applies
// (surrogates, non-characters and U+FFFD itself come out as U+FFFD).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace verava {

// The PDFDocEncoding table: byte -> UTF-16 code unit.
char16_t PdfDocEncodingUnit(unsigned char code);

// Bytes of a PDF text string -> UTF-16 (FE FF big-endian, FF FE little-endian, else
// PDFDocEncoding).
std::u16string PdfTextToUnicode(std::string_view bytes);

// UTF-16 -> bytes of a PDF text string: PDFDocEncoding when every unit has a code and
// alwaysUnicode is false, else FE FF and UTF-16BE.
std::string UnicodeToPdfText(std::u16string_view text, bool alwaysUnicode);

std::u16string Utf8ToUnicode(std::string_view bytes);
std::string UnicodeToUtf8(std::u16string_view text);

// One code point as one UTF-16 unit, or a surrogate pair above U+FFFF.
std::u16string CodePointToUtf16(uint32_t codePoint);

// True when the code point may appear in converted text (not U+FFFD, a surrogate, a
// non-character or beyond U+10FFFF).
bool IsAcceptedCodePoint(uint32_t codePoint);

// Texts handed over from older callers may carry a two-unit length marker (high bytes E7 and
// F8) in front of the real text; this returns the text without it.
std::u16string_view StripLengthMarker(std::u16string_view text);

}  // namespace verava
