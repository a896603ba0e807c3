#include <locale.h>
#include <wchar.h>
#include <wctype.h>

#include "objects/string_list.h"

namespace verava {
namespace {

// The user's locale, opened once; "C" when the environment names none or a broken one.
locale_t UserLocale() {
    static locale_t loc = [] {
        locale_t l = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
        if (l == static_cast<locale_t>(0))
            l = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
        return l;
    }();
    return loc;
}

// Multibyte text in the given locale as wide characters; false when it is not valid there.
bool ToWide(std::string_view text, locale_t loc, std::wstring& out) {
    locale_t previous = uselocale(loc);
    out.clear();
    mbstate_t state{};
    size_t i = 0;
    bool ok = true;
    while (i < text.size()) {
        wchar_t wc;
        size_t n = mbrtowc(&wc, text.data() + i, text.size() - i, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            ok = false;
            break;
        }
        if (n == 0) n = 1;  // an embedded NUL
        out.push_back(wc);
        i += n;
    }
    uselocale(previous);
    return ok;
}

}  // namespace

std::optional<int> CompareInUserLocale(std::string_view a, std::string_view b, bool matchCase) {
    locale_t loc = UserLocale();
    std::wstring wa, wb;
    if (loc != static_cast<locale_t>(0) && ToWide(a, loc, wa) && ToWide(b, loc, wb) &&
        wa.find(L'\0') == std::wstring::npos && wb.find(L'\0') == std::wstring::npos) {
        if (!matchCase) {
            for (wchar_t& c : wa) c = towlower_l(c, loc);
            for (wchar_t& c : wb) c = towlower_l(c, loc);
        }
        const int r = wcscoll_l(wa.c_str(), wb.c_str(), loc);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    return std::nullopt;
}

}  // namespace verava
