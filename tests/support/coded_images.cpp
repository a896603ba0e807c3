#include "support/coded_images.h"

#include <openjpeg.h>
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace verava::testing {
namespace {

// A TIFF file in memory, for libtiff to write and read back.
struct MemoryFile {
    std::string bytes;
    uint64_t position = 0;

    static tmsize_t Read(thandle_t h, void* buffer, tmsize_t size) {
        auto* f = static_cast<MemoryFile*>(h);
        if (f->position >= f->bytes.size()) return 0;
        const size_t n =
            std::min<uint64_t>(static_cast<uint64_t>(size), f->bytes.size() - f->position);
        std::memcpy(buffer, f->bytes.data() + f->position, n);
        f->position += n;
        return static_cast<tmsize_t>(n);
    }
    static tmsize_t Write(thandle_t h, void* buffer, tmsize_t size) {
        auto* f = static_cast<MemoryFile*>(h);
        const uint64_t end = f->position + static_cast<uint64_t>(size);
        if (end > f->bytes.size()) f->bytes.resize(end);
        std::memcpy(f->bytes.data() + f->position, buffer, static_cast<size_t>(size));
        f->position = end;
        return size;
    }
    static toff_t Seek(thandle_t h, toff_t offset, int whence) {
        auto* f = static_cast<MemoryFile*>(h);
        const uint64_t base = whence == SEEK_CUR   ? f->position
                              : whence == SEEK_END ? f->bytes.size()
                                                   : 0;
        f->position = base + offset;
        return f->position;
    }
    static int Close(thandle_t) { return 0; }
    static toff_t Size(thandle_t h) { return static_cast<MemoryFile*>(h)->bytes.size(); }
    static int Map(thandle_t, void**, toff_t*) { return 0; }
    static void Unmap(thandle_t, void*, toff_t) {}

    TIFF* Open(const char* mode) {
        position = 0;
        return TIFFClientOpen("memory", mode, this, Read, Write, Seek, Close, Size, Map, Unmap);
    }
};

void Put32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
}

// OpenJPEG's output stream into a string; JP2 boxes are written, then their lengths
// patched, so it seeks.
struct JpxOutput {
    std::string bytes;
    size_t position = 0;

    static OPJ_SIZE_T Write(void* buffer, OPJ_SIZE_T size, void* user) {
        auto* out = static_cast<JpxOutput*>(user);
        if (out->position + size > out->bytes.size()) out->bytes.resize(out->position + size);
        std::memcpy(out->bytes.data() + out->position, buffer, size);
        out->position += size;
        return size;
    }
    static OPJ_OFF_T Skip(OPJ_OFF_T count, void* user) {
        auto* out = static_cast<JpxOutput*>(user);
        out->position += static_cast<size_t>(count);
        if (out->position > out->bytes.size()) out->bytes.resize(out->position);
        return count;
    }
    static OPJ_BOOL Seek(OPJ_OFF_T offset, void* user) {
        auto* out = static_cast<JpxOutput*>(user);
        out->position = static_cast<size_t>(offset);
        if (out->position > out->bytes.size()) out->bytes.resize(out->position);
        return OPJ_TRUE;
    }
};

// Fax data as bits, first bit first, for re-packing.
std::vector<bool> ToBits(const std::string& bytes) {
    std::vector<bool> bits;
    for (const char c : bytes) {
        for (int b = 7; b >= 0; --b) bits.push_back(((static_cast<uint8_t>(c) >> b) & 1) != 0);
    }
    return bits;
}

std::string ToBytes(const std::vector<bool>& bits) {
    std::string bytes((bits.size() + 7) / 8, '\0');
    for (size_t i = 0; i < bits.size(); ++i) {
        if (bits[i]) bytes[i / 8] = static_cast<char>(bytes[i / 8] | (0x80 >> (i % 8)));
    }
    return bytes;
}

void PadToByte(std::vector<bool>& bits) {
    while (bits.size() % 8 != 0) bits.push_back(false);
}

// Group 3 data without fill with every end-of-line (eleven 0 bits and a 1; the codes of a row
// never hold eleven 0 bits in a row) dropped, dropped with the next row moved to a byte, or moved
// to a byte.
enum class EolRepack { Drop, DropAndAlign, OnByte };

std::string RepackEols(const std::string& data, EolRepack how) {
    const std::vector<bool> in = ToBits(data);
    std::vector<bool> out;
    size_t zeros = 0;
    for (const bool bit : in) {
        if (!bit) {
            ++zeros;
            continue;
        }
        if (zeros >= 11) {
            // libtiff writes no fill here: the 0 bits before the EOL's own end the row.
            out.insert(out.end(), zeros - 11, false);
            if (how != EolRepack::Drop) PadToByte(out);
            if (how == EolRepack::OnByte) {
                out.insert(out.end(), 11, false);
                out.push_back(true);
            }
        } else {
            out.insert(out.end(), zeros, false);
            out.push_back(true);
        }
        zeros = 0;
    }
    out.insert(out.end(), zeros, false);  // the last row's code may end in 0 bits
    return ToBytes(out);
}

// The bits of Group 4 data before its EOFB (two end-of-lines, then 0 bits to a byte).
std::vector<bool> WithoutEofb(const std::string& data) {
    std::vector<bool> bits = ToBits(data);
    while (!bits.empty() && !bits.back()) bits.pop_back();
    if (bits.size() < 24) throw std::runtime_error("Group 4 data without EOFB");
    bits.resize(bits.size() - 24);
    return bits;
}

// Group 4 rows each starting on a byte. Each row's code depends on the row above only, so
// the code of row y is what coding rows y-1 and y adds to coding row y-1 alone.
std::string EncodeAlignedGroup4(const Bilevel& picture) {
    std::vector<bool> out;
    for (int y = 0; y < picture.height; ++y) {
        const int top = std::max(y - 1, 0);
        const Bilevel pair{picture.width, y - top + 1,
                           [&](int x, int row) { return picture.ink(x, top + row); }};
        const std::vector<bool> both = WithoutEofb(EncodeFax(pair, FaxCoding::Group4));
        size_t skip = 0;
        if (y > 0) {
            const Bilevel above{picture.width, 1, [&](int x, int) { return picture.ink(x, top); }};
            skip = WithoutEofb(EncodeFax(above, FaxCoding::Group4)).size();
        }
        out.insert(out.end(), both.begin() + static_cast<ptrdiff_t>(skip), both.end());
        PadToByte(out);
    }
    for (int eol = 0; eol < 2; ++eol) {
        out.insert(out.end(), 11, false);
        out.push_back(true);
    }
    return ToBytes(out);
}

}  // namespace

