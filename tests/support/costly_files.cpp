#include "support/costly_files.h"

#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <vector>

#include "objects/stream_filters.h"
#include "support/pdf_builder.h"

namespace verava::testing {
namespace {

const char kPage[] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>";

// Flate (zlib format) of `head`, then `repeatedBytes` bytes of `unit` over and over, then
// `tail`, without ever holding the inflated whole. The best compression makes the smallest
// files; the fastest serves where another Flate follows.
std::string DeflateRepeating(const std::string& head, const std::string& unit, size_t repeatedBytes,
                             const std::string& tail, int level = Z_BEST_COMPRESSION) {
    z_stream z{};
    if (deflateInit(&z, level) != Z_OK) throw std::runtime_error("deflateInit");
    std::string out;
    std::string buffer(1 << 16, '\0');
    auto feed = [&](std::string_view bytes, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        z.avail_in = static_cast<uInt>(bytes.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer.data());
            z.avail_out = static_cast<uInt>(buffer.size());
            deflate(&z, flush);
            out.append(buffer.data(), buffer.size() - z.avail_out);
        } while (z.avail_out == 0 || z.avail_in > 0);
    };
    feed(head, Z_NO_FLUSH);
    std::string block;
    while (block.size() < (1 << 16)) block += unit;
    for (size_t left = repeatedBytes; left > 0;) {
        const size_t n = std::min(left, block.size());
        feed(std::string_view(block).substr(0, n), Z_NO_FLUSH);
        left -= n;
    }
    feed(tail, Z_FINISH);
    deflateEnd(&z);
    return out;
}

// A file of plain objects and objects packed in object streams, with one cross-reference
// stream (W [1 4 2]) for them all.
struct Packed {
    int number;
    int stream;
    int index;
};
std::string WithXRefStream(const std::map<int, std::string>& plain,
                           const std::vector<Packed>& packed, const std::string& trailer) {
    std::string out = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
    std::map<int, int64_t> offsets;
    int highest = 0;
    for (const auto& [number, body] : plain) {
        offsets[number] = static_cast<int64_t>(out.size());
        out += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
        highest = std::max(highest, number);
    }
    for (const Packed& p : packed) highest = std::max(highest, p.number);
    const int self = highest + 1;
    const auto start = static_cast<int64_t>(out.size());
    std::string rows;
    for (int n = 0; n <= self; ++n) {
        const auto at = std::find_if(packed.begin(), packed.end(),
                                     [n](const Packed& p) { return p.number == n; });
        if (n == self) {
            rows += XRefStreamRow(1, start, 0);
        } else if (offsets.count(n) != 0) {
            rows += XRefStreamRow(1, offsets[n], 0);
        } else if (at != packed.end()) {
            rows += XRefStreamRow(2, at->stream, at->index);
        } else {
            rows += XRefStreamRow(0, 0, n == 0 ? 65535 : 0);
        }
    }
    out += std::to_string(self) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(self + 1) +
           " /W [1 4 2] " + trailer + " /Length " + std::to_string(rows.size()) + " >>\nstream\n" +
           rows + "\nendstream\nendobj\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
    return out;
}

std::string ObjectStream(int n, int64_t first, const std::string& filter, const std::string& data) {
    return "<< /Type /ObjStm /N " + std::to_string(n) + " /First " + std::to_string(first) +
           " /Filter " + filter + " /Length " + std::to_string(data.size()) + " >>\nstream\n" +
           data + "\nendstream";
}

// Catalog 1 packed at index 0 of stream 3, whose data are `head`, `repeatedBytes` bytes of
// `unit`, and `tail`; page tree root 2 and page 4 plain.
std::string CatalogInStream(int64_t n, int64_t first, const std::string& head,
                            const std::string& unit, size_t repeatedBytes,
                            const std::string& tail) {
    const std::string data = DeflateRepeating(head, unit, repeatedBytes, tail);
    return WithXRefStream({{2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>"},
                           {3, ObjectStream(static_cast<int>(std::min<int64_t>(n, INT32_MAX)),
                                            first, "/FlateDecode", data)},
                           {4, kPage}},
                          {{1, 3, 0}}, "/Root 1 0 R");
}

const char kCatalog[] = "<< /Type /Catalog /Pages 2 0 R >>";

}  // namespace

std::string IndexBeyondN(size_t numberBytes) {
    numberBytes -= numberBytes % 2;
    const std::string head = "1 0 ";
    return CatalogInStream(1, static_cast<int64_t>(head.size() + numberBytes), head, "1 ",
                           numberBytes, kCatalog);
}

std::string IndexOfManyPairs(int64_t pairs) {
    // The catalog's text ends where the next pair's starts; the pairs after it list object 0
    // and end there too, holding nothing.
    const std::string head = "1 0 ";
    const std::string pair = "0 " + std::to_string(sizeof(kCatalog) - 1) + " ";
    const auto more = static_cast<size_t>(pairs - 1) * pair.size();
    return CatalogInStream(pairs, static_cast<int64_t>(head.size() + more), head, pair, more,
                           kCatalog);
}

std::string StreamsInflatingLarge(int streams, size_t paddingBytes, int pages) {
    const int firstPage = 3 + streams;
    std::map<int, std::string> plain;
    std::vector<Packed> packed;
    std::string kids;
    for (int k = 0; k < pages; ++k) kids += std::to_string(firstPage + k) + " 0 R ";
    plain[1] = kCatalog;
    plain[2] = "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages) + " >>";
    for (int s = 0; s < streams; ++s) {
        std::string header;
        std::string members;
        int index = 0;
        for (int k = s; k < pages; k += streams) {
            header += std::to_string(firstPage + k) + " " + std::to_string(members.size()) + " ";
            members += std::string(kPage) + "\n";
            packed.push_back({firstPage + k, 3 + s, index++});
        }
        // The padding is white space after the last member's value.
        const std::string once =
            DeflateRepeating(header + members, " ", paddingBytes, "", Z_BEST_SPEED);
        plain[3 + s] = ObjectStream(index, static_cast<int64_t>(header.size()),
                                    "[ /FlateDecode /FlateDecode ]", FlateEncode(once));
    }
    return WithXRefStream(plain, packed, "/Root 1 0 R");
}

std::string LongUpdateChain(int updates) {
    PdfBuilder b = SimpleDocument(1);
    std::string out = b.Build(XRefKind::Table);
    int64_t previous = b.StartXRef();
    for (int k = 1; k <= updates; ++k) {
        std::string rows = "0 1\n0000000000 65535 f \n";
        std::string trailer = "/Size 7/Root 1 0 R";
        if (k == updates) {
            const std::string at = std::to_string(out.size());
            out += "4 0 obj\n<< /Title (Update " + std::to_string(k) + ") >>\nendobj\n";
            rows += "4 1\n" + std::string(10 - at.size(), '0') + at + " 00000 n \n";
            trailer += "/Info 4 0 R";
        }
        const int64_t start = static_cast<int64_t>(out.size());
        out += "xref\n" + rows + "trailer\n<<" + trailer + "/Prev " + std::to_string(previous) +
               ">>\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
        previous = start;
    }
    return out;
}

namespace {

// A line "Key:   123 kB" of /proc/self/status, in bytes; -1 when absent.
int64_t StatusBytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0) return std::stoll(line.substr(key.size() + 1)) * 1024;
    }
    return -1;
}

}  // namespace

TMeasuredRun RunMeasured(const std::function<int()>& body) {
    int channel[2];
    if (pipe(channel) != 0) return {};
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) return {};
    if (child == 0) {
        close(channel[0]);
        // A forked child's high-water mark starts at what it holds when it starts.
        const int64_t start = StatusBytes("VmRSS");
        const int result = body();
        const int64_t growth = StatusBytes("VmHWM") - start;
        const bool sent = write(channel[1], &growth, sizeof growth) == sizeof growth;
        _exit(sent ? result & 0xFF : 255);
    }
    close(channel[1]);
    TMeasuredRun run;
    int64_t growth = -1;
    const bool received = read(channel[0], &growth, sizeof growth) == sizeof growth;
    close(channel[0]);
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || !received) return {};
    run.result = WEXITSTATUS(status);
    run.peakGrowth = growth;
    return run;
}

}  // namespace verava::testing
