// The fax, JBIG2 and JPEG 2000 decoders: every pixel of pictures coded by libtiff, by hand and
// by OpenJPEG comes back, and damaged, cut or oversized data are refused before a row is
// delivered.
#include "content/image_codecs.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/coded_images.h"

namespace verava {
namespace {

using testing::Bilevel;
using testing::EncodeFax;
using testing::EncodeJbig2;
using testing::EncodeJpx;
using testing::FaxCoding;

constexpr size_t kBudget = size_t{64} << 20;

// Keeps what a decoder delivers.
class Collect : public TSampleSink {
  public:
    bool Begin(int32_t width, int32_t height, int32_t components) override {
        ++begins;
        this->width = width;
        this->height = height;
        this->components = components;
        return true;
    }
    void Row(const uint8_t* samples) override {
        samples_.insert(samples_.end(), samples, samples + width * components);
        ++rows;
    }
    uint8_t At(int x, int y, int c = 0) const {
        return samples_[(static_cast<size_t>(y) * width + x) * components + c];
    }
    int begins = 0;
    int rows = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t components = 0;

  private:
    std::vector<uint8_t> samples_;
};

// Text-like strokes and a frame, so that runs of every length and both colours at the edges
// occur; 203 pixels wide, so rows end inside a byte.
const Bilevel kPage{
    203, 120, [](int x, int y) {
        return (y > 20 && y < 90 && y % 9 < 3 && x > 15 && x < 180 && x % 13 != 0) || x == 0 ||
               y == 119 || (x * 7 + y * 3) % 97 == 0;
    }};

// Every pixel as the picture has it: `black` where it inks, the other value elsewhere.
::testing::AssertionResult SamePixels(const Collect& got, const Bilevel& picture, uint8_t black) {
    if (got.width != picture.width || got.height != picture.height || got.components != 1 ||
        got.rows != picture.height) {
        return ::testing::AssertionFailure() << "got " << got.width << "x" << got.height << "x"
                                             << got.components << " in " << got.rows << " rows";
    }
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t expected = picture.ink(x, y) ? black : 255 - black;
            if (got.At(x, y) != expected) {
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << " is " << int(got.At(x, y));
            }
        }
    }
    return ::testing::AssertionSuccess();
}

TFaxOptions Fax(int k, bool blackIs1 = false, bool aligned = false, bool endOfLine = false,
                int columns = kPage.width) {
    TFaxOptions options;
    options.K = k;
    options.BlackIs1 = blackIs1;
    options.EncodedByteAlign = aligned;
    options.EndOfLine = endOfLine;
    options.Columns = columns;
    return options;
}

// Rows given as their runs, white first: the lengths where a run code's table changes (63,
// 64, 1728, 1792, 2560) and runs longer than one make-up code holds.
Bilevel FromRuns(int width, std::vector<std::vector<int>> rows) {
    return Bilevel{width, static_cast<int>(rows.size()), [rows](int x, int y) {
                       bool black = false;
                       for (const int run : rows[static_cast<size_t>(y)]) {
                           if (x < run) return black;
                           x -= run;
                           black = !black;
                       }
                       return black;
                   }};
}

const Bilevel kLongRuns = FromRuns(5300, {{5300},
                                          {0, 5300},
                                          {64, 128, 1728, 1792, 1588},
                                          {1791, 1793, 63, 65, 2560, 1028},
                                          {0, 2561, 2560, 179},
                                          {2560, 1, 1, 1, 1, 2736},
                                          {5299, 1},
                                          {0, 1, 5299},
                                          {64, 64, 64, 64, 64, 1792, 1792, 1396}});

