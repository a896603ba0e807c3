// DCTDecode data (baseline or progressive JPEG) decoded at reduced size with libjpeg-turbo's
// scaled decoding: at one eighth of the size each 8 x 8 block becomes one pixel, its mean,
// so a 300 dpi A4 scan (2480 x 3508) comes out as 310 x 439 without a full inverse DCT.
// Used to look at scanned pages, never to render them.
//   12 0 obj << /Subtype /Image /Width 2480 /Height 3508 /Filter /DCTDecode ... >> stream
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace verava {

struct TReducedJpeg {
    int32_t Width = 0;
    int32_t Height = 0;
    // 1 (grey: the luminance of a grey, YCbCr or RGB JPEG), 3 (RGB, when asked for) or 4
    // (CMYK as stored).
    int32_t Components = 0;
    // An Adobe APP14 marker on a four-component JPEG: by Photoshop's convention the stored
    // CMYK values are inverted (255 is no ink).
    bool AdobeCmyk = false;
    std::vector<uint8_t> Samples;  // rows top to bottom, Components bytes per pixel
};

// No JPEG whose scaled output or decoder memory would pass this many bytes is decoded.
inline constexpr size_t kMaxJpegMemory = size_t{256} << 20;
// Nor one of more scans than this (each scan of a progressive JPEG is a pass over the image).
inline constexpr int kMaxJpegScans = 256;

// Decodes `data` scaled by M/8, M the smallest of 1..8 that keeps the long side at least
// `minLongSide` pixels (8 for small images). `keepColour` asks for RGB from a three-component
// JPEG instead of its luminance. False, with `out` unspecified, for data libjpeg refuses or
// warns about (damaged, truncated), for images beyond kMaxJpegMemory or kMaxJpegScans, and
// for component counts other than 1, 3 and 4. Never raises.
bool DecodeJpegReduced(std::string_view data, int32_t minLongSide, bool keepColour,
                       TReducedJpeg& out);

}  // namespace verava
