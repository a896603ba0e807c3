// make_coded_blanks PAGES DPI VARIANTS ENCODING ODD.pdf EVEN.pdf DIR: an odd-page and an
// even-page file of PAGES blank backs each (white paper with noise, A4, one image per page),
// the worst case for judging blank pages: no mark ends the look at a page early. ENCODING is
// how a scanner stored them: jpeg (grey, quality 75), flate (8-bit grey) or g4 (black and
// white at a threshold of 128, CCITT Group 4). Each page's data also goes to DIR in the form
// the decoder's own tool reads, for scripts/bench to time that tool on the same data:
// odd-0001.jpg for djpeg, odd-0001.zz (a zlib stream) for zlib-flate, odd-0001.tif (the G4
// strip in a TIFF) for tiffinfo -D. VARIANTS distinct sheets are drawn and shared round robin;
// every page is still an image object of its own.
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "scan_file.h"
#include "support/scan_encodings.h"
#include "support/scanned_pages.h"

namespace {

using verava::bench::ScanFile;
using verava::testing::ScanEncoding;

bool WriteFile(const std::string& path, const std::string& data) {
    std::ofstream file(path, std::ios::binary);
    file.write(data.data(), static_cast<std::streamsize>(data.size()));
    file.close();
    return !file.fail();
}

// The Group 4 strip as the one strip of a TIFF, as a fax or scanning program would keep it.
bool WriteG4Tiff(const std::string& path, const std::string& strip, int width, int height) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (tiff == nullptr) return false;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(height));
    const bool written =
        TIFFWriteRawStrip(tiff, 0, const_cast<char*>(strip.data()),
                          static_cast<tmsize_t>(strip.size())) == static_cast<tmsize_t>(strip.size());
    TIFFClose(tiff);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(stderr, "usage: make_coded_blanks PAGES DPI VARIANTS jpeg|flate|g4 ODD.pdf "
                             "EVEN.pdf DIR\n");
        return 2;
    }
    const int pages = std::atoi(argv[1]);
    const int dpi = std::atoi(argv[2]);
    const int variants = std::atoi(argv[3]);
    const std::string coding = argv[4];
    const std::map<std::string, std::pair<ScanEncoding, const char*>> codings = {
        {"jpeg", {ScanEncoding::Jpeg, ".jpg"}},
        {"flate", {ScanEncoding::Flate, ".zz"}},
        {"g4", {ScanEncoding::CcittG4, ".tif"}}};
    const auto chosen = codings.find(coding);
    if (pages < 1 || dpi < 50 || dpi > 600 || variants < 1 || chosen == codings.end()) {
        std::fprintf(stderr, "make_coded_blanks: PAGES >= 1, DPI 50..600, VARIANTS >= 1, "
                             "jpeg, flate or g4\n");
        return 2;
    }
    const std::string folder = argv[7];
    verava::testing::ScanSettings settings;
    settings.threshold = 128;
    struct Sheet {
        verava::testing::EncodedScan encoded;
        int width = 0;
        int height = 0;
    };
    std::vector<Sheet> sheets;
    for (int v = 0; v < variants; ++v) {
        const verava::testing::GreyScan scan = verava::testing::MakeScan(
            verava::testing::ScanKind::WhiteNoise, dpi, static_cast<uint32_t>(v + 1), v + 1);
        sheets.push_back({EncodeScan(scan, chosen->second.first, settings), scan.width,
                          scan.height});
    }
    ScanFile odd(argv[5]);
    ScanFile even(argv[6]);
    for (int k = 0; k < 2 * pages; ++k) {
        const Sheet& sheet = sheets[static_cast<size_t>(k % variants)];
        const bool isOdd = k % 2 == 0;
        (isOdd ? odd : even).AddPage(sheet.encoded.entries, sheet.encoded.data);
        char name[32];
        std::snprintf(name, sizeof name, "/%s-%04d%s", isOdd ? "odd" : "even", k / 2 + 1,
                      chosen->second.second);
        const std::string path = folder + name;
        const bool written =
            chosen->second.first == ScanEncoding::CcittG4
                ? WriteG4Tiff(path, sheet.encoded.data, sheet.width, sheet.height)
                : WriteFile(path, sheet.encoded.data);
        if (!written) {
            std::fprintf(stderr, "make_coded_blanks: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    if (!odd.Finish() || !even.Finish()) {
        std::fprintf(stderr, "make_coded_blanks: cannot write the files\n");
        return 1;
    }
    return 0;
}
