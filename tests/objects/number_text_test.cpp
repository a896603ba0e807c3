#include "objects/number_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>

#include "objects/platform.h"

namespace verava {
namespace {

TEST(PadNumber, PadsButNeverCuts) {
    EXPECT_EQ(PadNumber(123, 10), "0000000123");
    EXPECT_EQ(PadNumber(-1, 5), "00000");
    EXPECT_EQ(PadNumber(123456, 3), "123456");
    EXPECT_EQ(PadNumber(0, 1), "0");
    EXPECT_EQ(HexByte(0xE9), "E9");
    EXPECT_EQ(HexByte(0x0a), "0A");
}

TEST(FormatDecimal, WritesFourDecimalsWithoutTrailingZeros) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {12, "12"},          {0.5, "0.5"},
        {0.05, "0.05"},      {-12.5, "-12.5"},
        {1.0 / 3, "0.3333"}, {2.0 / 3, "0.6667"},
        {0.00004, "0"},      {612.00001, "612"},
        {-0.00004, "0"},     {1234567.89, "1234567.89"},
        {100, "100"},        {0.00005, "0"},  // 0.5 ties to even
        {-3, "-3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatDecimal(c.value, 4), c.text) << c.value;
    }
    EXPECT_EQ(FormatDecimal(2.5, 0), "2");
    EXPECT_EQ(FormatDecimal(3.5, 0), "4");
    EXPECT_EQ(FormatDecimal(1.25, 1), "1.2");
}

TEST(FormatDecimal, ValuesBeyondTheScaledRangeKeepTheirValueInPlainDecimal) {
    // Every text must read back as the value written: plain decimal, no exponent.
    struct Case {
        double value;
        std::string text;
    } cases[] = {
        {9e14, "900000000000000"},
        {9.3e14, "930000000000000"},
        {1e20, "100000000000000000000.0"},
        {-1e20, "-100000000000000000000.0"},
        {9e18, "9000000000000000000"},
        {1234567890123456.5, "1234567890123456.5"},
        {1.5e300, "15" + std::string(299, '0') + ".0"},
    };
    for (const Case& c : cases) {
        const std::string text = FormatDecimal(c.value, 4);
        EXPECT_EQ(text, c.text) << c.value;
        EXPECT_EQ(text.find_first_of("eE+"), std::string::npos) << text;
        // Beyond 64-bit integers only as a real.
        EXPECT_EQ(text.find('.') != std::string::npos || std::fabs(c.value) < 9.2e18, true) << text;
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), c.value) << text;
    }
    EXPECT_EQ(FormatDecimal(1e20, 0), "100000000000000000000.0");
    // No PDF number is infinite or not a number: the nearest writable values stand in.
    EXPECT_EQ(FormatDecimal(std::nan(""), 4), "0");
    EXPECT_EQ(std::strtod(FormatDecimal(INFINITY, 4).c_str(), nullptr), DBL_MAX);
    EXPECT_EQ(std::strtod(FormatDecimal(-INFINITY, 0).c_str(), nullptr), -DBL_MAX);
}

TEST(ParseInt, AcceptsDecimalAndDollarHexOnly) {
    EXPECT_EQ(ParseInt("42", -1), 42);
    EXPECT_EQ(ParseInt("-42", -1), -42);
    EXPECT_EQ(ParseInt("  7", -1), 7);
    EXPECT_EQ(ParseInt("$1F", -1), 31);
    EXPECT_EQ(ParseInt("$FFFFFFFF", 0), -1);
    EXPECT_EQ(ParseInt("-", 9), 9);
    EXPECT_EQ(ParseInt("", 9), 9);
    EXPECT_EQ(ParseInt("12a", 9), 9);
    EXPECT_EQ(ParseInt("2147483647", 0), 2147483647);
    EXPECT_EQ(ParseInt("-2147483648", 0), -2147483647 - 1);
    EXPECT_EQ(ParseInt("2147483648", 5), 5);
    EXPECT_EQ(ParseInt64("9223372036854775807", 0), INT64_MAX);
    EXPECT_EQ(ParseInt64("-9223372036854775808", 0), INT64_MIN);
    EXPECT_EQ(ParseInt64("9223372036854775808", 3), 3);
    EXPECT_EQ(ParseInt64("0000001234", 0), 1234);
}

TEST(IsNumber, ChecksCharactersDotsAndTheFirstMinus) {
    EXPECT_TRUE(IsNumber("1.4"));
    EXPECT_TRUE(IsNumber(" -12 "));
    EXPECT_TRUE(IsNumber(""));
    EXPECT_TRUE(IsNumber("-5-"));  // only the first "-" is checked
    EXPECT_FALSE(IsNumber("1.4.1"));
    EXPECT_FALSE(IsNumber("1-2"));
    EXPECT_FALSE(IsNumber("1a"));
}

TEST(RoundToInt32, TiesToEvenAndZeroOutOfRange) {
    EXPECT_EQ(RoundToInt32(2.5), 2);
    EXPECT_EQ(RoundToInt32(3.5), 4);
    EXPECT_EQ(RoundToInt32(-2.5), -2);
    EXPECT_EQ(RoundToInt32(1e12), 0);
    EXPECT_EQ(RoundToInt32(std::nan("")), 0);
}

TEST(PdfDateNow, WritesLocalTimeAndZone) {
    LocalDateTime t;
    t.year = 2024;
    t.month = 1;
    t.day = 2;
    t.hour = 3;
    t.minute = 4;
    t.second = 5;
    {
        t.utcOffsetMinutes = 480;
        ScopedClockOverride clock([&] { return t; });
        EXPECT_EQ(PdfDateNow(), "D:20240102030405+08'00'");
    }
    {
        t.utcOffsetMinutes = -300;
        ScopedClockOverride clock([&] { return t; });
        EXPECT_EQ(PdfDateNow(), "D:20240102030405-05'00'");
    }
    {
        t.utcOffsetMinutes = -210;
        ScopedClockOverride clock([&] { return t; });
        EXPECT_EQ(PdfDateNow(), "D:20240102030405-03'30'");
    }
    {
        t.utcOffsetMinutes = 0;
        ScopedClockOverride clock([&] { return t; });
        EXPECT_EQ(PdfDateNow(), "D:20240102030405Z");
    }
}

TEST(PdfDateNow, UsesTheSystemZone) {
    // With the real clock only the shape can be checked.
    const std::string date = PdfDateNow();
    ASSERT_GE(date.size(), 17u);
    EXPECT_EQ(date.substr(0, 2), "D:");
    EXPECT_TRUE(date.back() == 'Z' || date.back() == '\'');
}

TEST(DateTimeToDays, CountsFromTheEndOf1899) {
    LocalDateTime t;
    EXPECT_DOUBLE_EQ(DateTimeToDays(t), 0.0);
    t.year = 2000;
    t.month = 1;
    t.day = 1;
    t.hour = 12;
    EXPECT_DOUBLE_EQ(DateTimeToDays(t), 36526.5);
    EXPECT_EQ(FormatGeneral(36526.5), "36526.5");
}

}  // namespace
}  // namespace verava