TEST(FaxCodec, DecodesEachCodingAsTheFilterWouldOutputIt) {
    const Bilevel white{1728, 6, [](int, int) { return false; }};
    const Bilevel black{77, 5, [](int, int) { return true; }};
    const Bilevel column{1, 40, [](int, int y) { return y % 3 == 0 || y > 30; }};
    const Bilevel narrow{13, 21, [](int x, int y) { return (x * 5 + y * 3) % 7 < 3; }};
    struct Coding {
        const char* what;
        FaxCoding coding;
        int k;
        bool aligned;
        bool endOfLine;
    };
    const Coding codings[] = {
        {"Group 4", FaxCoding::Group4, -1, false, false},
        {"Group 4, byte-aligned rows", FaxCoding::Group4Aligned, -1, true, false},
        {"Group 3 1-D with end-of-lines", FaxCoding::Group3OneD, 0, false, false},
        {"Group 3 1-D, EndOfLine said", FaxCoding::Group3OneD, 0, false, true},
        {"Group 3 1-D, end-of-lines ending on a byte", FaxCoding::Group3OneDFill, 0, true, true},
        {"Group 3 1-D, fill bits unannounced", FaxCoding::Group3OneDFill, 0, false, false},
        {"Group 3 1-D, end-of-lines starting on a byte", FaxCoding::Group3OneDEolOnByte, 0, true,
         true},
        {"Group 3 1-D, byte-aligned rows without end-of-lines", FaxCoding::Group3OneDAligned, 0,
         true, false},
        {"Group 3 1-D without end-of-lines", FaxCoding::Group3OneDNoEol, 0, false, false},
        {"Group 3 2-D", FaxCoding::Group3TwoD, 4, false, false},
        {"Group 3 2-D, EndOfLine said", FaxCoding::Group3TwoD, 2, false, true},
        {"Group 3 2-D, end-of-lines ending on a byte", FaxCoding::Group3TwoDFill, 4, true, true},
        {"Group 3 2-D without end-of-lines", FaxCoding::Group3TwoDNoEol, 4, false, false},
        {"Group 3 2-D, byte-aligned rows without end-of-lines", FaxCoding::Group3TwoDAligned, 4,
         true, false},
    };
    struct Picture {
        const char* what;
        const Bilevel& picture;
    };
    const Picture pictures[] = {
        {"page", kPage},      {"long runs", kLongRuns},   {"all white", white},
        {"all black", black}, {"one pixel wide", column}, {"13 pixels wide", narrow}};
    for (const Picture& p : pictures) {
        for (const Coding& c : codings) {
            for (const bool blackIs1 : {false, true}) {
                const TFaxOptions options =
                    Fax(c.k, blackIs1, c.aligned, c.endOfLine, p.picture.width);
                Collect got;
                ASSERT_TRUE(DecodeFax(EncodeFax(p.picture, c.coding), options, p.picture.width,
                                      p.picture.height, kBudget, got))
                    << p.what << ": " << c.what;
                EXPECT_TRUE(SamePixels(got, p.picture, blackIs1 ? 255 : 0))
                    << p.what << ": " << c.what;
            }
        }
    }
}

// Rows that differ from the picture's.
int RowsOtherThan(const Collect& got, const Bilevel& picture) {
    int differ = 0;
    for (int y = 0; y < got.rows; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if ((got.At(x, y) == 0) != picture.ink(x, y)) {
                ++differ;
                break;
            }
        }
    }
    return differ;
}

TEST(FaxCodec, MendsDamagedRowsOnlyWhereEndOfLinesResynchronise) {
    // Bytes overwritten inside one row's codes, in the middle of the picture.
    const auto damage = [](std::string data) {
        for (size_t i = data.size() / 2; i < data.size() / 2 + 2; ++i) data[i] = '\xFF';
        return data;
    };
    const std::string oneD = damage(EncodeFax(kPage, FaxCoding::Group3OneD));
    const std::string twoD = damage(EncodeFax(kPage, FaxCoding::Group3TwoD));
    const std::string group4 = damage(EncodeFax(kPage, FaxCoding::Group4));
    const std::string noEol = damage(EncodeFax(kPage, FaxCoding::Group3OneDNoEol));
    struct Case {
        const char* what;
        std::string data;
        int k;
        bool endOfLine;
        int allowed;
        bool decodes;
        int maxRowsOff;  // one-dimensional: only mended rows (the row above repeated) differ
    };
    const Case cases[] = {
        {"1-D, none allowed", oneD, 0, true, 0, false, 0},
        {"1-D, one allowed", oneD, 0, true, 1, true, 1},
        {"1-D, many allowed", oneD, 0, true, 50, true, 2},
        {"1-D, end-of-lines found but not said", oneD, 0, false, 1, true, 1},
        {"2-D, none allowed", twoD, 4, true, 0, false, 0},
        {"2-D, some allowed", twoD, 4, true, 4, true, -1},
        {"Group 4 has no end-of-lines", group4, -1, false, 50, false, 0},
        {"1-D without end-of-lines", noEol, 0, false, 50, false, 0},
    };
    for (const Case& c : cases) {
        TFaxOptions options = Fax(c.k, false, false, c.endOfLine);
        options.DamagedRowsBeforeError = c.allowed;
        Collect got;
        EXPECT_EQ(DecodeFax(c.data, options, kPage.width, kPage.height, kBudget, got), c.decodes)
            << c.what;
        if (c.decodes && c.maxRowsOff >= 0) {
            EXPECT_EQ(got.rows, kPage.height) << c.what;
            EXPECT_LE(RowsOtherThan(got, kPage), c.maxRowsOff) << c.what;
        }
    }
}

