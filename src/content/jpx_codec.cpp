// JPXDecode through OpenJPEG, decoding only the resolution levels a judge needs: a 300 dpi A4
// page with five levels of wavelet decomposition comes out at 310 x 439 without its finer
// levels ever being decoded.
#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "content/image_codecs.h"

namespace verava {
namespace {

// Tiles are decoded one after another, each with its own set-up; an image cut into more
// tiles than this (a 600 dpi A4 page in 64 x 64 tiles has 8600) is nonsense.
constexpr uint64_t kMaxJpxTiles = 1 << 16;
// OpenJPEG reads the memory through a buffer of this size.
constexpr size_t kStreamChunk = 64 << 10;

struct TMemoryReader {
    std::string_view data;
    size_t position = 0;

    static OPJ_SIZE_T Read(void* buffer, OPJ_SIZE_T size, void* user) {
        auto* self = static_cast<TMemoryReader*>(user);
        const size_t left = self->data.size() - self->position;
        if (left == 0) return static_cast<OPJ_SIZE_T>(-1);  // the end, as OpenJPEG expects it
        const size_t n = std::min<size_t>(left, size);
        std::memcpy(buffer, self->data.data() + self->position, n);
        self->position += n;
        return n;
    }
    static OPJ_OFF_T Skip(OPJ_OFF_T count, void* user) {
        auto* self = static_cast<TMemoryReader*>(user);
        if (count < 0) {
            const size_t back = std::min<size_t>(self->position, static_cast<size_t>(-count));
            self->position -= back;
            return -static_cast<OPJ_OFF_T>(back);
        }
        const size_t ahead =
            std::min<size_t>(self->data.size() - self->position, static_cast<size_t>(count));
        self->position += ahead;
        return static_cast<OPJ_OFF_T>(ahead);
    }
    static OPJ_BOOL Seek(OPJ_OFF_T offset, void* user) {
        auto* self = static_cast<TMemoryReader*>(user);
        if (offset < 0 || static_cast<uint64_t>(offset) > self->data.size()) return OPJ_FALSE;
        self->position = static_cast<size_t>(offset);
        return OPJ_TRUE;
    }
};

// OpenJPEG decodes what it can of damaged or truncated data and warns; a picture partly
// unknown is not paper, so a warning fails the image like an error.
void NoteComplaint(const char*, void* failed) { *static_cast<bool*>(failed) = true; }
void Silent(const char*, void*) {}

struct CodecFreer {
    void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct StreamFreer {
    void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct ImageFreer {
    void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};
struct InfoFreer {
    void operator()(opj_codestream_info_v2_t* info) const { opj_destroy_cstr_info(&info); }
};

bool StartsWith(std::string_view data, std::string_view prefix) {
    return data.substr(0, prefix.size()) == prefix;
}

// One component's sample as 8 bits: signed samples shifted to start at 0, others scaled.
uint8_t ToByte(int32_t value, uint32_t precision, bool isSigned) {
    int64_t v = value;
    if (isSigned) v += int64_t{1} << (precision - 1);
    const int64_t top = (int64_t{1} << precision) - 1;
    v = std::clamp<int64_t>(v, 0, top);
    if (precision == 8) return static_cast<uint8_t>(v);
    if (precision > 8) return static_cast<uint8_t>(v >> (precision - 8));
    return static_cast<uint8_t>((v * 255 + top / 2) / top);
}

uint8_t Clamp(double v) { return static_cast<uint8_t>(std::clamp(v + 0.5, 0.0, 255.0)); }

bool Decode(std::string_view data, int32_t minLongSide, size_t maxPixels, TSampleSink& sink,
            TJpxInfo* info) {
    OPJ_CODEC_FORMAT format;
    if (StartsWith(data, std::string_view("\xFF\x4F\xFF\x51", 4))) {
        format = OPJ_CODEC_J2K;
    } else if (StartsWith(data, std::string_view("\x00\x00\x00\x0CjP  \r\n\x87\n", 12))) {
        format = OPJ_CODEC_JP2;
    } else {
        return false;
    }
    bool failed = false;
    std::unique_ptr<opj_codec_t, CodecFreer> codec(opj_create_decompress(format));
    if (!codec) return false;
    opj_set_info_handler(codec.get(), Silent, nullptr);
    opj_set_warning_handler(codec.get(), NoteComplaint, &failed);
    opj_set_error_handler(codec.get(), NoteComplaint, &failed);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.get(), &parameters)) return false;
    // Truncated data fails rather than decoding what is there.
    opj_decoder_set_strict_mode(codec.get(), OPJ_TRUE);

    TMemoryReader reader{data};
    std::unique_ptr<opj_stream_t, StreamFreer> stream(opj_stream_create(kStreamChunk, OPJ_TRUE));
    if (!stream) return false;
    opj_stream_set_user_data(stream.get(), &reader, nullptr);
    opj_stream_set_user_data_length(stream.get(), data.size());
    opj_stream_set_read_function(stream.get(), TMemoryReader::Read);
    opj_stream_set_skip_function(stream.get(), TMemoryReader::Skip);
    opj_stream_set_seek_function(stream.get(), TMemoryReader::Seek);

