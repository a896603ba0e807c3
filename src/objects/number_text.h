// Number <-> text helpers shared by the parser, the serialiser and the writers: fixed-width
// cross-reference offsets ("0000001234"), PDF real numbers without exponent ("0.3333"),
// tolerant integer parsing, and PDF date strings ("D:20240102030405+08'00'").
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace verava {

// Raised when a value cannot be written (one that has come to contain itself). The
// dictionary serialiser turns it into a "% bug" line.
class EInvalidOp : public std::runtime_error {
  public:
    EInvalidOp() : std::runtime_error("Invalid floating point operation") {}
};

// n in decimal, left-padded with "0" to width; a negative n gives width zeros.
std::string PadNumber(int64_t n, int width);
std::string IntText(int64_t n);
// Two upper-case hex digits.
std::string HexByte(unsigned char b);

// Decimal (optional sign, surrounding blanks) or "$"-prefixed hex; the default when the text
// does not convert or does not fit.
int32_t ParseInt(std::string_view text, int32_t defaultValue);
int64_t ParseInt64(std::string_view text, int64_t defaultValue);

// After trimming: only "0123456789.-", at most one ".", and the first "-" (if any) in first
// place.
bool IsNumber(std::string_view text);

// The PDF number form of the serialiser: value rounded to `decimals` places (ties to even),
// trailing zeros and a trailing "." removed, never an exponent. A value whose scaled form
// leaves the signed 64-bit range is written as its shortest plain decimal instead, so every
// number has a text that reads back as the same value.
std::string FormatDecimal(double value, int decimals);

// Raised when a value to be written nests deeper than any parsed value can: it has come to
// contain itself. Handled like an unwritable number.
class ENestingTooDeep : public EInvalidOp {};

// Round to nearest, ties to even. The 32-bit form gives 0 when the value is out of range or
// not a number.
double RoundHalfEven(double value);
int32_t RoundToInt32(double value);

// Removes bytes <= 0x20 at both ends.
std::string_view TrimBlanks(std::string_view text);

// The version after a "%PDF-" header mark: the longest run of digits and dots, "1.4.1"
// shortened to "1.4" when `shortenToThree`; false when it is not a plain number (more than
// one dot). An empty run is a version too.
bool ParseHeaderVersion(std::string_view afterMark, bool shortenToThree, std::string& version);

// The PDF date string of the current local time: "D:" yyyymmddhhmmss and the zone part ("Z",
// or +hh'mm' / -hh'mm').
std::string PdfDateNow();

}  // namespace verava