std::string EncodeFax(const Bilevel& picture, FaxCoding coding) {
    switch (coding) {
        case FaxCoding::Group3OneDEolOnByte:
            return RepackEols(EncodeFax(picture, FaxCoding::Group3OneD), EolRepack::OnByte);
        case FaxCoding::Group3TwoDNoEol:
            return RepackEols(EncodeFax(picture, FaxCoding::Group3TwoD), EolRepack::Drop);
        case FaxCoding::Group3TwoDAligned:
            return RepackEols(EncodeFax(picture, FaxCoding::Group3TwoD), EolRepack::DropAndAlign);
        case FaxCoding::Group4Aligned:
            return EncodeAlignedGroup4(picture);
        default:
            break;
    }
    MemoryFile file;
    TIFF* tiff = file.Open("w");
    if (tiff == nullptr) throw std::runtime_error("libtiff cannot write");
    const int compression = coding == FaxCoding::Group4              ? COMPRESSION_CCITTFAX4
                            : coding == FaxCoding::Group3OneDAligned ? COMPRESSION_CCITTRLE
                                                                     : COMPRESSION_CCITTFAX3;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, picture.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, picture.height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, picture.height);
    if (compression == COMPRESSION_CCITTFAX3) {
        const uint32_t options = coding == FaxCoding::Group3TwoD ? GROUP3OPT_2DENCODING
                                 : coding == FaxCoding::Group3TwoDFill
                                     ? GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS
                                 : coding == FaxCoding::Group3OneDFill ? GROUP3OPT_FILLBITS
                                                                       : 0;
        TIFFSetField(tiff, TIFFTAG_GROUP3OPTIONS, options);
        if (coding == FaxCoding::Group3OneDNoEol) {
            TIFFSetField(tiff, TIFFTAG_FAXMODE, FAXMODE_NOEOL | FAXMODE_NORTC);
        }
    }
    std::vector<uint8_t> row(static_cast<size_t>((picture.width + 7) / 8));
    for (int y = 0; y < picture.height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (int x = 0; x < picture.width; ++x) {
            if (picture.ink && picture.ink(x, y))
                row[static_cast<size_t>(x / 8)] |= 0x80 >> (x % 8);
        }
        TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0);
    }
    TIFFClose(tiff);
    tiff = file.Open("r");
    if (tiff == nullptr) throw std::runtime_error("libtiff cannot read back");
    std::string strip(static_cast<size_t>(TIFFRawStripSize(tiff, 0)), '\0');
    TIFFReadRawStrip(tiff, 0, strip.data(), static_cast<tmsize_t>(strip.size()));
    TIFFClose(tiff);
    return strip;
}

