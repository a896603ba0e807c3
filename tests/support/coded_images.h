// Images coded as scanners code them, made in code for the codec and blank-page tests: CCITT
// fax data from libtiff's encoder, JPEG 2000 from OpenJPEG's, and embedded JBIG2 streams
// written segment by segment around Group 4 (MMR) data.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace verava::testing {

// A bilevel picture: `ink(x, y)` true where it is black.
struct Bilevel {
    int width = 0;
    int height = 0;
    std::function<bool(int, int)> ink;
};

// How libtiff writes the fax data (TIFF 6.0: Compression 2, 3 or 4).
enum class FaxCoding {
    Group4,             // K < 0
    Group3OneD,         // K = 0, an end-of-line before each row
    Group3OneDFill,     // K = 0, end-of-lines ending on byte boundaries
    Group3OneDAligned,  // K = 0, no end-of-lines, each row starting on a byte
    Group3OneDNoEol,    // K = 0, rows packed without end-of-lines
    Group3TwoD,         // K > 0, an end-of-line and a 1-D/2-D tag before each row
    Group3TwoDFill,     // K > 0, end-of-lines ending on byte boundaries, then the tag
    // Re-packed from libtiff's output, for what libtiff does not write:
    Group3OneDEolOnByte,  // K = 0, end-of-lines starting on byte boundaries
    Group3TwoDNoEol,      // K > 0, only the tag before each row
    Group3TwoDAligned,    // K > 0, no end-of-lines, each row's tag starting on a byte
    Group4Aligned,        // K < 0, each row starting on a byte
};

// The fax data for the picture (1 bits black, as T.4 and T.6 code them): the strip libtiff
// writes, re-packed for the codings it does not write.
std::string EncodeFax(const Bilevel& picture, FaxCoding coding);

// An embedded JBIG2 stream (T.88, Annex D.3): a page information segment for the picture's
// size, then one immediate generic region covering it, MMR-coded. `endOfPage` appends an
// end-of-page segment.
std::string EncodeJbig2(const Bilevel& picture, bool endOfPage = false);
// One segment with a one-byte page association and no referred-to segments.
std::string Jbig2Segment(uint32_t number, uint8_t type, uint8_t page, const std::string& data);

// JPEG 2000 of `components` (1 or 3) 8-bit components given per pixel by `sample(x, y, c)`,
// lossless, with `resolutions` resolution levels; a JP2 file or a bare codestream. `precision`
// other than 8 stores sample * (2^precision - 1) / 255.
std::string EncodeJpx(int width, int height, int components,
                      const std::function<uint8_t(int, int, int)>& sample, bool jp2,
                      int resolutions = 6, int precision = 8);

}  // namespace verava::testing
