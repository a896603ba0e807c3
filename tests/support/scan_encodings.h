// The encodings scanners store grey pages in, as image XObjects: JPEG, Flate over 8-bit grey
// (plain, or behind PNG predictors chosen row by row), and black-and-white after a
// threshold, as 1-bit Flate or CCITT Group 4 (coded_images.h).
//   << /Width 2480 /Height 3508 /ColorSpace /DeviceGray /BitsPerComponent 1
//      /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 2480 /Rows 3508 >> >>
#pragma once

#include <string>

#include "support/scanned_pages.h"

namespace verava::testing {

enum class ScanEncoding { Jpeg, Flate, FlatePng, BilevelFlate, CcittG4 };
inline constexpr ScanEncoding kScanEncodings[] = {
    ScanEncoding::Jpeg, ScanEncoding::Flate, ScanEncoding::FlatePng, ScanEncoding::BilevelFlate,
    ScanEncoding::CcittG4};

const char* EncodingName(ScanEncoding encoding);
bool IsBilevel(ScanEncoding encoding);

struct ScanSettings {
    int jpegQuality = 75;
    // Bilevel: pixels darker than this are black.
    int threshold = 128;
    // 1-bit Flate: store 1 for black, with /Decode [1 0] saying so.
    bool blackIsOne = false;
};

// An image XObject's dictionary entries (all but Type and Subtype) and its stream data.
struct EncodedScan {
    std::string entries;
    std::string data;
};

EncodedScan EncodeScan(const GreyScan& scan, ScanEncoding encoding, const ScanSettings& settings);

// The scan as a scanner in black-and-white mode makes it: black (0) below `threshold`,
// white (255) elsewhere.
GreyScan Threshold(const GreyScan& scan, int threshold);

// The level of the paper as a scanner's automatic threshold finds it: the level that 90 %
// of the pixels reach or pass in darkness.
int PaperLevel(const GreyScan& scan);

}  // namespace verava::testing
