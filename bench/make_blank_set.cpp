// make_blank_set PAGES DPI VARIANTS ODD.pdf EVEN.pdf KEY.txt: an odd-page and an even-page
// scan of PAGES pages each, one JPEG image per page, as a single-sided scanner delivers them
// (tests/support/scanned_pages.h): in merged order the pages cycle through white paper with
// noise, one short line, only a page number, grey paper and a dark page; every third
// blank sheet is a colour scan. KEY.txt gets one line per page, "odd 3 PageNumber", for
// scripts/bench to check what a blank-page removal dropped. With VARIANTS > 0 each kind
// uses that many distinct images (each page still its own image object), so a large set is
// made quickly; with 0 every page is drawn afresh.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "scan_file.h"
#include "support/scanned_pages.h"

namespace {

using verava::bench::ScanFile;
using verava::testing::ScanKind;

constexpr ScanKind kCycle[] = {ScanKind::WhiteNoise, ScanKind::OneLine, ScanKind::PageNumber,
                               ScanKind::GreyPaper, ScanKind::Dark};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: make_blank_set PAGES DPI VARIANTS ODD.pdf EVEN.pdf KEY.txt\n");
        return 2;
    }
    const int pages = std::atoi(argv[1]);
    const int dpi = std::atoi(argv[2]);
    const int variants = std::atoi(argv[3]);
    if (pages < 1 || dpi < 50 || dpi > 600 || variants < 0) {
        std::fprintf(stderr, "make_blank_set: PAGES >= 1, DPI 50..600, VARIANTS >= 0\n");
        return 2;
    }
    ScanFile odd(argv[4]);
    ScanFile even(argv[5]);
    std::ofstream key(argv[6]);
    // Made once per (kind, colour, variant) when variants are shared.
    std::map<std::pair<int, int>, std::pair<std::string, verava::testing::GreyScan>> made;
    int blankSheets = 0;
    for (int k = 0; k < 2 * pages; ++k) {
        const ScanKind kind = kCycle[k % 5];
        const bool colour = kind == ScanKind::WhiteNoise && blankSheets++ % 3 == 2;
        const uint32_t seed = static_cast<uint32_t>(k + 1);
        const int number = k + 1;
        std::string jpeg;
        int width = 0, height = 0;
        if (variants > 0) {
            const std::pair<int, int> id{static_cast<int>(kind) * 2 + (colour ? 1 : 0),
                                         (k / 5) % variants};
            auto it = made.find(id);
            if (it == made.end()) {
                verava::testing::GreyScan scan =
                    verava::testing::MakeScan(kind, dpi, seed, 1 + id.second);
                std::string encoded = verava::testing::EncodeJpeg(scan, 75, colour);
                scan.pixels.clear();
                it = made.emplace(id, std::make_pair(std::move(encoded), std::move(scan))).first;
            }
            jpeg = it->second.first;
            width = it->second.second.width;
            height = it->second.second.height;
        } else {
            const verava::testing::GreyScan scan =
                verava::testing::MakeScan(kind, dpi, seed, number);
            jpeg = verava::testing::EncodeJpeg(scan, 75, colour);
            width = scan.width;
            height = scan.height;
        }
        const bool isOdd = k % 2 == 0;
        (isOdd ? odd : even)
            .AddPage("/Width " + std::to_string(width) + " /Height " + std::to_string(height) +
                         " /ColorSpace " + (colour ? "/DeviceRGB" : "/DeviceGray") +
                         " /BitsPerComponent 8 /Filter /DCTDecode",
                     jpeg);
        key << (isOdd ? "odd " : "even ") << (k / 2 + 1) << ' ' << verava::testing::KindName(kind)
            << (verava::testing::IsBlankKind(kind) ? " blank" : " content") << '\n';
    }
    key.close();
    if (!odd.Finish() || !even.Finish() || key.fail()) {
        std::fprintf(stderr, "make_blank_set: cannot write the files\n");
        return 1;
    }
    return 0;
}
