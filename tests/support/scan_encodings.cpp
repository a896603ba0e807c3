#include "support/scan_encodings.h"

#include <zlib.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "support/coded_images.h"

namespace verava::testing {
namespace {

// Deflate at level 1: any level decodes the same, and the set has many large pages.
std::string Deflate(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  1) != Z_OK) {
        std::abort();  // cannot fail on memory we sized ourselves
    }
    out.resize(size);
    return out;
}

std::string Size(const GreyScan& scan) {
    return "/Width " + std::to_string(scan.width) + " /Height " + std::to_string(scan.height) +
           " /ColorSpace /DeviceGray ";
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

int Predicted(int type, int a, int b, int c) {
    switch (type) {
        case 1:
            return a;
        case 2:
            return b;
        case 3:
            return (a + b) / 2;
        case 4:
            return Paeth(a, b, c);
        default:
            return 0;
    }
}

// PNG rows (RFC 2083, 6): each row behind the filter type of the smallest sum of absolute
// differences, as libpng picks them.
std::string PngRows(const GreyScan& scan) {
    const size_t w = static_cast<size_t>(scan.width);
    const auto* pixels = reinterpret_cast<const uint8_t*>(scan.pixels.data());
    const std::vector<uint8_t> zeros(w, 0);
    std::string out((w + 1) * static_cast<size_t>(scan.height), '\0');
    for (int y = 0; y < scan.height; ++y) {
        const uint8_t* row = pixels + w * static_cast<size_t>(y);
        const uint8_t* up = y == 0 ? zeros.data() : row - w;
        std::array<long, 5> cost{};
        const auto weigh = [](int residual) {
            const auto v = static_cast<uint8_t>(residual);
            return v < 128 ? v : 256 - v;
        };
        for (size_t x = 0; x < w; ++x) {
            const int a = x == 0 ? 0 : row[x - 1];
            const int b = up[x];
            const int c = x == 0 ? 0 : up[x - 1];
            cost[0] += weigh(row[x]);
            cost[1] += weigh(row[x] - a);
            cost[2] += weigh(row[x] - b);
            cost[3] += weigh(row[x] - (a + b) / 2);
            cost[4] += weigh(row[x] - Paeth(a, b, c));
        }
        int chosen = 0;
        for (int type = 1; type < 5; ++type) {
            if (cost[static_cast<size_t>(type)] < cost[static_cast<size_t>(chosen)]) chosen = type;
        }
        char* target = out.data() + (w + 1) * static_cast<size_t>(y);
        target[0] = static_cast<char>(chosen);
        for (size_t x = 0; x < w; ++x) {
            const int a = x == 0 ? 0 : row[x - 1];
            const int c = x == 0 ? 0 : up[x - 1];
            target[x + 1] = static_cast<char>(row[x] - Predicted(chosen, a, up[x], c));
        }
    }
    return out;
}

// One bit a pixel, rows padded to bytes, 1 for white (or for black with `blackIsOne`).
std::string PackBits(const GreyScan& bilevel, bool blackIsOne) {
    const size_t rowBytes = (static_cast<size_t>(bilevel.width) + 7) / 8;
    std::string out(rowBytes * static_cast<size_t>(bilevel.height), '\0');
    for (int y = 0; y < bilevel.height; ++y) {
        for (int x = 0; x < bilevel.width; ++x) {
            const bool black = bilevel.pixels[static_cast<size_t>(y) * bilevel.width + x] == 0;
            if (black == blackIsOne) {
                out[rowBytes * static_cast<size_t>(y) + static_cast<size_t>(x / 8)] |=
                    static_cast<char>(0x80 >> (x % 8));
            }
        }
    }
    return out;
}

}  // namespace

const char* EncodingName(ScanEncoding encoding) {
    switch (encoding) {
        case ScanEncoding::Jpeg:
            return "jpeg";
        case ScanEncoding::Flate:
            return "flate";
        case ScanEncoding::FlatePng:
            return "flate-png";
        case ScanEncoding::BilevelFlate:
            return "1-bit-flate";
        case ScanEncoding::CcittG4:
            return "ccitt-g4";
    }
    return "?";
}

bool IsBilevel(ScanEncoding encoding) {
    return encoding == ScanEncoding::BilevelFlate || encoding == ScanEncoding::CcittG4;
}

GreyScan Threshold(const GreyScan& scan, int threshold) {
    GreyScan out{scan.width, scan.height, scan.pixels, {}};
    for (char& c : out.pixels) c = static_cast<uint8_t>(c) < threshold ? '\0' : '\xFF';
    return out;
}

int PaperLevel(const GreyScan& scan) {
    std::array<uint64_t, 256> histogram{};
    // Every seventh pixel is plenty for a level.
    for (size_t i = 0; i < scan.pixels.size(); i += 7)
        ++histogram[static_cast<uint8_t>(scan.pixels[i])];
    uint64_t total = 0;
    for (const uint64_t n : histogram) total += n;
    uint64_t seen = 0;
    for (int v = 0; v < 256; ++v) {
        seen += histogram[static_cast<size_t>(v)];
        if (seen * 10 >= total * 9) return v;
    }
    return 255;
}

EncodedScan EncodeScan(const GreyScan& scan, ScanEncoding encoding, const ScanSettings& settings) {
    switch (encoding) {
        case ScanEncoding::Jpeg:
            return {Size(scan) + "/BitsPerComponent 8 /Filter /DCTDecode",
                    EncodeJpeg(scan, settings.jpegQuality)};
        case ScanEncoding::Flate:
            return {Size(scan) + "/BitsPerComponent 8 /Filter /FlateDecode", Deflate(scan.pixels)};
        case ScanEncoding::FlatePng:
            return {Size(scan) +
                        "/BitsPerComponent 8 /Filter /FlateDecode /DecodeParms << /Predictor 15 "
                        "/Colors 1 /BitsPerComponent 8 /Columns " +
                        std::to_string(scan.width) + " >>",
                    Deflate(PngRows(scan))};
        case ScanEncoding::BilevelFlate: {
            const GreyScan bilevel = Threshold(scan, settings.threshold);
            return {Size(scan) + "/BitsPerComponent 1 /Filter /FlateDecode" +
                        (settings.blackIsOne ? " /Decode [1 0]" : ""),
                    Deflate(PackBits(bilevel, settings.blackIsOne))};
        }
        case ScanEncoding::CcittG4: {
            const GreyScan bilevel = Threshold(scan, settings.threshold);
            const Bilevel picture{
                scan.width, scan.height, [&bilevel](int x, int y) {
                    return bilevel.pixels[static_cast<size_t>(y) * bilevel.width + x] == 0;
                }};
            return {Size(scan) +
                        "/BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 "
                        "/Columns " +
                        std::to_string(scan.width) + " /Rows " + std::to_string(scan.height) +
                        " >>",
                    EncodeFax(picture, FaxCoding::Group4)};
        }
    }
    return {};
}

}  // namespace verava::testing
