// An image XObject reduced to a luminance grid (luminance_grid.h), for judging whether a
// scanned page is blank paper. JPEG images (DCTDecode) are decoded at an eighth of their
// size by libjpeg-turbo, JPEG 2000 (JPXDecode) at a reduced resolution level; CCITT fax and
// JBIG2 images (image_codecs.h) and images under our own filters (Flate, LZW, run-length,
// ASCII) are decoded whole, row by row, and averaged down. Grey, RGB, CMYK (Adobe-inverted
// JPEGs included), CalGray, CalRGB, ICCBased (by its N), Separation and DeviceN (by their
// tints) and Indexed over those are read, with 1, 2, 4, 8 or 16 bits per sample and any
// Decode array (ISO 32000-1, 8.9.5); stencil masks as black where they paint.
//   7 0 obj << /Subtype /Image /Width 2480 /Height 3508 /ColorSpace /DeviceGray
//              /BitsPerComponent 1 /Decode [1 0] /Filter /FlateDecode >> stream ...
#pragma once

#include <cstddef>

#include "content/luminance_grid.h"
#include "objects/pdf_object.h"

namespace verava {

// No image whose decoded samples pass this many bytes is decoded (nor more than the store's
// DecodeLimit): it counts as unreadable instead.
inline constexpr size_t kMaxImageBytes = size_t{256} << 20;

// Fills `grid` from the image and returns true; false when the image cannot be read here:
// unknown filters, coded data its codec refuses (image_codecs.h), colour spaces other than
// the ones above (Lab, Pattern), missing or absurd dimensions, data shorter than the image or
// damaged, images beyond kMaxImageBytes (samples, for the codecs). `colourSpaces` is the
// Resources' ColorSpace dictionary for colour spaces given by name (may be null). Never
// raises.
bool ReduceImage(const TPDFStream& image, const TPDFDictionary* colourSpaces, TLuminanceGrid& grid);

}  // namespace verava
