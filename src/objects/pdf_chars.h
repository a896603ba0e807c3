// Character classes of PDF syntax (ISO 32000-1 7.2.2) shared by everything that reads file
// bytes: the parser, object headers, stream framing, the repair scan and the filters.
#pragma once

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

}  // namespace verava
