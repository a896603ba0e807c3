#include <windows.h>

#include "objects/string_list.h"

namespace verava {
namespace {

// The user's multibyte text is in the ANSI code page; false when it is not valid there.
bool ToWide(std::string_view text, std::wstring& out) {
    out.clear();
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    const int size =
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (size <= 0) return false;
    out.resize(static_cast<size_t>(size));
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, out.data(),
                               size) == size;
}

}  // namespace

std::optional<int> CompareInUserLocale(std::string_view a, std::string_view b, bool matchCase) {
    std::wstring wa, wb;
    if (!ToWide(a, wa) || !ToWide(b, wb) || wa.find(L'\0') != std::wstring::npos ||
        wb.find(L'\0') != std::wstring::npos) {
        return std::nullopt;
    }
    const int r = CompareStringEx(LOCALE_NAME_USER_DEFAULT, matchCase ? 0 : LINGUISTIC_IGNORECASE,
                                  wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                                  static_cast<int>(wb.size()), nullptr, nullptr, 0);
    if (r == 0) return std::nullopt;
    return r == CSTR_LESS_THAN ? -1 : (r == CSTR_GREATER_THAN ? 1 : 0);
}

}  // namespace verava
