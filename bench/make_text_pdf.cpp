// make_text_pdf PAGES OUT.pdf [PREFIX]: a text document as a word processor writes one: a
// balanced page tree (16 kids a node), one shared font and resource dictionary, and per page a
// small uncompressed content stream with the label "PREFIX n" (checked with pdftotext) and a
// few lines of body text. Used by scripts/bench scale to see how time grows with pages.
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kFanout = 16;

struct Writer {
    std::ofstream out;
    long long position = 0;
    std::vector<long long> offsets;

    void Put(const std::string& s) {
        out.write(s.data(), static_cast<std::streamsize>(s.size()));
        position += static_cast<long long>(s.size());
    }
    void Object(int number, const std::string& body) {
        if (static_cast<size_t>(number) >= offsets.size()) offsets.resize(number + 1, 0);
        offsets[number] = position;
        Put(std::to_string(number) + " 0 obj\n" + body + "\nendobj\n");
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_text_pdf PAGES OUT.pdf [PREFIX]\n");
        return 2;
    }
    const int pages = std::atoi(argv[1]);
    const std::string prefix = argc > 3 ? argv[3] : "Page";
    Writer w;
    w.out.open(argv[2], std::ios::binary);
    w.Put("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");

    // Numbers: 1 catalog, 2 font, 3 resources, then page/content pairs, then the nodes.
    const int firstPage = 4;
    std::vector<int> level;  // the object numbers of the current level, pages first
    for (int k = 0; k < pages; ++k) level.push_back(firstPage + 2 * k);
    int next = firstPage + 2 * pages;
    // Parents of each level, bottom up: each node holds up to kFanout of the level below.
    std::vector<std::vector<int>> levels{level};
    while (levels.back().size() > 1 || levels.size() == 1) {
        std::vector<int> up;
        for (size_t i = 0; i < levels.back().size(); i += kFanout) up.push_back(next++);
        levels.push_back(up);
        if (up.size() == 1) break;
    }
    const int root = levels.back().front();
    auto parentOf = [&](size_t depth, size_t index) { return levels[depth + 1][index / kFanout]; };

    w.Object(1, "<< /Type /Catalog /Pages " + std::to_string(root) + " 0 R >>");
    w.Object(2, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    w.Object(3, "<< /Font << /F1 2 0 R >> /ProcSet [ /PDF /Text ] >>");
    for (int k = 0; k < pages; ++k) {
        const int page = firstPage + 2 * k;
        w.Object(page, "<< /Type /Page /Parent " + std::to_string(parentOf(0, k)) +
                           " 0 R /MediaBox [ 0 0 595 842 ] /Resources 3 0 R /Contents " +
                           std::to_string(page + 1) + " 0 R >>");
        std::string content = "BT /F1 18 Tf 72 770 Td (" + prefix + " " + std::to_string(k + 1) +
                              ") Tj ET\nBT /F1 11 Tf 72 740 Td 14 TL\n";
        for (int line = 0; line < 4; ++line) {
            content += "(Line " + std::to_string(line + 1) + " of the text on this page.) '\n";
        }
        content += "ET";
        w.Object(page + 1, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" +
                               content + "\nendstream");
    }
    for (size_t depth = 1; depth < levels.size(); ++depth) {
        const std::vector<int>& below = levels[depth - 1];
        for (size_t i = 0; i < levels[depth].size(); ++i) {
            std::string kids;
            long long count = 0;
            for (size_t j = i * kFanout; j < below.size() && j < (i + 1) * kFanout; ++j) {
                kids += std::to_string(below[j]) + " 0 R ";
                // Pages below a child: kFanout^(depth-1) for full children, the rest for
                // the last.
                long long under = 1;
                for (size_t d = 1; d < depth; ++d) under *= kFanout;
                const long long first = static_cast<long long>(j) * under;
                count += std::min<long long>(under, pages - first);
            }
            std::string body = "<< /Type /Pages /Kids [ " + kids + "] /Count " +
                               std::to_string(count);
            if (depth + 1 < levels.size()) {
                body += " /Parent " + std::to_string(parentOf(depth, i)) + " 0 R";
            }
            w.Object(levels[depth][i], body + " >>");
        }
    }
    const long long xref = w.position;
    const int size = next;
    w.Put("xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n");
    char row[32];
    for (int n = 1; n < size; ++n) {
        std::snprintf(row, sizeof row, "%010lld 00000 n \n", w.offsets[n]);
        w.Put(row);
    }
    w.Put("trailer\n<< /Size " + std::to_string(size) + " /Root 1 0 R >>\nstartxref\n" +
          std::to_string(xref) + "\n%%EOF\n");
    return w.out.good() ? 0 : 1;
}
