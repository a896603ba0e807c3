// make_scanned_pdf PAGES OUT.pdf [PREFIX]: a PDF like a single-sided scanner's output, one
// Flate-compressed 8-bit grey image per page (850 x 1100, with paper noise and dark text
// lines) and a text label "PREFIX n" per page so page order can be checked with pdftotext.
// Images cycle through a few variants so making 1000 pages stays quick.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "objects/stream_filters.h"

namespace {

std::string MakeImage(int variant, int width, int height) {
    std::mt19937 random(static_cast<unsigned>(variant * 7919 + 1));
    std::uniform_int_distribution<int> noise(0, 24);
    std::string pixels(static_cast<size_t>(width) * height, '\0');
    for (int y = 0; y < height; ++y) {
        const bool textLine = (y / 14) % 3 == 1 && y > 80 && y < height - 80;
        for (int x = 0; x < width; ++x) {
            // Paper is mostly even with a little sensor noise.
            int value = 255 - (noise(random) >> 3);
            if (textLine && x > 70 && x < width - 70 && ((x + variant * 13) / 9) % 5 != 0 &&
                noise(random) < 12) {
                value = 40 + noise(random);
            }
            pixels[static_cast<size_t>(y) * width + x] = static_cast<char>(value);
        }
    }
    return verava::FlateEncode(pixels);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_scanned_pdf PAGES OUT.pdf [PREFIX]\n");
        return 2;
    }
    const int pages = std::atoi(argv[1]);
    const std::string prefix = argc > 3 ? argv[3] : "Page";
    const int width = 850, height = 1100, variants = 12;
    std::vector<std::string> images;
    for (int v = 0; v < variants; ++v) images.push_back(MakeImage(v, width, height));

    std::ofstream out(argv[2], std::ios::binary);
    std::string head = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
    std::vector<long long> offsets(4 + 3 * pages + 1, 0);
    long long position = 0;
    auto put = [&](const std::string& s) {
        out.write(s.data(), static_cast<std::streamsize>(s.size()));
        position += static_cast<long long>(s.size());
    };
    auto object = [&](int number, const std::string& body) {
        offsets[number] = position;
        put(std::to_string(number) + " 0 obj\n" + body + "\nendobj\n");
    };
    put(head);
    object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int p = 0; p < pages; ++p) kids += std::to_string(4 + 3 * p) + " 0 R ";
    object(2, "<< /Type /Pages /Count " + std::to_string(pages) + " /Kids [ " + kids + "] >>");
    object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    for (int p = 0; p < pages; ++p) {
        const int page = 4 + 3 * p;
        object(
            page,
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /XObject << /Im0 " +
                std::to_string(page + 2) + " 0 R >> /Font << /F1 3 0 R >> >> /Contents " +
                std::to_string(page + 1) + " 0 R >>");
        const std::string content = "q 612 0 0 792 0 0 cm /Im0 Do Q BT /F1 10 Tf 20 20 Td (" +
                                    prefix + " " + std::to_string(p + 1) + ") Tj ET";
        object(page + 1, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" +
                             content + "\nendstream");
        const std::string& image = images[p % variants];
        offsets[page + 2] = position;
        put(std::to_string(page + 2) + " 0 obj\n<< /Type /XObject /Subtype /Image /Width " +
            std::to_string(width) + " /Height " + std::to_string(height) +
            " /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /FlateDecode /Length " +
            std::to_string(image.size()) + " >>\nstream\n");
        put(image);
        put("\nendstream\nendobj\n");
    }
    const int size = 4 + 3 * pages;
    const long long xref = position;
    std::string table = "xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n";
    for (int n = 1; n < size; ++n) {
        char row[32];
        std::snprintf(row, sizeof row, "%010lld 00000 n \n", offsets[n]);
        table += row;
    }
    put(table + "trailer\n<< /Size " + std::to_string(size) + " /Root 1 0 R >>\nstartxref\n" +
        std::to_string(xref) + "\n%%EOF\n");
    return out.good() ? 0 : 1;
}
