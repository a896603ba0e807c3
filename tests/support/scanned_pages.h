// Pages as a single-sided scanner delivers them, made in code for the blank-page tests and
// the blank benchmark: grey (or colour) pixels of an A4 sheet at a chosen resolution, with
// paper noise, dust, and ink drawn as strokes of a tiny 7-segment/box "font", encoded as
// JPEG with libjpeg. Everything is deterministic for a given seed.
#pragma once

#include <cstdint>
#include <string>

namespace verava::testing {

enum class ScanKind {
    WhiteNoise,  // white paper, sensor noise, dust specks, sometimes faint show-through
    OneLine,     // white paper with one short line of text
    PageNumber,  // white paper with only a page number (1 to 3 digits) near the bottom
    GreyPaper,   // recycled grey paper: mottled, with fibres
    Dark,        // a black or dark page
};

// Blank paper: what a blank-page detector should drop.
bool IsBlankKind(ScanKind kind);
const char* KindName(ScanKind kind);

// One grey image, rows top to bottom, one byte per pixel (0 black .. 255 white).
struct GreyScan {
    int width = 0;
    int height = 0;
    std::string pixels;
};

// An A4 sheet (210 x 297 mm) at `dpi` of the given kind. `number` is the page number
// drawn on PageNumber pages.
GreyScan MakeScan(ScanKind kind, int dpi, uint32_t seed, int number = 1);

// Baseline JPEG of the scan: one component, or with `colour` three (YCbCr, with a faint
// paper tint as colour scanners give it).
std::string EncodeJpeg(const GreyScan& scan, int quality, bool colour = false);
// Four-component JPEG with an Adobe marker. With `inverted` the ink values are stored
// inverted (255 = no ink), as Photoshop writes them.
std::string EncodeCmykJpeg(const GreyScan& scan, int quality, bool inverted);

}  // namespace verava::testing