TEST(FaxCodec, RefusesWhatItCannotReadWhole) {
    const std::string g4 = EncodeFax(kPage, FaxCoding::Group4);
    const std::string g3 = EncodeFax(kPage, FaxCoding::Group3OneD);
    const std::string g32d = EncodeFax(kPage, FaxCoding::Group3TwoD);
    std::string flipped = g4;
    for (size_t i = g4.size() / 3; i < g4.size() / 3 + 8; ++i) flipped[i] = '\x55';
    std::string garbage;
    uint32_t seed = 12345;
    for (int i = 0; i < 4000; ++i) {
        seed = seed * 1103515245 + 12345;
        garbage.push_back(static_cast<char>(seed >> 24));
    }
    // The picture's top half, its end-of-block or return-to-control codes where rows should
    // follow.
    const Bilevel top{kPage.width, kPage.height / 2, kPage.ink};
    TFaxOptions wide = Fax(-1);
    wide.Columns = kPage.width + 8;
    TFaxOptions few = Fax(-1);
    few.Rows = kPage.height - 1;
    struct Case {
        const char* what;
        std::string data;
        TFaxOptions options;
        size_t budget;
    };
    const Case cases[] = {
        {"Group 4 cut in half", g4.substr(0, g4.size() / 2), Fax(-1), kBudget},
        {"Group 4 with its last bytes gone", g4.substr(0, g4.size() - 6), Fax(-1), kBudget},
        {"Group 4 with bytes overwritten", flipped, Fax(-1), kBudget},
        {"Group 4 ending early", EncodeFax(top, FaxCoding::Group4), Fax(-1), kBudget},
        {"Group 3 1-D cut in half", g3.substr(0, g3.size() / 2), Fax(0), kBudget},
        {"Group 3 1-D ending early", EncodeFax(top, FaxCoding::Group3OneD), Fax(0), kBudget},
        {"Group 3 1-D without end-of-lines, cut",
         EncodeFax(kPage, FaxCoding::Group3OneDNoEol).substr(0, g3.size() / 2), Fax(0), kBudget},
        {"Group 3 2-D cut in half", g32d.substr(0, g32d.size() / 2), Fax(3), kBudget},
        {"Group 3 2-D ending early", EncodeFax(top, FaxCoding::Group3TwoD), Fax(3), kBudget},
        {"Group 4 read as Group 3", g4, Fax(0, false, false, true), kBudget},
        {"packed Group 4 rows read as byte-aligned", g4, Fax(-1, false, true), kBudget},
        {"garbage as Group 4", garbage, Fax(-1), kBudget},
        {"garbage as Group 3 1-D", garbage, Fax(0), kBudget},
        {"garbage as Group 3 2-D", garbage, Fax(2), kBudget},
        {"no data", "", Fax(-1), kBudget},
        {"rows of another byte count", g4, wide, kBudget},
        {"fewer Rows than the image is high", g4, few, kBudget},
        {"beyond the pixel budget", g4, Fax(-1), size_t(kPage.width) * kPage.height - 1},
    };
    for (const Case& c : cases) {
        Collect got;
        EXPECT_FALSE(DecodeFax(c.data, c.options, kPage.width, kPage.height, c.budget, got))
            << c.what;
    }
    // Refused before anything is allocated or delivered.
    Collect got;
    EXPECT_FALSE(DecodeFax(g4, Fax(-1), kPage.width, kPage.height, 1000, got));
    EXPECT_EQ(got.begins, 0);
}

