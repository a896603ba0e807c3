#include "objects/pdf_text.h"

#include <gtest/gtest.h>

#include "support/bytes.h"

namespace verava {
namespace {

using testing::Bytes;

TEST(PdfDocEncoding, MapsTheDifferencesAndLeavesOtherCodesAlone) {
    EXPECT_EQ(PdfDocEncodingUnit(9), u'\t');
    EXPECT_EQ(PdfDocEncodingUnit(65), u'A');
    EXPECT_EQ(PdfDocEncodingUnit(21), 21);
    EXPECT_EQ(PdfDocEncodingUnit(22), 0x0017);
    EXPECT_EQ(PdfDocEncodingUnit(23), 23);
    EXPECT_EQ(PdfDocEncodingUnit(24), 0x02D8);
    EXPECT_EQ(PdfDocEncodingUnit(127), 0xFFFD);
    EXPECT_EQ(PdfDocEncodingUnit(128), 0x2022);
    EXPECT_EQ(PdfDocEncodingUnit(147), 0xFB01);
    EXPECT_EQ(PdfDocEncodingUnit(160), 0x20AC);
    EXPECT_EQ(PdfDocEncodingUnit(173), 0xFFFD);
    EXPECT_EQ(PdfDocEncodingUnit(174), 174);
    EXPECT_EQ(PdfDocEncodingUnit(255), 255);
}

TEST(PdfTextToUnicode, ReadsBigEndianLittleEndianAndDocEncoding) {
    // FE FF 00 41: the mark is dropped.
    EXPECT_EQ(PdfTextToUnicode(Bytes({0xFE, 0xFF, 0x00, 0x41})), u"A");
    // A surrogate pair is combined; an unpaired high surrogate becomes U+FFFD.
    EXPECT_EQ(PdfTextToUnicode(Bytes({0xFE, 0xFF, 0xD8, 0x3D, 0xDE, 0x00})), u"\U0001F600");
    EXPECT_EQ(PdfTextToUnicode(Bytes({0xFE, 0xFF, 0xD8, 0x3D, 0x00, 0x41})), u"\uFFFDA");
    // An odd last byte is padded with a zero byte.
    EXPECT_EQ(PdfTextToUnicode(Bytes({0xFE, 0xFF, 0x00, 0x41, 0x42})), u"A\u4200");
    // FF FE: little-endian units taken as they are; an odd last byte is dropped.
    EXPECT_EQ(PdfTextToUnicode(Bytes({0xFF, 0xFE, 0x41, 0x00, 0x42})), u"A");
    // PDFDocEncoding: the euro sign and a bullet.
    EXPECT_EQ(PdfTextToUnicode(Bytes({'a', 160, 128})), u"a\u20AC\u2022");
    EXPECT_EQ(PdfTextToUnicode(""), u"");
}

TEST(UnicodeToPdfText, PrefersDocEncodingAndFallsBackToUtf16) {
    EXPECT_EQ(UnicodeToPdfText(u"Hello", false), "Hello");
    EXPECT_EQ(UnicodeToPdfText(u"5\u20AC", false), Bytes({'5', 160}));
    // U+0017 is reached through its own byte, not through code 22.
    EXPECT_EQ(UnicodeToPdfText(u"\u0017", false), Bytes({23}));
    // One character outside PDFDocEncoding turns the whole text into UTF-16BE.
    EXPECT_EQ(UnicodeToPdfText(u"A\u4E2D", false), Bytes({0xFE, 0xFF, 0x00, 0x41, 0x4E, 0x2D}));
    EXPECT_EQ(UnicodeToPdfText(u"A", true), Bytes({0xFE, 0xFF, 0x00, 0x41}));
    EXPECT_EQ(UnicodeToPdfText(u"", true), "");
    // Unpaired surrogates and non-characters are replaced.
    EXPECT_EQ(UnicodeToPdfText(std::u16string(1, char16_t(0xDC00)), true),
              Bytes({0xFE, 0xFF, 0xFF, 0xFD}));
    EXPECT_EQ(UnicodeToPdfText(u"\uFDD0", true), Bytes({0xFE, 0xFF, 0xFF, 0xFD}));
}

TEST(UnicodeToPdfText, StripsTheLengthMarker) {
    // Marker units E7 03 / F8 00 announce three units of real text.
    std::u16string marked = {char16_t(0xE703), char16_t(0xF800), u'a', u'b', u'c', u'd'};
    EXPECT_EQ(UnicodeToPdfText(marked, false), "abc");
    EXPECT_EQ(UnicodeToUtf8(marked), "abc");
    // A marker promising more than is there takes what is available.
    std::u16string shortText = {char16_t(0xE709), char16_t(0xF800), u'x'};
    EXPECT_EQ(UnicodeToUtf8(shortText), "x");
}

TEST(Utf8, DecodesShortestFormsOnly) {
    EXPECT_EQ(Utf8ToUnicode("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"), u"a\u00E9\u4E2D\U0001F600");
    // Overlong forms, surrogates encoded in UTF-8 and bytes beyond F4 are rejected.
    EXPECT_EQ(Utf8ToUnicode("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUnicode("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUnicode("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUnicode("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUnicode("\xF5"), u"\uFFFD");
    // A truncated sequence at the end is one replacement.
    EXPECT_EQ(Utf8ToUnicode("a\xE4\xB8"), u"a\uFFFD");
    // A leading byte-order mark is dropped; non-characters are replaced.
    EXPECT_EQ(Utf8ToUnicode("\xEF\xBB\xBFx"), u"x");
    EXPECT_EQ(Utf8ToUnicode("\xEF\xBF\xBE"), u"\uFFFD");
}

TEST(Utf8, EncodesWithoutMarkAndReplacesInvalidUnits) {
    EXPECT_EQ(UnicodeToUtf8(u"\uFEFFa\u00E9\u4E2D\U0001F600"),
              "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    EXPECT_EQ(UnicodeToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    // Round trip of text with characters from several planes.
    const std::u16string text = u"VERava \u91CD\u6392\u540E \U00010348";
    EXPECT_EQ(Utf8ToUnicode(UnicodeToUtf8(text)), text);
}

TEST(CodePointToUtf16, SplitsAboveTheBasicPlane) {
    EXPECT_EQ(CodePointToUtf16(0x41), u"A");
    EXPECT_EQ(CodePointToUtf16(0x1F600), u"\U0001F600");
    EXPECT_EQ(CodePointToUtf16(0x110000), u"\uFFFD");
}

}  // namespace
}  // namespace verava
