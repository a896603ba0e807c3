// Character classes of PDF syntax (ISO 32000-1 7.2.2) shared by everything that reads file
// bytes: the parser, object headers, stream framing, the repair scan and the filters.
#pragma once

#include <string>
#include <string_view>

namespace verava {

// NUL, TAB, LF, FF, CR and space.
inline bool IsPdfWhitespace(unsigned char c) {
    return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}

// The ten delimiter characters ( ) < > [ ] { } / %.
inline bool IsPdfDelimiter(unsigned char c) {
    switch (c) {
        case '(':
        case ')':
        case '<':
        case '>':
        case '[':
        case ']':
        case '{':
        case '}':
        case '/':
        case '%':
            return true;
        default:
            return false;
    }
}

inline bool IsPdfDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// The blanks that may stand between "stream" and its line end, or around "endstream":
// whitespace other than the line-end characters.
inline bool IsStreamPadding(unsigned char c) { return c == 0 || c == 9 || c == 12 || c == 32; }

// The value of a hexadecimal digit of either case, or -1.
inline int HexDigitValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A name's text with its "#xx" escapes resolved (7.3.5), from the bytes after the "/"; a "#"
// not followed by two hexadecimal digits stands for itself.
inline std::string UnescapeName(std::string_view raw) {
    std::string text;
    text.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '#' && i + 2 < raw.size()) {
            const int high = HexDigitValue(static_cast<unsigned char>(raw[i + 1]));
            const int low = HexDigitValue(static_cast<unsigned char>(raw[i + 2]));
            if (high >= 0 && low >= 0) {
                text.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        text.push_back(raw[i]);
    }
    return text;
}

}  // namespace verava