    opj_image_t* rawImage = nullptr;
    const bool headerRead = opj_read_header(stream.get(), codec.get(), &rawImage);
    std::unique_ptr<opj_image_t, ImageFreer> image(rawImage);
    if (!headerRead || !image || failed || image->numcomps == 0 || image->x1 <= image->x0 ||
        image->y1 <= image->y0) {
        return false;
    }
    const uint64_t fullWidth = image->x1 - image->x0;
    const uint64_t fullHeight = image->y1 - image->y0;
    if (fullWidth > kMaxCodecSide || fullHeight > kMaxCodecSide ||
        fullWidth * fullHeight * image->numcomps > maxPixels) {
        return false;
    }
    std::unique_ptr<opj_codestream_info_v2_t, InfoFreer> codestream(opj_get_cstr_info(codec.get()));
    if (!codestream || codestream->m_default_tile_info.tccp_info == nullptr ||
        static_cast<uint64_t>(codestream->tw) * codestream->th > kMaxJpxTiles) {
        return false;
    }
    uint32_t levels = 33;
    for (uint32_t c = 0; c < codestream->nbcomps; ++c) {
        levels = std::min(levels, codestream->m_default_tile_info.tccp_info[c].numresolutions);
    }
    // The smallest level whose long side still reaches minLongSide: each level halves it.
    const uint64_t longSide = std::max(fullWidth, fullHeight);
    uint32_t factor = 0;
    while (factor + 1 < levels &&
           ((longSide + (uint64_t{1} << (factor + 1)) - 1) >> (factor + 1)) >=
               static_cast<uint64_t>(std::max(minLongSide, 1))) {
        ++factor;
    }
    if (factor > 0 && !opj_set_decoded_resolution_factor(codec.get(), factor)) return false;
    if (!opj_decode(codec.get(), stream.get(), image.get()) ||
        !opj_end_decompress(codec.get(), stream.get()) || failed) {
        return false;
    }

    std::vector<const opj_image_comp_t*> colours;
    for (uint32_t c = 0; c < image->numcomps; ++c) {
        const opj_image_comp_t& comp = image->comps[c];
        if (comp.alpha != 0) continue;  // transparency says nothing about the ink
        if (comp.data == nullptr || comp.prec == 0 || comp.prec > 31) return false;
        colours.push_back(&comp);
    }
    const size_t count = colours.size();
    if (count != 1 && count != 3 && count != 4) return false;
    const uint32_t width = colours[0]->w;
    const uint32_t height = colours[0]->h;
    for (const opj_image_comp_t* comp : colours) {
        if (comp->w != width || comp->h != height) return false;
    }
    if (width == 0 || height == 0) return false;
    if (image->color_space == OPJ_CLRSPC_EYCC) return false;
    const bool ycc = image->color_space == OPJ_CLRSPC_SYCC && count == 3;
    if (info != nullptr) {
        info->Components = static_cast<int32_t>(count);
        info->Colour = count == 1   ? TJpxColour::Gray
                       : count == 3 ? TJpxColour::Rgb
                                    : TJpxColour::Cmyk;
        info->Precision = static_cast<int32_t>(colours[0]->prec);
        info->FullWidth = static_cast<int32_t>(fullWidth);
        info->FullHeight = static_cast<int32_t>(fullHeight);
    }

    if (!sink.Begin(static_cast<int32_t>(width), static_cast<int32_t>(height),
                    static_cast<int32_t>(count))) {
        return false;
    }
    std::vector<uint8_t> row(static_cast<size_t>(width) * count);
    for (uint32_t y = 0; y < height; ++y) {
        const size_t start = static_cast<size_t>(y) * width;
        for (size_t c = 0; c < count; ++c) {
            const opj_image_comp_t& comp = *colours[c];
            for (uint32_t x = 0; x < width; ++x) {
                row[x * count + c] = ToByte(comp.data[start + x], comp.prec, comp.sgnd != 0);
            }
        }
        if (ycc) {
            // sYCC (IEC 61966-2-1 Amendment 1): full-range BT.601 luma and chroma.
            for (uint32_t x = 0; x < width; ++x) {
                uint8_t* p = &row[x * 3];
                const double luma = p[0];
                const double cb = p[1] - 128.0;
                const double cr = p[2] - 128.0;
                p[0] = Clamp(luma + 1.402 * cr);
                p[1] = Clamp(luma - 0.344136 * cb - 0.714136 * cr);
                p[2] = Clamp(luma + 1.772 * cb);
            }
        }
        sink.Row(row.data());
    }
    return true;
}

}  // namespace

bool DecodeJpx(std::string_view data, int32_t minLongSide, size_t maxPixels, TSampleSink& sink,
               TJpxInfo* info) {
    try {
        return Decode(data, minLongSide, maxPixels, sink, info);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace verava
