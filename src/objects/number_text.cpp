#include "objects/number_text.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "objects/platform.h"

namespace verava {

std::string PadNumber(int64_t n, int width) {
    if (n < 0) return std::string(width > 0 ? width : 0, '0');
    std::string digits = std::to_string(n);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
    return digits;
}

std::string IntText(int64_t n) { return std::to_string(n); }

std::string HexByte(unsigned char b) {
    static const char kDigits[] = "0123456789ABCDEF";
    return std::string{kDigits[b >> 4], kDigits[b & 15]};
}

std::string_view TrimBlanks(std::string_view text) {
    size_t start = 0;
    size_t end = text.size();
    while (start < end && static_cast<unsigned char>(text[start]) <= 0x20) ++start;
    while (end > start && static_cast<unsigned char>(text[end - 1]) <= 0x20) --end;
    return text.substr(start, end - start);
}

namespace {

// Parses into a 64-bit value with the limits given; false when it does not convert.
bool ParseIntegerText(std::string_view text, int64_t minValue, int64_t maxValue, uint64_t hexMask,
                      int64_t& result) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    size_t digits = 0;
    uint64_t value = 0;
    for (; i < text.size(); ++i, ++digits) {
        const char c = text[i];
        unsigned d;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            d = c - 'A' + 10;
        } else {
            break;
        }
        const uint64_t base = hex ? 16 : 10;
        if (value > (std::numeric_limits<uint64_t>::max() - d) / base) return false;
        value = value * base + d;
    }
    if (digits == 0 || i != text.size()) return false;
    if (hex) {
        // Hex text is a bit pattern: "$FFFFFFFF" is -1 as a 32-bit value.
        if (value > hexMask) return false;
        int64_t v;
        if (hexMask == 0xFFFFFFFFull) {
            v = static_cast<int32_t>(static_cast<uint32_t>(value));
        } else {
            v = static_cast<int64_t>(value);
        }
        result = negative ? -v : v;
        return true;
    }
    if (negative) {
        if (value > static_cast<uint64_t>(-(minValue + 1)) + 1) return false;
        result = value == static_cast<uint64_t>(-(minValue + 1)) + 1 ? minValue
                                                                     : -static_cast<int64_t>(value);
    } else {
        if (value > static_cast<uint64_t>(maxValue)) return false;
        result = static_cast<int64_t>(value);
    }
    return true;
}

}  // namespace

int32_t ParseInt(std::string_view text, int32_t defaultValue) {
    int64_t v;
    if (!ParseIntegerText(text, std::numeric_limits<int32_t>::min(),
                          std::numeric_limits<int32_t>::max(), 0xFFFFFFFFull, v)) {
        return defaultValue;
    }
    return static_cast<int32_t>(v);
}

int64_t ParseInt64(std::string_view text, int64_t defaultValue) {
    int64_t v;
    if (!ParseIntegerText(text, std::numeric_limits<int64_t>::min(),
                          std::numeric_limits<int64_t>::max(), 0xFFFFFFFFFFFFFFFFull, v)) {
        return defaultValue;
    }
    return v;
}

bool IsNumber(std::string_view input) {
    std::string_view text = TrimBlanks(input);
    const size_t minus = text.find('-');
    if (minus != std::string_view::npos && minus != 0) return false;
    int dots = 0;
    for (char c : text) {
        if (c == '.') {
            if (++dots > 1) return false;
        } else if (!(c >= '0' && c <= '9') && c != '-') {
            return false;
        }
    }
    return true;
}

double RoundHalfEven(double value) {
    // nearbyint follows the current rounding mode, which is round-to-nearest-even unless
    // someone changed it; be explicit rather than rely on that.
    const int saved = std::fegetround();
    if (saved != FE_TONEAREST) std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    if (saved != FE_TONEAREST) std::fesetround(saved);
    return r;
}

int32_t RoundToInt32(double value) {
    if (!std::isfinite(value)) return 0;
    const double r = RoundHalfEven(value);
    if (r < -2147483648.0 || r > 2147483647.0) return 0;
    return static_cast<int32_t>(r);
}

