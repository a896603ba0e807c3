// The image encodings scanners write besides JPEG, decoded for judging pages, never for
// rendering: CCITT fax (decoded here), JBIG2 (jbig2dec) and JPEG 2000 (OpenJPEG). Each hands
// its picture to a TSampleSink row by row, as 8-bit samples, so one reduction path serves all.
//   9 0 obj << /Subtype /Image /Width 2480 /Height 3508 /BitsPerComponent 1
//              /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 2480 >> >> stream ...
// Every decoder returns false on data it cannot read whole (damaged, truncated, a variant not
// supported here) and for pictures beyond its budget, which it checks before allocating.
// None raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace verava {

class TPDFDictionary;

// Receives one decoded image: its size once, then its rows from the top. Bilevel images
// arrive as 0 and 255 in the PDF filter's output sense (the values a 1-bit DeviceGray sample
// 0 or 1 has once widened), so the caller applies ColorSpace and Decode as for any image.
class TSampleSink {
  public:
    virtual ~TSampleSink() = default;
    // Before any row; false refuses the image and ends decoding with false.
    virtual bool Begin(int32_t width, int32_t height, int32_t components) = 0;
    // One row of width x components samples.
    virtual void Row(const uint8_t* samples) = 0;
    // One row of a one-component bilevel image, `width` samples wide, as its runs: `first`
    // from the row's start to changes[0], `second` from there to changes[1], and so on in turn
    // to the row's end; `changes` ascend, and those at or past the width change nothing. A
    // blank page is a few thousand rows without a change. By default the row is spelt out
    // for Row.
    virtual void RunRow(const int32_t* changes, size_t count, int32_t width, uint8_t first,
                        uint8_t second);

  private:
    std::vector<uint8_t> spelt_;  // RunRow's row
};

// No codec decodes an image wider or taller than this (a 2 m sheet at 600 dpi is 47000
// pixels): its per-row state alone would be absurd.
inline constexpr int32_t kMaxCodecSide = 1 << 17;

// CCITTFaxDecode's parameters (ISO 32000-1, 7.4.6, table 11) with their defaults.
struct TFaxOptions {
    int32_t K = 0;  // < 0 Group 4; 0 Group 3 one-dimensional; > 0 Group 3 mixed 1-D/2-D
    bool EndOfLine = false;
    bool EncodedByteAlign = false;
    int32_t Columns = 1728;
    int32_t Rows = 0;  // 0: as many as the image is high
    bool EndOfBlock = true;
    bool BlackIs1 = false;
    int32_t DamagedRowsBeforeError = 0;
};

// Entries missing or of the wrong type keep their defaults; null gives all defaults.
TFaxOptions ReadFaxOptions(const TPDFDictionary* parms);

// Decodes `height` rows of `width` pixels, one sample each, 0 or 255 as the filter's output
// bits with BlackIs1 applied; pixels past Columns within a row's last byte are white. False
// when Columns does not give rows of width's byte count, when Rows is below `height`, when
// width x height passes `maxPixels`, and for damaged or truncated data. Group 3 data with
// EOLs (EndOfLine, or EOLs found before the first row) may have up to DamagedRowsBeforeError
// damaged rows, each replaced by the row above, decoding resuming at the next EOL; elsewhere
// any damage is failure. EndOfBlock changes nothing: exactly `height` rows are read, and what
// follows them never is; an EOFB or RTC before them is damage.
bool DecodeFax(std::string_view data, const TFaxOptions& options, int32_t width, int32_t height,
               size_t maxPixels, TSampleSink& sink);

// Decodes the first page of an embedded JBIG2 stream (ISO 32000-1, 7.4.7), with the segments
// of `globals` (the JBIG2Globals stream, may be empty) read first. One sample per pixel: 0
// black, 255 white, as the filter yields them. False for pages beyond `maxPixels`, decoders
// needing more than that many bytes, segments cut short or of unknown length, pages without
// any region segment, and anything jbig2dec reports as a warning or error.
bool DecodeJbig2(std::string_view data, std::string_view globals, size_t maxPixels,
                 TSampleSink& sink);

enum class TJpxColour { Gray, Rgb, Cmyk };

// What the JPEG 2000 data said about itself.
struct TJpxInfo {
    int32_t Components = 0;  // delivered per pixel: 1, 3 or 4 (alpha channels left out)
    TJpxColour Colour = TJpxColour::Gray;
    int32_t Precision = 0;  // bits per sample before scaling to 8
    int32_t FullWidth = 0;
    int32_t FullHeight = 0;
};

// Decodes a JPEG 2000 codestream or JP2 file at the smallest resolution level whose long
// side is still at least `minLongSide` pixels, 8 bits a sample (other precisions scaled,
// signed samples shifted), sYCC turned into RGB and alpha channels dropped. False for
// data OpenJPEG reports as damaged or truncated (damage inside coded blocks goes unseen: the
// codestream has no checksum, and it decodes to noise), for images whose full size in samples
// passes `maxPixels`, for colour counts other than 1, 3 and 4 and for components of
// different sizes (subsampled chroma). `info` may be null.
bool DecodeJpx(std::string_view data, int32_t minLongSide, size_t maxPixels, TSampleSink& sink,
               TJpxInfo* info);

}  // namespace verava
