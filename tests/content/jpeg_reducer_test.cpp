// JPEG decoded at reduced size: the size chosen, what each pixel means (the block's mean),
// the colour forms, and refusal of damaged data.
#include "content/jpeg_reducer.h"

#include <gtest/gtest.h>

#include <numeric>

#include "support/scanned_pages.h"

namespace verava {
namespace {

using testing::EncodeCmykJpeg;
using testing::EncodeJpeg;
using testing::GreyScan;
using testing::MakeScan;
using testing::ScanKind;

double Mean(const std::string& pixels) {
    return std::accumulate(pixels.begin(), pixels.end(), 0.0,
                           [](double sum, char c) { return sum + static_cast<uint8_t>(c); }) /
           static_cast<double>(pixels.size());
}

double Mean(const std::vector<uint8_t>& samples) {
    return std::accumulate(samples.begin(), samples.end(), 0.0) /
           static_cast<double>(samples.size());
}

TEST(JpegReducer, AnA4ScanAt300DpiComesOutAtAnEighth) {
    const GreyScan scan = MakeScan(ScanKind::OneLine, 300, 7);
    ASSERT_EQ(scan.width, 2480);
    ASSERT_EQ(scan.height, 3508);
    TReducedJpeg reduced;
    ASSERT_TRUE(DecodeJpegReduced(EncodeJpeg(scan, 85), 384, false, reduced));
    EXPECT_EQ(reduced.Width, 310);
    EXPECT_EQ(reduced.Height, 439);
    EXPECT_EQ(reduced.Components, 1);
    EXPECT_FALSE(reduced.AdobeCmyk);
    ASSERT_EQ(reduced.Samples.size(), size_t{310} * 439);
    // Each pixel is the mean of its block, so the picture keeps its overall level.
    EXPECT_NEAR(Mean(reduced.Samples), Mean(scan.pixels), 1.5);
}

TEST(JpegReducer, SmallImagesAreDecodedLargerThanAnEighth) {
    struct Case {
        int width, height, minLongSide, expectWidth, expectHeight;
    };
    // 992 x 1403 at 3/8 is 372 x 527, the first scale with a long side of 384 or more; a
    // thumbnail smaller than asked for comes out whole.
    for (const Case& c : {Case{992, 1403, 384, 372, 527}, Case{64, 48, 384, 64, 48},
                          Case{1600, 800, 384, 400, 200}, Case{1600, 800, 100, 200, 100}}) {
        GreyScan scan;
        scan.width = c.width;
        scan.height = c.height;
        scan.pixels.assign(static_cast<size_t>(c.width) * c.height, '\xF0');
        TReducedJpeg reduced;
        ASSERT_TRUE(DecodeJpegReduced(EncodeJpeg(scan, 75), c.minLongSide, false, reduced));
        EXPECT_EQ(reduced.Width, c.expectWidth) << c.width << "x" << c.height;
        EXPECT_EQ(reduced.Height, c.expectHeight) << c.width << "x" << c.height;
        EXPECT_NEAR(Mean(reduced.Samples), 240, 1.5);
    }
}

TEST(JpegReducer, ColourGivesLuminanceUnlessColourIsAskedFor) {
    const GreyScan scan = MakeScan(ScanKind::PageNumber, 100, 3, 12);
    const std::string jpeg = EncodeJpeg(scan, 85, true);
    TReducedJpeg grey;
    ASSERT_TRUE(DecodeJpegReduced(jpeg, 64, false, grey));
    EXPECT_EQ(grey.Components, 1);
    TReducedJpeg colour;
    ASSERT_TRUE(DecodeJpegReduced(jpeg, 64, true, colour));
    EXPECT_EQ(colour.Components, 3);
    EXPECT_EQ(colour.Samples.size(), grey.Samples.size() * 3);
    // The paper tint: blue a few levels below red.
    double red = 0;
    double blue = 0;
    for (size_t i = 0; i < colour.Samples.size(); i += 3) {
        red += colour.Samples[i];
        blue += colour.Samples[i + 2];
    }
    EXPECT_GT(red - blue, 3.0 * static_cast<double>(colour.Samples.size() / 3));
}

TEST(JpegReducer, CmykKeepsItsFourComponentsAndTheAdobeMark) {
    GreyScan scan;
    scan.width = 80;
    scan.height = 100;
    scan.pixels.assign(8000, '\xFF');
    TReducedJpeg reduced;
    ASSERT_TRUE(DecodeJpegReduced(EncodeCmykJpeg(scan, 90, true), 16, false, reduced));
    EXPECT_EQ(reduced.Components, 4);
    EXPECT_TRUE(reduced.AdobeCmyk);
    // Stored inverted: no ink reads 255 in every component.
    EXPECT_NEAR(Mean(reduced.Samples), 255, 1);
    ASSERT_TRUE(DecodeJpegReduced(EncodeCmykJpeg(scan, 90, false), 16, false, reduced));
    EXPECT_NEAR(Mean(reduced.Samples), 0, 1);
}

TEST(JpegReducer, DamagedDataIsRefused) {
    GreyScan scan = MakeScan(ScanKind::OneLine, 72, 11);
    const std::string jpeg = EncodeJpeg(scan, 80);
    TReducedJpeg reduced;
    ASSERT_TRUE(DecodeJpegReduced(jpeg, 100, false, reduced));
    EXPECT_FALSE(DecodeJpegReduced("", 100, false, reduced));
    EXPECT_FALSE(DecodeJpegReduced("not a jpeg at all", 100, false, reduced));
    // Cut in the middle of the entropy-coded data.
    EXPECT_FALSE(DecodeJpegReduced(jpeg.substr(0, jpeg.size() / 2), 100, false, reduced));
    // Only the header.
    EXPECT_FALSE(DecodeJpegReduced(jpeg.substr(0, 400), 100, false, reduced));
    // Bytes flipped in the coded data.
    std::string flipped = jpeg;
    for (size_t i = jpeg.size() / 3; i < jpeg.size() / 3 + 64; ++i) flipped[i] = '\xFF';
    EXPECT_FALSE(DecodeJpegReduced(flipped, 100, false, reduced));
}

TEST(JpegReducer, AHeaderClaimingAHugeImageIsRefusedQuickly) {
    GreyScan scan;
    scan.width = 16;
    scan.height = 16;
    scan.pixels.assign(256, '\x80');
    std::string jpeg = EncodeJpeg(scan, 75);
    // The baseline frame header (FFC0): length, precision, then height and width.
    const size_t sof = jpeg.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    for (const auto& [height, width] : {std::pair{0xFFFF, 0xFFFF}, std::pair{0xFFFF, 0x0010}}) {
        jpeg[sof + 5] = static_cast<char>(height >> 8);
        jpeg[sof + 6] = static_cast<char>(height & 0xFF);
        jpeg[sof + 7] = static_cast<char>(width >> 8);
        jpeg[sof + 8] = static_cast<char>(width & 0xFF);
        TReducedJpeg reduced;
        EXPECT_FALSE(DecodeJpegReduced(jpeg, 384, false, reduced)) << height << "x" << width;
    }
}

}  // namespace
}  // namespace verava