// A globals stream of one page-0 segment: a custom Huffman table (T.88, B.2) with codes of
// 1, 2 and 2 bits for the values 0 and 1 and the lower and upper ranges.
std::string TableGlobals(bool damaged) {
    const std::string table("\x02\x00\x00\x00\x00\x00\x00\x00\x01\x54", 10);
    std::string globals = testing::Jbig2Segment(0, 53, 0, table);
    if (damaged) globals[12] = '\x7F';  // HTLOW above HTHIGH: a table of no range
    return globals;
}

TEST(Jbig2Codec, DecodesAnEmbeddedPageWithBlackAsZero) {
    struct Case {
        const char* what;
        std::string data;
        std::string globals;
    };
    const Case cases[] = {
        {"page information and a region", EncodeJbig2(kPage), ""},
        {"with an end-of-page segment", EncodeJbig2(kPage, true), ""},
        // PDF writers often leave a line end inside the stream's Length.
        {"with a line end behind the segments", EncodeJbig2(kPage) + "\r\n", ""},
        {"with globals", EncodeJbig2(kPage), TableGlobals(false)},
    };
    for (const Case& c : cases) {
        Collect got;
        ASSERT_TRUE(DecodeJbig2(c.data, c.globals, kBudget, got)) << c.what;
        EXPECT_TRUE(SamePixels(got, kPage, 0)) << c.what;
    }
}

TEST(Jbig2Codec, RefusesWhatItCannotReadWhole) {
    const std::string stream = EncodeJbig2(kPage);
    // A page information segment claiming 100000 x 100000 pixels, with the region behind it.
    std::string huge = stream;
    huge[11] = huge[15] = '\x00';
    huge[12] = huge[16] = '\x01';
    huge[13] = huge[17] = '\x86';
    huge[14] = huge[18] = '\xA0';
    struct Case {
        const char* what;
        std::string data;
        std::string globals;
        size_t budget;
    };
    const Case cases[] = {
        {"cut inside the region's data", stream.substr(0, stream.size() - 10), "", kBudget},
        {"cut inside a segment header", stream.substr(0, 40), "", kBudget},
        {"cut behind the page information", stream.substr(0, 30), "", kBudget},
        {"not JBIG2", "not a jbig2 stream at all", "", kBudget},
        {"globals that are not JBIG2", stream, "garbage globals", kBudget},
        {"globals jbig2dec finds damaged", stream, TableGlobals(true), kBudget},
        {"globals cut short", stream, TableGlobals(false).substr(0, 15), kBudget},
        {"beyond the pixel budget", stream, "", size_t(kPage.width) * kPage.height - 1},
        {"a page too large for the decoder's memory", huge, "", kBudget},
        {"no data", "", "", kBudget},
    };
    for (const Case& c : cases) {
        Collect got;
        EXPECT_FALSE(DecodeJbig2(c.data, c.globals, c.budget, got)) << c.what;
        EXPECT_EQ(got.rows, 0) << c.what;
    }
}

// A grey picture: a black band across the middle third, white elsewhere.
uint8_t Band(int x, int y, int c) {
    (void)x;
    (void)c;
    return y >= 100 && y < 200 ? 0 : 255;
}

