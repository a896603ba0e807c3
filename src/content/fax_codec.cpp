// CCITTFaxDecode through libtiff's fax decoder: the data become the one strip of a TIFF that
// exists only as a few dozen header bytes in front of the caller's buffer.
#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <vector>

#include "content/image_codecs.h"
#include "objects/pdf_structure.h"

namespace verava {
namespace {

// TIFF 6.0 field types.
constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;

// A little-endian TIFF header and its one directory, with the strip right behind them.
class TFaxTiff {
  public:
    TFaxTiff(std::string_view strip, int32_t width, int32_t height, uint16_t compression,
             uint32_t t4Options)
        : strip_(strip) {
        header_ = {'I', 'I', 42, 0, 8, 0, 0, 0};
        const uint16_t count = compression == COMPRESSION_CCITTFAX3 ? 11 : 10;
        const uint32_t stripOffset = 8 + 2 + 12 * count + 4;
        Put16(count);
        Entry(TIFFTAG_IMAGEWIDTH, kLong, static_cast<uint32_t>(width));
        Entry(TIFFTAG_IMAGELENGTH, kLong, static_cast<uint32_t>(height));
        Entry(TIFFTAG_BITSPERSAMPLE, kShort, 1);
        Entry(TIFFTAG_COMPRESSION, kShort, compression);
        // Decoded bits are 1 for black whatever BlackIs1 says; the caller maps them.
        Entry(TIFFTAG_PHOTOMETRIC, kShort, PHOTOMETRIC_MINISWHITE);
        Entry(TIFFTAG_FILLORDER, kShort, FILLORDER_MSB2LSB);
        Entry(TIFFTAG_STRIPOFFSETS, kLong, stripOffset);
        Entry(TIFFTAG_SAMPLESPERPIXEL, kShort, 1);
        Entry(TIFFTAG_ROWSPERSTRIP, kLong, static_cast<uint32_t>(height));
        Entry(TIFFTAG_STRIPBYTECOUNTS, kLong, static_cast<uint32_t>(strip.size()));
        if (compression == COMPRESSION_CCITTFAX3) Entry(TIFFTAG_T4OPTIONS, kLong, t4Options);
        Put32(0);  // no further directory
    }

    static tmsize_t Read(thandle_t handle, void* buffer, tmsize_t size) {
        auto* self = static_cast<TFaxTiff*>(handle);
        auto* out = static_cast<char*>(buffer);
        tmsize_t done = 0;
        while (done < size && self->position_ < self->Size()) {
            const uint64_t at = self->position_;
            const std::string_view part =
                at < self->header_.size()
                    ? std::string_view(reinterpret_cast<const char*>(self->header_.data()) + at,
                                       self->header_.size() - at)
                    : self->strip_.substr(at - self->header_.size());
            const size_t n = std::min<uint64_t>(part.size(), static_cast<uint64_t>(size - done));
            std::memcpy(out + done, part.data(), n);
            done += static_cast<tmsize_t>(n);
            self->position_ += n;
        }
        return done;
    }
    static tmsize_t Write(thandle_t, void*, tmsize_t) { return 0; }
    static toff_t Seek(thandle_t handle, toff_t offset, int whence) {
        auto* self = static_cast<TFaxTiff*>(handle);
        const uint64_t base = whence == SEEK_CUR   ? self->position_
                              : whence == SEEK_END ? self->Size()
                                                   : 0;
        self->position_ = base + offset;
        return self->position_;
    }
    static int Close(thandle_t) { return 0; }
    static toff_t SizeOf(thandle_t handle) { return static_cast<TFaxTiff*>(handle)->Size(); }
    static int Map(thandle_t, void**, toff_t*) { return 0; }
    static void Unmap(thandle_t, void*, toff_t) {}

