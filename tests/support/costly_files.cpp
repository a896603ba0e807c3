#include "support/costly_files.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <utility>

#include "objects/stream_filters.h"
#include "support/pdf_builder.h"

namespace verava::testing {
namespace {

const char kPage[] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>";
const char kCatalog[] = "<< /Type /Catalog /Pages 2 0 R >>";

std::string Repeated(const std::string& unit, size_t bytes) {
    std::string out;
    out.reserve(bytes);
    while (out.size() + unit.size() <= bytes) out += unit;
    return out;
}

// A file of `plain` objects and objects packed in object streams (by number: the stream and
// the index there), with one cross-reference stream (W [1 4 2]) for them all.
std::string WithXRefStream(const std::map<int, std::string>& plain,
                           const std::map<int, std::pair<int, int>>& packed) {
    std::string out = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
    std::map<int, int64_t> offsets;
    for (const auto& [number, body] : plain) {
        offsets[number] = static_cast<int64_t>(out.size());
        out += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    }
    const int self = std::max(plain.rbegin()->first, packed.rbegin()->first) + 1;
    offsets[self] = static_cast<int64_t>(out.size());
    std::string rows;
    for (int n = 0; n <= self; ++n) {
        rows += offsets.count(n) != 0  ? XRefStreamRow(1, offsets[n], 0)
                : packed.count(n) != 0 ? XRefStreamRow(2, packed.at(n).first, packed.at(n).second)
                                       : XRefStreamRow(0, 0, n == 0 ? 65535 : 0);
    }
    return out + std::to_string(self) + " 0 obj\n" +
           PdfBuilder::StreamBody(
               "/Type /XRef /Size " + std::to_string(self + 1) + " /W [1 4 2] /Root 1 0 R", rows) +
           "\nendobj\nstartxref\n" + std::to_string(offsets[self]) + "\n%%EOF\n";
}

std::string ObjectStream(int64_t n, size_t first, const std::string& filter,
                         const std::string& data) {
    return PdfBuilder::StreamBody("/Type /ObjStm /N " + std::to_string(n) + " /First " +
                                      std::to_string(first) + " /Filter " + filter,
                                  data);
}

// Catalog 1 packed at index 0 of stream 3 of `n` members, whose data are `header` and the
// catalog; page tree root 2 and page 4 plain.
std::string CatalogInStream(int64_t n, const std::string& header) {
    return WithXRefStream(
        {{2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>"},
         {3, ObjectStream(n, header.size(), "/FlateDecode", FlateEncode(header + kCatalog))},
         {4, kPage}},
        {{1, {3, 0}}});
}

}  // namespace

std::string IndexBeyondN(size_t numberBytes) {
    return CatalogInStream(1, "1 0 " + Repeated("1 ", numberBytes));
}

std::string IndexOfManyPairs(int64_t pairs) {
    // The catalog's text ends where the next pair's starts; the pairs after it list object 0
    // and end there too, holding nothing.
    const std::string pair = "0 " + std::to_string(sizeof(kCatalog) - 1) + " ";
    return CatalogInStream(pairs,
                           "1 0 " + Repeated(pair, static_cast<size_t>(pairs - 1) * pair.size()));
}

std::string StreamsInflatingLarge(int streams, size_t paddingBytes, int pages) {
    const int firstPage = 3 + streams;
    std::map<int, std::string> plain{{1, kCatalog}};
    std::map<int, std::pair<int, int>> packed;
    std::string kids;
    for (int k = 0; k < pages; ++k) kids += std::to_string(firstPage + k) + " 0 R ";
    plain[2] = "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages) + " >>";
    for (int s = 0; s < streams; ++s) {
        std::string header;
        std::string members;
        int index = 0;
        for (int k = s; k < pages; k += streams) {
            header += std::to_string(firstPage + k) + " " + std::to_string(members.size()) + " ";
            members += std::string(kPage) + "\n";
            packed[firstPage + k] = {3 + s, index++};
        }
        // The padding is white space after the last member's value.
        plain[3 + s] = ObjectStream(
            index, header.size(), "[ /FlateDecode /FlateDecode ]",
            FlateEncode(FlateEncode(header + members + std::string(paddingBytes, ' '))));
    }
    return WithXRefStream(plain, packed);
}

namespace {

// A line "Key:   123 kB" of /proc/self/status, in bytes; -1 when absent.
int64_t StatusBytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key + ":", 0) == 0) return std::stoll(line.substr(key.size() + 1)) * 1024;
    }
    return -1;
}

}  // namespace

int RunInChild(const std::function<int()>& body, int64_t maxGrowth) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        // A forked child's high-water mark starts at what it holds when it starts.
        const int64_t start = StatusBytes("VmRSS");
        const int result = body();
        const int64_t growth = StatusBytes("VmHWM") - start;
        if (growth > maxGrowth)
            std::fprintf(stderr, "memory grew by %lld bytes\n", (long long)growth);
        _exit(growth > maxGrowth ? 255 : std::min(result, 254));
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace verava::testing