std::string Jbig2Segment(uint32_t number, uint8_t type, uint8_t page, const std::string& data) {
    std::string out;
    Put32(out, number);
    out.push_back(static_cast<char>(type));  // one-byte page association
    out.push_back('\0');                     // no referred-to segments
    out.push_back(static_cast<char>(page));
    Put32(out, static_cast<uint32_t>(data.size()));
    return out + data;
}

std::string EncodeJbig2(const Bilevel& picture, bool endOfPage) {
    // Page information (T.88, 7.4.8): size, unknown resolution, flags 0, no striping.
    std::string info;
    Put32(info, static_cast<uint32_t>(picture.width));
    Put32(info, static_cast<uint32_t>(picture.height));
    Put32(info, 0);
    Put32(info, 0);
    info.append(3, '\0');
    // Immediate generic region (7.4.6): region information at 0, 0 combined by OR, then
    // generic region flags with MMR set, then T.6 data.
    std::string region;
    Put32(region, static_cast<uint32_t>(picture.width));
    Put32(region, static_cast<uint32_t>(picture.height));
    Put32(region, 0);
    Put32(region, 0);
    region.push_back('\0');
    region.push_back('\x01');
    region += EncodeFax(picture, FaxCoding::Group4);
    std::string out = Jbig2Segment(0, 48, 1, info) + Jbig2Segment(1, 38, 1, region);
    if (endOfPage) out += Jbig2Segment(2, 49, 1, "");
    return out;
}

std::string EncodeJpx(int width, int height, int components,
                      const std::function<uint8_t(int, int, int)>& sample, bool jp2,
                      int resolutions, int precision) {
    std::vector<opj_image_cmptparm_t> parms(static_cast<size_t>(components));
    for (auto& p : parms) {
        std::memset(&p, 0, sizeof p);
        p.dx = 1;
        p.dy = 1;
        p.w = static_cast<OPJ_UINT32>(width);
        p.h = static_cast<OPJ_UINT32>(height);
        p.prec = static_cast<OPJ_UINT32>(precision);
    }
    opj_image_t* image = opj_image_create(static_cast<OPJ_UINT32>(components), parms.data(),
                                          components == 1 ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
    if (image == nullptr) throw std::runtime_error("OpenJPEG cannot make the image");
    image->x1 = static_cast<OPJ_UINT32>(width);
    image->y1 = static_cast<OPJ_UINT32>(height);
    const int top = (1 << precision) - 1;
    for (int c = 0; c < components; ++c) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                image->comps[c].data[static_cast<size_t>(y) * width + x] =
                    (sample(x, y, c) * top + 127) / 255;
            }
        }
    }
    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.numresolution = resolutions;
    parameters.tcp_numlayers = 1;
    parameters.tcp_rates[0] = 0;  // lossless
    parameters.cp_disto_alloc = 1;
    parameters.tcp_mct = components == 3 ? 1 : 0;
    opj_codec_t* codec = opj_create_compress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    JpxOutput output;
    opj_stream_t* stream = opj_stream_create(1 << 16, OPJ_FALSE);
    opj_stream_set_user_data(stream, &output, nullptr);
    opj_stream_set_write_function(stream, JpxOutput::Write);
    opj_stream_set_skip_function(stream, JpxOutput::Skip);
    opj_stream_set_seek_function(stream, JpxOutput::Seek);
    const bool ok = opj_setup_encoder(codec, &parameters, image) &&
                    opj_start_compress(codec, image, stream) && opj_encode(codec, stream) &&
                    opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    if (!ok) throw std::runtime_error("OpenJPEG cannot encode");
    return output.bytes;
}

}  // namespace verava::testing
