// The scan set's lossless encodings read back through the image reducer as exactly the pixels
// they were made from: Flate, PNG predictors, 1-bit Flate either way round and CCITT Group 4
// (after the threshold). JPEG is EncodeJpeg's, judged at its own reduced size.
#include "support/scan_encodings.h"

#include <gtest/gtest.h>

#include "content/image_reducer.h"
#include "content/pages.h"

namespace verava {
namespace {

using testing::ScanEncoding;

TLuminanceGrid Reduce(const testing::GreyScan& scan) {
    TGridReducer reducer(scan.width, scan.height, TGridReducer::FactorFor(scan.width, scan.height));
    for (int y = 0; y < scan.height; ++y) {
        reducer.AddRow(reinterpret_cast<const uint8_t*>(scan.pixels.data()) +
                       static_cast<size_t>(y) * static_cast<size_t>(scan.width));
    }
    return reducer.Grid();
}

TEST(ScanEncodings, ReadBackAsTheirPixels) {
    // A4 at 50 dpi: paper noise, an edge shadow and a line of text give the PNG rows every
    // filter type to choose from.
    testing::SheetRecipe recipe;
    recipe.back = testing::Back::TextLine;
    recipe.artefacts = {{testing::Artefact::Shadow, 3}, {testing::Artefact::Dust, 2}};
    recipe.dpi = 50;
    const testing::GreyScan scan = testing::MakeSheet(recipe);
    for (const ScanEncoding encoding : testing::kScanEncodings) {
        if (encoding == ScanEncoding::Jpeg) continue;
        for (const bool blackIsOne : {false, true}) {
            testing::ScanSettings settings;
            settings.threshold = 160;
            settings.blackIsOne = blackIsOne;
            const testing::EncodedScan encoded = EncodeScan(scan, encoding, settings);
            testing::Pages pages;
            const auto* image =
                As<TPDFStream>(pages.Table().Get(pages.Image(encoded.entries, encoded.data)));
            ASSERT_NE(image, nullptr);
            TLuminanceGrid grid;
            ASSERT_TRUE(ReduceImage(*image, nullptr, grid)) << EncodingName(encoding);
            const TLuminanceGrid expected =
                Reduce(IsBilevel(encoding) ? testing::Threshold(scan, 160) : scan);
            ASSERT_EQ(grid.Width, expected.Width) << EncodingName(encoding);
            ASSERT_EQ(grid.Height, expected.Height) << EncodingName(encoding);
            EXPECT_EQ(grid.Cells, expected.Cells)
                << EncodingName(encoding) << (blackIsOne ? ", 1 is black" : "");
        }
    }
}

}  // namespace
}  // namespace verava