namespace {

// 2^63 is exactly representable; anything at or beyond it does not fit.
bool FitsInt64(double rounded) {
    return rounded < 9223372036854775808.0 && rounded >= -9223372036854775808.0;
}

// A value too large for the scaled form: its shortest digits that read back as the same
// double, written out in plain decimal ("100000000000000000000.0" for 1e20; a real once it
// is beyond 64-bit integers). Such magnitudes
// hold at most a few fractional digits, which the shortest digits keep. Not-a-number reads
// as 0 and the infinities as the largest finite values, the nearest a PDF number can come.
std::string LargeDecimal(double value) {
    if (std::isnan(value)) return "0";
    if (std::isinf(value)) value = std::copysign(std::numeric_limits<double>::max(), value);
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    if (error != std::errc()) return "0";
    // "-d.ddde+XX": the digits and where the decimal point goes.
    const std::string_view text(buffer, static_cast<size_t>(end - buffer));
    const size_t e = text.find('e');
    const bool negative = text.front() == '-';
    std::string digits;
    for (char c : text.substr(0, e)) {
        if (c >= '0' && c <= '9') digits.push_back(c);
    }
    const int exponent = ParseInt(text.substr(e + 1), 0);
    const int point = exponent + 1;  // digits before the decimal point
    std::string out = negative ? "-" : "";
    if (point <= 0) {
        out += "0." + std::string(static_cast<size_t>(-point), '0') + digits;
    } else if (static_cast<size_t>(point) >= digits.size()) {
        out += digits + std::string(static_cast<size_t>(point) - digits.size(), '0');
        // Readers hold integers in 64 bits at most and refuse longer ones; as a real the
        // same value reads everywhere.
        if (!FitsInt64(value)) out += ".0";
    } else {
        out += digits.substr(0, static_cast<size_t>(point)) + "." +
               digits.substr(static_cast<size_t>(point));
    }
    return out;
}

}  // namespace

std::string FormatDecimal(double value, int decimals) {
    if (decimals <= 0) {
        const double r = RoundHalfEven(value);
        if (!std::isfinite(r) || !FitsInt64(r)) return LargeDecimal(r);
        return std::to_string(static_cast<int64_t>(r));
    }
    double scale = 1.0;
    for (int i = 0; i < decimals; ++i) scale *= 10.0;
    const double scaled = RoundHalfEven(value * scale);
    if (!std::isfinite(scaled) || !FitsInt64(scaled)) return LargeDecimal(value);
    const int64_t a = static_cast<int64_t>(scaled);
    if (a == 0) return "0";
    const bool negative = a < 0;
    // Work on the magnitude as unsigned so INT64_MIN does not overflow.
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(a) : static_cast<uint64_t>(a);
    std::string digits = std::to_string(magnitude);
    if (static_cast<int>(digits.size()) < decimals + 1) {
        digits.insert(0, decimals + 1 - digits.size(), '0');
    }
    digits.insert(digits.size() - decimals, 1, '.');
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    if (!digits.empty() && digits.back() == '.') digits.pop_back();
    return negative ? "-" + digits : digits;
}

bool ParseHeaderVersion(std::string_view afterMark, bool shortenToThree, std::string& version) {
    std::string v;
    for (char c : afterMark) {
        if ((c < '0' || c > '9') && c != '.') break;
        v.push_back(c);
    }
    if (shortenToThree && v.size() >= 4 && v[1] == '.' && v[3] == '.') v.resize(3);
    if (!IsNumber(v)) return false;
    version = std::move(v);
    return true;
}

std::string PdfDateNow() {
    const LocalDateTime t = NowLocal();
    char buf[32];
    std::snprintf(buf, sizeof buf, "D:%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    std::string result = buf;
    const int offset = t.utcOffsetMinutes;
    if (offset == 0) return result + "Z";
    const int magnitude = offset < 0 ? -offset : offset;
    std::snprintf(buf, sizeof buf, "%c%02d'%02d'", offset < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return result + buf;
}

}  // namespace verava
