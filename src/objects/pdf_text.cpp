#include "objects/pdf_text.h"

#include <array>

namespace verava {
namespace {

constexpr std::array<char16_t, 256> BuildPdfDocEncoding() {
    std::array<char16_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<char16_t>(i);
    struct Pair {
        unsigned char code;
        char16_t unit;
    };
    constexpr Pair differences[] = {
        {22, 0x0017},  {24, 0x02D8},  {25, 0x02C7},  {26, 0x02C6},  {27, 0x02D9},  {28, 0x02DD},
        {29, 0x02DB},  {30, 0x02DA},  {31, 0x02DC},  {127, 0xFFFD}, {128, 0x2022}, {129, 0x2020},
        {130, 0x2021}, {131, 0x2026}, {132, 0x2014}, {133, 0x2013}, {134, 0x0192}, {135, 0x2044},
        {136, 0x2039}, {137, 0x203A}, {138, 0x2212}, {139, 0x2030}, {140, 0x201E}, {141, 0x201C},
        {142, 0x201D}, {143, 0x2018}, {144, 0x2019}, {145, 0x201A}, {146, 0x2122}, {147, 0xFB01},
        {148, 0xFB02}, {149, 0x0141}, {150, 0x0152}, {151, 0x0160}, {152, 0x0178}, {153, 0x017D},
        {154, 0x0131}, {155, 0x0142}, {156, 0x0153}, {157, 0x0161}, {158, 0x017E}, {159, 0xFFFD},
        {160, 0x20AC}, {173, 0xFFFD},
    };
    for (const Pair& p : differences) t[p.code] = p.unit;
    return t;
}

// Built at compile time: the only table the engine shares between all documents.
constexpr std::array<char16_t, 256> kPdfDocEncoding = BuildPdfDocEncoding();

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void AppendCodePoint(std::u16string& out, uint32_t cp) {
    if (!IsAcceptedCodePoint(cp)) cp = kReplacement;
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

// Walks UTF-16 units, combining pairs; unpaired surrogates become U+FFFD.
template <typename Fn>
void ForEachCodePoint(std::u16string_view text, Fn&& fn) {
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t u = text[i];
        if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            fn(0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            fn(kReplacement);
        } else {
            fn(u);
        }
    }
}

void DropLeadingBom(std::u16string& s) {
    if (!s.empty() && s[0] == 0xFEFF) s.erase(0, 1);
}

}  // namespace

char16_t PdfDocEncodingUnit(unsigned char code) { return kPdfDocEncoding[code]; }

bool IsAcceptedCodePoint(uint32_t cp) {
    if (cp == 0xFFFD || cp > 0x10FFFF) return false;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    if ((cp & 0xFFFE) == 0xFFFE) return false;
    if (cp >= 0xFDD0 && cp <= 0xFDEF) return false;
    return true;
}

std::u16string_view StripLengthMarker(std::u16string_view text) {
    if (text.size() >= 2 && (text[0] >> 8) == 0xE7 && (text[1] >> 8) == 0xF8) {
        size_t length = (static_cast<size_t>(text[1] & 0xFF) << 8) | (text[0] & 0xFF);
        return text.substr(2, length);
    }
    return text;
}

std::u16string CodePointToUtf16(uint32_t codePoint) {
    std::u16string out;
    if (codePoint >= 0x10000 && codePoint <= 0x10FFFF) {
        codePoint -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(codePoint > 0xFFFF ? kReplacement : codePoint));
    }
    return out;
}

std::u16string PdfTextToUnicode(std::string_view bytes) {
    std::u16string out;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        // Big-endian UTF-16; an odd last byte counts as the high half of a unit.
        std::u16string units;
        units.reserve(n / 2 + 1);
        for (size_t i = 0; i < n; i += 2) {
            char16_t hi = b[i];
            char16_t lo = i + 1 < n ? b[i + 1] : 0;
            units.push_back(static_cast<char16_t>((hi << 8) | lo));
        }
        out.reserve(units.size());
        ForEachCodePoint(units, [&](uint32_t cp) { AppendCodePoint(out, cp); });
        DropLeadingBom(out);
        return out;
    }
    if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        out.reserve(n / 2);
        for (size_t i = 2; i + 1 < n; i += 2) {
            out.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
        }
        return out;
    }
    out.resize(n);
    for (size_t i = 0; i < n; ++i) out[i] = kPdfDocEncoding[b[i]];
    return out;
}

std::string UnicodeToPdfText(std::u16string_view input, bool alwaysUnicode) {
    std::u16string_view text = StripLengthMarker(input);
    std::string out;
    if (text.empty()) return out;
    if (!alwaysUnicode) {
        out.reserve(text.size());
        bool allEncoded = true;
        for (char16_t u : text) {
            if (u < 256 && kPdfDocEncoding[u] == u) {
                out.push_back(static_cast<char>(u));
                continue;
            }
            int found = -1;
            for (int c = 0; c < 256; ++c) {
                if (kPdfDocEncoding[c] == u) {
                    found = c;
                    break;
                }
            }
            if (found < 0) {
                allEncoded = false;
                break;
            }
            out.push_back(static_cast<char>(found));
        }
        if (allEncoded) return out;
        out.clear();
    }
    out.reserve(2 + text.size() * 2);
    out.push_back(static_cast<char>(0xFE));
    out.push_back(static_cast<char>(0xFF));
    std::u16string checked;
    checked.reserve(text.size());
    ForEachCodePoint(text, [&](uint32_t cp) { AppendCodePoint(checked, cp); });
    for (char16_t u : checked) {
        out.push_back(static_cast<char>(u >> 8));
        out.push_back(static_cast<char>(u & 0xFF));
    }
    return out;
}

std::u16string Utf8ToUnicode(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size() + bytes.size() / 10 + 16);
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char lead = b[i];
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        int extra;
        uint32_t cp;
        unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            cp = lead & 0x0F;
            if (lead == 0xE0) lo = 0xA0;
            if (lead == 0xED) hi = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            cp = lead & 0x07;
            if (lead == 0xF0) lo = 0x90;
            if (lead == 0xF4) hi = 0x8F;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        // Take the longest valid prefix; a broken sequence yields one U+FFFD for that prefix.
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < extra; ++k, ++j) {
            unsigned char minByte = k == 0 ? lo : 0x80;
            unsigned char maxByte = k == 0 ? hi : 0xBF;
            if (j >= n || b[j] < minByte || b[j] > maxByte) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (b[j] & 0x3F);
        }
        if (!ok) {
            out.push_back(kReplacement);
            i = j;
            continue;
        }
        AppendCodePoint(out, cp);
        i = j;
    }
    DropLeadingBom(out);
    return out;
}

std::string UnicodeToUtf8(std::u16string_view input) {
    std::u16string_view text = StripLengthMarker(input);
    std::string out;
    out.reserve(text.size() + text.size() / 10 + 16);
    bool first = true;
    ForEachCodePoint(text, [&](uint32_t cp) {
        if (first && cp == 0xFEFF) {
            first = false;
            return;
        }
        first = false;
        if (!IsAcceptedCodePoint(cp)) cp = kReplacement;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    });
    return out;
}

}  // namespace verava
