#include "security/password_forms.h"

#include <stringprep.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include "objects/charset_text.h"
#include "objects/pdf_text.h"

namespace verava {
namespace {

// Algorithm 2 pads or cuts the password to 32 bytes (ISO 32000-1, 7.6.3.3).
constexpr size_t kMaxLegacyPasswordBytes = 32;
// ISO 32000-2, 7.6.4.3.3, Algorithm 2.A step b.
constexpr size_t kMaxUtf8PasswordBytes = 127;

// RFC 3454, table B.1.
bool IsMappedToNothing(char16_t u) {
    switch (u) {
        case 0x00AD:
        case 0x034F:
        case 0x1806:
        case 0x180B:
        case 0x180C:
        case 0x180D:
        case 0x200B:
        case 0x200C:
        case 0x200D:
        case 0x2060:
        case 0xFEFF:
            return true;
        default:
            return u >= 0xFE00 && u <= 0xFE0F;
    }
}

// RFC 3454, table C.1.2 (all in the Basic Multilingual Plane).
bool IsNonAsciiSpace(char16_t u) {
    return u == 0x00A0 || u == 0x1680 || (u >= 0x2000 && u <= 0x200B) || u == 0x202F ||
           u == 0x205F || u == 0x3000;
}

std::optional<std::string> PdfDocEncodingBytes(std::u16string_view text) {
    // U+FFFD stands for a character lost before it got here; the table's undefined codes
    // read as U+FFFD, but typing one of them is not what happened.
    if (text.find(u'\uFFFD') != std::u16string_view::npos) return std::nullopt;
    std::string bytes = UnicodeToPdfText(text, false);
    // UnicodeToPdfText falls back to UTF-16 when a character has no code: that is no
    // PDFDocEncoding form, and a "?" in its place would let different passwords collide.
    if (bytes.size() != text.size()) return std::nullopt;
    return bytes;
}

void AddOnce(std::vector<std::string>& forms, std::optional<std::string> form, size_t limit) {
    if (!form) return;
    if (form->size() > limit) form->resize(limit);
    if (std::find(forms.begin(), forms.end(), *form) == forms.end()) {
        forms.push_back(std::move(*form));
    }
}

}  // namespace

std::vector<std::string> LegacyPasswordForms(std::u16string_view password) {
    const std::u16string_view text = StripLengthMarker(password);
    std::vector<std::string> forms;
    AddOnce(forms, PdfDocEncodingBytes(text), kMaxLegacyPasswordBytes);
    AddOnce(forms, UnicodeToCharset(text, "GBK"), kMaxLegacyPasswordBytes);
    AddOnce(forms, UnicodeToCharset(text, "GB18030"), kMaxLegacyPasswordBytes);
    AddOnce(forms, UnicodeToUtf8(text), kMaxLegacyPasswordBytes);
    return forms;
}

std::vector<std::string> Utf8PasswordForms(std::u16string_view password) {
    const std::u16string_view text = StripLengthMarker(password);
    std::vector<std::string> forms;
    AddOnce(forms, SaslPrep(text), kMaxUtf8PasswordBytes);
    AddOnce(forms, UnicodeToUtf8(SaslPrepMapped(text)), kMaxUtf8PasswordBytes);
    AddOnce(forms, UnicodeToUtf8(text), kMaxUtf8PasswordBytes);
    return forms;
}

std::optional<std::string> SaslPrep(std::u16string_view password) {
    // UnicodeToUtf8 turns a lone surrogate into U+FFFD, which the profile prohibits (RFC 3454
    // table C.6), so libidn only ever sees well-formed UTF-8.
    const std::string utf8 = UnicodeToUtf8(StripLengthMarker(password));
    // U+0000 is a prohibited control character (table C.2.1); libidn reads up to the first
    // zero byte and would prepare what comes before it instead.
    if (utf8.find('\0') != std::string::npos) return std::nullopt;
    char* prepared = nullptr;
    // Flags 0: unassigned code points are allowed, as for any query string (RFC 4013, 2.5);
    // the password is compared with what the writer stored, not stored itself.
    const int rc = stringprep_profile(utf8.c_str(), &prepared, "SASLprep",
                                      static_cast<Stringprep_profile_flags>(0));
    const std::unique_ptr<char, decltype(&std::free)> owned(prepared, &std::free);
    if (rc != STRINGPREP_OK || prepared == nullptr) return std::nullopt;
    return std::string(prepared);
}

std::u16string SaslPrepMapped(std::u16string_view password) {
    std::u16string mapped;
    mapped.reserve(password.size());
    for (char16_t u : password) {
        // U+200B is in both tables: a zero-width space is taken as nothing, not as a space.
        if (IsMappedToNothing(u)) continue;
        mapped.push_back(IsNonAsciiSpace(u) ? u' ' : u);
    }
    return mapped;
}

}  // namespace verava
