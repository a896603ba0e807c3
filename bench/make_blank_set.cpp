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

#include "support/scanned_pages.h"

namespace {

using verava::testing::ScanKind;

constexpr ScanKind kCycle[] = {ScanKind::WhiteNoise, ScanKind::OneLine, ScanKind::PageNumber,
                               ScanKind::GreyPaper, ScanKind::Dark};

// Writes a PDF of one image per page, page size A4, with a classic cross-reference table.
class ScanFile {
  public:
    explicit ScanFile(const std::string& path) : out_(path, std::ios::binary) {
        Put("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
    }
    void AddPage(const std::string& jpeg, int width, int height, bool colour) {
        pages_.push_back(
            Object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                   "/Resources << /XObject << /Im0 " +
                   Ref(next_ + 2) + " >> >> /Contents " + Ref(next_ + 1) + " >>"));
        const std::string content = "q 595 0 0 842 0 0 cm /Im0 Do Q";
        Object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
               "\nendstream");
        Object("<< /Type /XObject /Subtype /Image /Width " + std::to_string(width) + " /Height " +
               std::to_string(height) + " /ColorSpace " + (colour ? "/DeviceRGB" : "/DeviceGray") +
               " /BitsPerComponent 8 /Filter /DCTDecode /Length " + std::to_string(jpeg.size()) +
               " >>\nstream\n" + jpeg + "\nendstream");
    }
    bool Finish() {
        std::string kids;
        for (int page : pages_) kids += Ref(page) + " ";
        At(1, "<< /Type /Catalog /Pages 2 0 R >>");
        At(2,
           "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages_.size()) + " >>");
        const long long xref = position_;
        std::string table =
            "xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n";
        for (const auto& [number, offset] : offsets_) {
            char row[24];
            std::snprintf(row, sizeof row, "%010lld 00000 n \n", offset);
            table += row;
        }
        Put(table + "trailer\n<< /Size " + std::to_string(offsets_.size() + 1) +
            " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
        out_.close();
        return !out_.fail();
    }

  private:
    static std::string Ref(int n) { return std::to_string(n) + " 0 R"; }
    int Object(const std::string& body) {
        const int n = next_++;
        At(n, body);
        return n;
    }
    void At(int n, const std::string& body) {
        offsets_[n] = position_;
        Put(std::to_string(n) + " 0 obj\n" + body + "\nendobj\n");
    }
    void Put(const std::string& s) {
        out_.write(s.data(), static_cast<std::streamsize>(s.size()));
        position_ += static_cast<long long>(s.size());
    }

    std::ofstream out_;
    long long position_ = 0;
    int next_ = 3;  // 1 and 2 are the catalog and the page tree, written last
    std::vector<int> pages_;
    std::map<int, long long> offsets_;
};

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
        (isOdd ? odd : even).AddPage(jpeg, width, height, colour);
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
