// Flate decoding speed against zlib itself: 64 MB of scan-like 8-bit grey rows (long white
// runs, dark strokes, sensor noise) are deflated once; then each of
//   (a) zlib's inflate into a buffer allocated beforehand at the exact size,
//   (b) FlateDecode,
//   (c) TPDFStream::GetDecodedData with FlateDecode and PNG predictor 12 (Up rows),
// runs a few times and the best time of each counts. Prints times and the ratios to (a),
// both by wall clock and by the thread's CPU time (steadier on a busy machine).
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "objects/pdf_structure.h"
#include "objects/stream_filters.h"

namespace {

using verava::TPDFStructure;

constexpr size_t kColumns = 2480;  // an A4 line at 300 dpi
constexpr size_t kRows = (size_t{64} << 20) / kColumns;
constexpr int kRepeats = 5;

// A deterministic scan: paper white with slow shading, dark strokes of random length, and
// low-order noise on some pixels.
std::string MakeScan() {
    std::string image(kRows * kColumns, '\0');
    uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (size_t r = 0; r < kRows; ++r) {
        char* row = image.data() + r * kColumns;
        size_t c = 0;
        while (c < kColumns) {
            const uint64_t v = next();
            const size_t run = 16 + v % 400;
            const bool dark = (v >> 20) % 8 == 0;
            const size_t end = std::min(kColumns, c + run);
            for (; c < end; ++c) {
                uint8_t px = dark ? 30 : 250;
                if ((next() & 63) == 0) px = static_cast<uint8_t>(px + (next() & 7));
                row[c] = static_cast<char>(px);
            }
        }
    }
    return image;
}

// PNG "Up" rows, each behind its tag byte 2.
std::string PredictUp(const std::string& image) {
    std::string out;
    out.reserve(kRows * (kColumns + 1));
    for (size_t r = 0; r < kRows; ++r) {
        out.push_back('\2');
        for (size_t c = 0; c < kColumns; ++c) {
            const uint8_t above = r == 0 ? 0 : static_cast<uint8_t>(image[(r - 1) * kColumns + c]);
            out.push_back(static_cast<char>(static_cast<uint8_t>(image[r * kColumns + c]) - above));
        }
    }
    return out;
}

std::string Deflate(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK) {
        std::fprintf(stderr, "compress2 failed\n");
        std::exit(1);
    }
    out.resize(size);
    return out;
}

struct Timing {
    double wallMs = 1e300;
    double cpuMs = 1e300;
};

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Best wall and CPU times of kRepeats runs, in milliseconds.
Timing Best(const std::function<size_t()>& run, size_t expected, const char* what) {
    Timing best;
    for (int i = 0; i < kRepeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ThreadCpuMs();
        const size_t got = run();
        const double cpu = ThreadCpuMs() - cpuStart;
        const auto stop = std::chrono::steady_clock::now();
        if (got != expected) {
            std::fprintf(stderr, "%s: %zu bytes instead of %zu\n", what, got, expected);
            std::exit(1);
        }
        best.wallMs =
            std::min(best.wallMs, std::chrono::duration<double, std::milli>(stop - start).count());
        best.cpuMs = std::min(best.cpuMs, cpu);
    }
    return best;
}

void Report(const char* what, const Timing& t, const Timing* base) {
    std::printf("%-38s wall %7.1f ms  cpu %7.1f ms", what, t.wallMs, t.cpuMs);
    if (base != nullptr) {
        std::printf("   ratio wall %.2f  cpu %.2f", t.wallMs / base->wallMs, t.cpuMs / base->cpuMs);
    }
    std::printf("\n");
}

size_t ZlibInflate(const std::string& compressed, unsigned char* out, size_t size) {
    z_stream zs{};
    inflateInit(&zs);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    zs.avail_in = static_cast<uInt>(compressed.size());
    zs.next_out = out;
    zs.avail_out = static_cast<uInt>(size);
    inflate(&zs, Z_FINISH);
    const size_t produced = size - zs.avail_out;
    inflateEnd(&zs);
    return produced;
}

}  // namespace

int main() {
    const std::string image = MakeScan();
    const std::string predicted = PredictUp(image);
    const std::string compressed = Deflate(image);
    const std::string compressedPredicted = Deflate(predicted);
    std::printf("image %zu bytes, deflated %zu (%.1f:1); predicted deflated %zu\n", image.size(),
                compressed.size(), double(image.size()) / compressed.size(),
                compressedPredicted.size());

    // (a) zlib alone: the output buffer exists (and is touched) before the clock starts.
    auto buffer = std::make_unique<unsigned char[]>(image.size());
    const Timing zlib = Best([&] { return ZlibInflate(compressed, buffer.get(), image.size()); },
                             image.size(), "zlib");
    auto bufferPredicted = std::make_unique<unsigned char[]>(predicted.size());
    const Timing zlibPredicted = Best(
        [&] { return ZlibInflate(compressedPredicted, bufferPredicted.get(), predicted.size()); },
        predicted.size(), "zlib predicted");

    // (b) our inflate, which must find the output size as it goes.
    const Timing ours =
        Best([&] { return verava::FlateDecode(compressed).size(); }, image.size(), "FlateDecode");

    // (c) the whole chain through a stream dictionary.
    TPDFStructure store;
    auto* dict = verava::As<verava::TPDFDictionary>(store.ParseText(
        "<< /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 2480 >> >>"));
    auto* stream = store.NewStreamWith(dict, verava::ByteSlice(compressedPredicted));
    if (stream->GetDecodedData() != image) {
        std::fprintf(stderr, "chain: wrong bytes\n");
        return 1;
    }
    const Timing chain =
        Best([&] { return stream->GetDecodedData().size(); }, image.size(), "chain");

    Report("(a) zlib inflate, preallocated", zlib, nullptr);
    Report("(b) FlateDecode", ours, &zlib);
    Report("(a') zlib inflate of the predicted data", zlibPredicted, nullptr);
    Report("(c) chain: Flate + PNG Up rows", chain, &zlibPredicted);
    return 0;
}
