#include <windows.h>

#include <cctype>
#include <cstring>

#include "objects/charset_text.h"

namespace verava {
namespace {

// The sets callers name, as Windows code pages. Windows knows no set by iconv's names, and
// the engine needs only these few.
UINT CodePageOf(const char* charset) {
    struct Named {
        const char* name;
        UINT codePage;
    };
    static constexpr Named kSets[] = {
        {"UTF-8", CP_UTF8},     {"UTF8", CP_UTF8},     {"GBK", 936},      {"CP936", 936},
        {"GB2312", 936},        {"GB18030", 54936},    {"BIG5", 950},     {"CP1252", 1252},
        {"WINDOWS-1252", 1252}, {"SHIFT_JIS", 932},    {"CP932", 932},    {"EUC-KR", 949},
        {"CP949", 949},         {"ISO-8859-1", 28591}, {"LATIN1", 28591},
    };
    std::string upper = charset != nullptr ? charset : "";
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const Named& set : kSets) {
        if (upper == set.name) return set.codePage;
    }
    return 0;
}

// Code pages for which WideCharToMultiByte refuses the flags that report a missing code.
bool ReportsInvalidDirectly(UINT codePage) { return codePage == CP_UTF8 || codePage == 54936; }

}  // namespace

std::optional<std::string> UnicodeToCharset(std::u16string_view text, const char* charset) {
    const UINT codePage = CodePageOf(charset);
    if (codePage == 0) return std::nullopt;
    if (text.empty()) return std::string();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    // Exact or nothing: no best-fit look-alikes, no '?' for a character without a code.
    const DWORD flags =
        ReportsInvalidDirectly(codePage) ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = ReportsInvalidDirectly(codePage) ? nullptr : &usedDefault;
    const int size =
        WideCharToMultiByte(codePage, flags, wide, length, nullptr, 0, nullptr, usedDefaultOut);
    if (size <= 0 || usedDefault) return std::nullopt;
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, flags, wide, length, out.data(), size, nullptr, usedDefaultOut);
    if (usedDefault) return std::nullopt;
    // A lone surrogate has no code in any set; not every code page's conversion says so.
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::u16string> CharsetToUnicode(std::string_view bytes, const char* charset) {
    const UINT codePage = CodePageOf(charset);
    if (codePage == 0) return std::nullopt;
    if (bytes.empty()) return std::u16string();
    const int length = static_cast<int>(bytes.size());
    const int size =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (size <= 0) return std::nullopt;
    std::u16string text(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length,
                        reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
}

}  // namespace verava