  private:
    uint64_t Size() const { return header_.size() + strip_.size(); }
    void Put16(uint32_t v) {
        header_.push_back(static_cast<uint8_t>(v));
        header_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void Put32(uint32_t v) {
        Put16(v & 0xFFFF);
        Put16(v >> 16);
    }
    // A short value sits in the low bytes of the value field, little-endian like a long.
    void Entry(uint16_t tag, uint16_t type, uint32_t value) {
        Put16(tag);
        Put16(type);
        Put32(1);
        Put32(value);
    }

    std::string_view strip_;
    std::vector<uint8_t> header_;
    uint64_t position_ = 0;
};

// libtiff mends what it cannot decode (a short row is filled out, a missing one left white)
// and says so in a warning; a picture partly unknown is not paper, so any message is failure.
int NoteDamage(TIFF*, void* damaged, const char*, const char*, va_list) {
    *static_cast<bool*>(damaged) = true;
    return 1;  // handled: libtiff's global handlers (stderr) stay silent
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
struct OptionsFreer {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// An end-of-line code (eleven or more 0 bits, then a 1) before the first row. No row's
// own code starts with eleven 0 bits, so data that begins this way carries end-of-lines.
bool StartsWithEndOfLine(std::string_view data) {
    int zeros = 0;
    for (const char c : data) {
        const auto byte = static_cast<uint8_t>(c);
        for (int bit = 7; bit >= 0; --bit) {
            if ((byte >> bit) & 1) return zeros >= 11;
            ++zeros;
        }
    }
    return false;
}

bool ReadBoolean(const TPDFDictionary& parms, std::string_view name, bool fallback) {
    const auto* value = As<TPDFBoolean>(parms.GetValue(name, true));
    return value != nullptr ? value->Truth : fallback;
}

}  // namespace

TFaxOptions ReadFaxOptions(const TPDFDictionary* parms) {
    TFaxOptions options;
    if (parms == nullptr) return options;
    options.K = parms->GetInteger("K", options.K);
    options.EndOfLine = ReadBoolean(*parms, "EndOfLine", options.EndOfLine);
    options.EncodedByteAlign = ReadBoolean(*parms, "EncodedByteAlign", options.EncodedByteAlign);
    options.Columns = parms->GetInteger("Columns", options.Columns);
    options.Rows = parms->GetInteger("Rows", options.Rows);
    options.EndOfBlock = ReadBoolean(*parms, "EndOfBlock", options.EndOfBlock);
    options.BlackIs1 = ReadBoolean(*parms, "BlackIs1", options.BlackIs1);
    options.DamagedRowsBeforeError =
        parms->GetInteger("DamagedRowsBeforeError", options.DamagedRowsBeforeError);
    return options;
}

bool DecodeFax(std::string_view data, const TFaxOptions& options, int32_t width, int32_t height,
               size_t maxPixels, TSampleSink& sink) {
    try {
        if (width <= 0 || height <= 0 || width > kMaxCodecSide || height > kMaxCodecSide) {
            return false;
        }
        if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > maxPixels) return false;
        // The filter's rows are Columns bits padded to bytes; the image reads them as width
        // bits padded to bytes. Only the same byte count keeps rows where they belong.
        if (options.Columns <= 0 || options.Columns > kMaxCodecSide ||
            (options.Columns + 7) / 8 != (width + 7) / 8) {
            return false;
        }
        if (options.Rows > 0 && options.Rows < height) return false;
        if (data.empty() || data.size() > UINT32_MAX) return false;

        // Which TIFF compression reads the data (TIFF 6.0, sections 10 and 11). libtiff reads
        // Group 3 rows only behind end-of-line codes, and Group 4 rows only packed.
        uint16_t compression = COMPRESSION_CCITTFAX4;
        uint32_t t4Options = 0;
        if (options.K < 0) {
            if (options.EncodedByteAlign) return false;
        } else if (options.EndOfLine || StartsWithEndOfLine(data)) {
            // Fill bits before end-of-lines are skipped like any run of 0 bits.
            compression = COMPRESSION_CCITTFAX3;
            t4Options = options.K > 0 ? GROUP3OPT_2DENCODING : 0;
        } else if (options.K == 0 && options.EncodedByteAlign) {
            // Modified Huffman rows, each starting on a byte: TIFF's compression 2.
            compression = COMPRESSION_CCITTRLE;
        } else {
            return false;
        }

        TFaxTiff file(data, options.Columns, height, compression, t4Options);
        bool damaged = false;
        std::unique_ptr<TIFFOpenOptions, OptionsFreer> openOptions(TIFFOpenOptionsAlloc());
        if (!openOptions) return false;
        TIFFOpenOptionsSetErrorHandlerExtR(openOptions.get(), NoteDamage, &damaged);
        TIFFOpenOptionsSetWarningHandlerExtR(openOptions.get(), NoteDamage, &damaged);
        // The largest buffer libtiff needs is the strip itself; the rest is a few rows.
        TIFFOpenOptionsSetMaxSingleMemAlloc(openOptions.get(),
                                            static_cast<tmsize_t>(data.size() + (4 << 20)));
        // "m": read through the procedures, never map.
        std::unique_ptr<TIFF, TiffCloser> tiff(TIFFClientOpenExt(
            "fax", "rm", &file, TFaxTiff::Read, TFaxTiff::Write, TFaxTiff::Seek, TFaxTiff::Close,
            TFaxTiff::SizeOf, TFaxTiff::Map, TFaxTiff::Unmap, openOptions.get()));
        if (!tiff || damaged) return false;
        const tmsize_t scanline = TIFFScanlineSize(tiff.get());
        if (scanline != (options.Columns + 7) / 8) return false;

        if (!sink.Begin(width, height, 1)) return false;
        const uint8_t black = options.BlackIs1 ? 255 : 0;
        const uint8_t white = 255 - black;
        std::vector<uint8_t> packed(static_cast<size_t>(scanline));
        std::vector<uint8_t> samples(static_cast<size_t>(width));
        for (int32_t y = 0; y < height; ++y) {
            if (TIFFReadScanline(tiff.get(), packed.data(), static_cast<uint32_t>(y), 0) < 0 ||
                damaged) {
                return false;
            }
            for (int32_t x = 0; x < width; ++x) {
                const bool ink = (packed[static_cast<size_t>(x / 8)] >> (7 - x % 8)) & 1;
                samples[static_cast<size_t>(x)] = ink ? black : white;
            }
            sink.Row(samples.data());
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace verava