TEST(JpxCodec, DecodesAtTheSmallestLevelThatKeepsTheLongSide) {
    struct Case {
        const char* what;
        bool jp2;
        int resolutions;
        int minLongSide;
        int width, height;  // expected
    };
    // 400 x 300: levels of 400, 200, 100, 50, 25 pixels along the long side.
    const Case cases[] = {
        {"J2K, 100 asked", false, 6, 100, 100, 75},
        {"JP2, 100 asked", true, 6, 100, 100, 75},
        {"JP2, 90 asked", true, 6, 90, 100, 75},
        {"JP2, 101 asked", true, 6, 101, 200, 150},
        {"three levels only: the smallest is 100", true, 3, 10, 100, 75},
        {"larger than the image", true, 6, 1000, 400, 300},
    };
    for (const Case& c : cases) {
        Collect got;
        TJpxInfo info;
        ASSERT_TRUE(DecodeJpx(EncodeJpx(400, 300, 1, Band, c.jp2, c.resolutions), c.minLongSide,
                              kBudget, got, &info))
            << c.what;
        EXPECT_EQ(got.width, c.width) << c.what;
        EXPECT_EQ(got.height, c.height) << c.what;
        EXPECT_EQ(got.rows, c.height) << c.what;
        EXPECT_EQ(info.Components, 1);
        EXPECT_EQ(info.Colour, TJpxColour::Gray);
        EXPECT_EQ(info.FullWidth, 400);
        EXPECT_EQ(info.FullHeight, 300);
        // Far from the band's edges the reduced picture is what the full one was.
        const int scale = 400 / c.width;
        EXPECT_EQ(got.At(c.width / 2, 20 / scale), 255) << c.what;
        EXPECT_EQ(got.At(c.width / 2, 150 / scale), 0) << c.what;
        EXPECT_EQ(got.At(c.width / 2, 280 / scale), 255) << c.what;
    }
}

TEST(JpxCodec, ColourAndPrecision) {
    const auto colour = [](int x, int y, int c) -> uint8_t {
        const uint8_t red[3] = {220, 20, 40};
        const uint8_t white[3] = {255, 255, 255};
        return x < 64 ? red[c] : white[c];
    };
    Collect got;
    TJpxInfo info;
    ASSERT_TRUE(DecodeJpx(EncodeJpx(128, 64, 3, colour, true), 128, kBudget, got, &info));
    EXPECT_EQ(info.Components, 3);
    EXPECT_EQ(info.Colour, TJpxColour::Rgb);
    ASSERT_EQ(got.components, 3);
    EXPECT_EQ(got.At(10, 10, 0), 220);
    EXPECT_EQ(got.At(10, 10, 1), 20);
    EXPECT_EQ(got.At(10, 10, 2), 40);
    EXPECT_EQ(got.At(100, 10, 2), 255);
    // Twelve and four bits a sample are scaled to eight.
    for (const int precision : {12, 4}) {
        Collect grey;
        ASSERT_TRUE(
            DecodeJpx(EncodeJpx(64, 300, 1, Band, false, 4, precision), 300, kBudget, grey, &info));
        EXPECT_EQ(info.Precision, precision);
        EXPECT_EQ(grey.At(30, 10), 255) << precision;
        EXPECT_EQ(grey.At(30, 150), 0) << precision;
    }
}

TEST(JpxCodec, RefusesWhatItCannotReadWhole) {
    const std::string jp2 = EncodeJpx(400, 300, 1, Band, true);
    const std::string j2k = EncodeJpx(400, 300, 1, Band, false);
    // The main header's SIZ marker segment claims another length.
    std::string badHeader = j2k;
    badHeader[5] = '\x07';
    struct Case {
        const char* what;
        std::string data;
        size_t budget;
    };
    const Case cases[] = {
        {"JP2 cut in half", jp2.substr(0, jp2.size() / 2), kBudget},
        {"J2K cut in half", j2k.substr(0, j2k.size() / 2), kBudget},
        {"J2K without its last bytes", j2k.substr(0, j2k.size() - 3), kBudget},
        {"J2K whose image size marker is damaged", badHeader, kBudget},
        {"only the signature", jp2.substr(0, 12), kBudget},
        {"not JPEG 2000", "not a jpeg 2000 file", kBudget},
        {"beyond the budget at full size", jp2, 400 * 300 - 1},
    };
    for (const Case& c : cases) {
        Collect got;
        EXPECT_FALSE(DecodeJpx(c.data, 100, c.budget, got, nullptr)) << c.what;
        EXPECT_EQ(got.rows, 0) << c.what;
    }
}

}  // namespace
}  // namespace verava
