#include "objects/stream_filters.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "objects/lzw_decompressor.h"
#include "objects/pdf_chars.h"
#include "objects/pdf_object.h"

namespace verava {
namespace {

// Inflate output goes through a chunk of this size that stays in cache and is then appended
// to the result; appending in bulk is cheaper than letting zlib write into fresh pages.
constexpr size_t kInflateChunk = size_t{256} << 10;

// zlib counts in 32-bit units; longer inputs are fed in pieces.
constexpr size_t kZlibPiece = UINT_MAX;

// A decoded size is unknown until the end. The first guess is a few times the input, and a
// full buffer grows fourfold, so a stream inflating a thousandfold copies its output less
// than once over on the way (amortised constant per byte) and touches few fresh pages.
constexpr size_t kFirstGuessFactor = 8;
constexpr size_t kGrowthFactor = 4;
constexpr size_t kMinCapacity = size_t{64} << 10;

size_t InitialCapacity(size_t inputSize, size_t factor, size_t limit) {
    const size_t guess = inputSize > SIZE_MAX / factor ? SIZE_MAX : inputSize * factor;
    return std::min(limit, std::max(guess, kMinCapacity));
}

// Makes room for `more` bytes after the current ones, growing geometrically up to `limit`.
void EnsureRoom(std::string& out, size_t more, size_t limit) {
    const size_t needed = out.size() + more;
    if (needed <= out.capacity()) return;
    const size_t cap = out.capacity();
    const size_t grown = cap > SIZE_MAX / kGrowthFactor ? SIZE_MAX : cap * kGrowthFactor;
    out.reserve(std::max(needed, std::min(grown, limit)));
}

// A result far smaller than its buffer gives the surplus back.
void TrimSurplus(std::string& out) {
    if (out.capacity() > (size_t{1} << 20) && out.capacity() / 2 > out.size()) out.shrink_to_fit();
}

inline uint8_t U8(char c) { return static_cast<uint8_t>(c); }

// ---- PNG and TIFF predictors

uint8_t Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    if (pb <= pc) return static_cast<uint8_t>(b);
    return static_cast<uint8_t>(c);
}

// dst[i] = src[i] + up[i] eight bytes at a time, without carries between bytes. `src` may
// lie above `dst` inside the same buffer: each word is loaded before anything is stored
// over it. `up` is apart from both.
void AddUpRow(uint8_t* dst, const uint8_t* src, const uint8_t* up, size_t length) {
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t a;
        uint64_t b;
        std::memcpy(&a, src + i, 8);
        std::memcpy(&b, up + i, 8);
        const uint64_t sum = ((a & kLow7) + (b & kLow7)) ^ ((a ^ b) & kHigh);
        std::memcpy(dst + i, &sum, 8);
    }
    for (; i < length; ++i) dst[i] = static_cast<uint8_t>(src[i] + up[i]);
}

// One PNG row in place (RFC 2083, 6). `up` is the decoded row above, nullptr for the first.
void UnfilterPngRow(uint8_t tag, uint8_t* __restrict row, const uint8_t* __restrict up,
                    size_t length, size_t bpp) {
    switch (tag) {
        case 1:  // Sub
            for (size_t i = bpp; i < length; ++i)
                row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
            break;
        case 2:  // Up
            if (up != nullptr) AddUpRow(row, row, up, length);
            break;
        case 3:  // Average
            if (up == nullptr) {
                for (size_t i = bpp; i < length; ++i) {
                    row[i] = static_cast<uint8_t>(row[i] + (row[i - bpp] >> 1));
                }
                break;
            }
            for (size_t i = 0; i < bpp && i < length; ++i) {
                row[i] = static_cast<uint8_t>(row[i] + (up[i] >> 1));
            }
            for (size_t i = bpp; i < length; ++i) {
                row[i] = static_cast<uint8_t>(row[i] + ((row[i - bpp] + up[i]) >> 1));
            }
            break;
        case 4:  // Paeth; with no row above it reduces to Sub
            if (up == nullptr) {
                for (size_t i = bpp; i < length; ++i) {
                    row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
                }
                break;
            }
            for (size_t i = 0; i < bpp && i < length; ++i) {
                row[i] = static_cast<uint8_t>(row[i] + up[i]);
            }
            for (size_t i = bpp; i < length; ++i) {
                row[i] = static_cast<uint8_t>(row[i] + Paeth(row[i - bpp], up[i], up[i - bpp]));
            }
            break;
        default:  // 0 (None) and unknown tags
            break;
    }
}

// One TIFF predictor 2 row in place: each sample gets the decoded sample of the same
// component one pixel to the left added, modulo 2^bits (TIFF 6.0, section 14).
void UnpredictTiffRow(uint8_t* row, int64_t samples, int32_t colors, int32_t bits) {
    switch (bits) {
        case 8:
            for (int64_t i = colors; i < samples; ++i) {
                row[i] = static_cast<uint8_t>(row[i] + row[i - colors]);
            }
            break;
        case 16:
            for (int64_t i = colors; i < samples; ++i) {
                const uint32_t left = (row[2 * (i - colors)] << 8) | row[2 * (i - colors) + 1];
                const uint32_t value = ((row[2 * i] << 8) | row[2 * i + 1]) + left;
                row[2 * i] = static_cast<uint8_t>(value >> 8);
                row[2 * i + 1] = static_cast<uint8_t>(value);
            }
            break;
        case 1:
        case 2:
        case 4: {
            // Samples packed most significant bits first.
            const uint32_t mask = (1u << bits) - 1;
            const auto get = [&](int64_t i) -> uint32_t {
                const int64_t bit = i * bits;
                return (row[bit >> 3] >> (8 - bits - (bit & 7))) & mask;
            };
            for (int64_t i = colors; i < samples; ++i) {
                const uint32_t value = (get(i) + get(i - colors)) & mask;
                const int64_t bit = i * bits;
                const int shift = static_cast<int>(8 - bits - (bit & 7));
                uint8_t& b = row[bit >> 3];
                b = static_cast<uint8_t>((b & ~(mask << shift)) | (value << shift));
            }
            break;
        }
        default:
            // No TIFF depth: the row is left as it came.
            break;
    }
}

// ---- ASCII hex

bool IsAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// ---- the chain

// The predicted bytes that hold the rows decoding to `limit` bytes: a PNG row carries a tag
// byte, so cutting the inflated data at `limit` would lose the last rows of an image.
size_t PredictedLimit(size_t limit, const TPDFFlateParms& p) {
    if (p.Predictor < 10 || p.Colors <= 0 || p.BitsPerComponent <= 0 || p.Columns <= 0) {
        return limit;
    }
    const int64_t pixelBits = int64_t{p.BitsPerComponent} * p.Colors;
    if (pixelBits > kMaxPredictorRowBytes * 8) return limit;
    const int64_t rowLength = (pixelBits * p.Columns + 7) / 8;
    if (rowLength > kMaxPredictorRowBytes || limit > kMaxDecodedBytes) return limit;
    const size_t row = static_cast<size_t>(rowLength);
    return (limit / row + 1) * (row + 1);
}

// The limit of a step whose output another filter decodes further: hex text is twice the
// bytes it stands for, and base-85, run-length and LZW data can exceed theirs too, so the
// final limit would cut what the last step needs. Still bounded, to a few times that limit.
size_t IntermediateLimit(size_t limit) {
    if (limit >= kMaxDecodedBytes / 4) return std::max(limit, kMaxDecodedBytes);
    return 4 * limit + 4096;
}

std::string ApplyFilter(std::string_view name, std::string_view data, const TPDFDictionary* parms,
                        size_t limit, bool& known, bool& ended) {
    ended = true;
    known = DecodesFilter(name);
    if (!known) return {};  // image codecs and the like: the data stay encoded
    if (name == "FlateDecode" || name == "Fl") {
        if (parms != nullptr) {
            const TPDFFlateParms p = ReadFlateParms(parms);
            if (p.Predictor >= 2) {
                return UnpredictFlate(FlateDecode(data, PredictedLimit(limit, p), &ended), p,
                                      limit);
            }
        }
        return FlateDecode(data, limit, &ended);
    }
    if (name == "RunLengthDecode" || name == "RL") return RunLengthDecode(data, limit);
    if (name == "ASCII85Decode" || name == "A85") return ASCII85Decode(data, limit);
    if (name == "ASCIIHexDecode") return ASCIIHexDecode(data, limit);
    if (name == "LZWDecode") {
        const TPDFLZWParms p = ReadLZWParms(parms);
        std::string out = LZWDecode(data, p.EarlyChange != 0, PredictedLimit(limit, p));
        if (p.Predictor == 2) {
            UnpredictLZWTiff(out, p.Columns, p.Colors);
        } else if (p.Predictor >= 10) {
            // PNG predictors work the same way after LZW as after Flate.
            out = UnpredictFlate(std::move(out), p, limit);
        }
        return out;
    }
    known = false;
    return {};
}

}  // namespace

bool DecodesFilter(std::string_view name) {
    for (std::string_view known : {"FlateDecode", "Fl", "RunLengthDecode", "RL", "ASCII85Decode",
                                   "A85", "ASCIIHexDecode", "LZWDecode"}) {
        if (name == known) return true;
    }
    return false;
}

std::vector<std::string_view> StreamFilterNames(const TPDFDictionary* dict) {
    std::vector<std::string_view> filters;
    if (dict == nullptr) return filters;
    TPDFObject* filter = dict->GetValue("Filter", true);
    if (const auto* name = As<TPDFName>(filter)) {
        filters.push_back(name->Text);
    } else if (const auto* array = As<TPDFArray>(filter)) {
        for (TPDFObject* item : array->Items()) {
            if (const auto* n = As<TPDFName>(ResolveIfReference(item))) filters.push_back(n->Text);
        }
    }
    return filters;
}

std::vector<const TPDFDictionary*> StreamFilterParms(const TPDFDictionary* dict,
                                                     size_t filterCount) {
    std::vector<const TPDFDictionary*> parms(filterCount, nullptr);
    if (dict == nullptr || filterCount == 0) return parms;
    TPDFObject* value = dict->GetValue("DecodeParms", true);
    if (value == nullptr) value = dict->GetValue("DP", true);
    if (const auto* single = As<TPDFDictionary>(value)) {
        parms[0] = single;
    } else if (const auto* array = As<TPDFArray>(value)) {
        const size_t count = std::min(filterCount, array->Items().size());
        for (size_t i = 0; i < count; ++i) {
            parms[i] = As<TPDFDictionary>(ResolveIfReference(array->Items()[i]));
        }
    }
    return parms;
}

// ---- parameters

TPDFFlateParms ReadFlateParms(const TPDFDictionary* parms) {
    TPDFFlateParms p;
    if (parms == nullptr) return p;
    p.Predictor = parms->GetInteger("Predictor", p.Predictor);
    p.Colors = parms->GetInteger("Colors", p.Colors);
    p.BitsPerComponent = parms->GetInteger("BitsPerComponent", p.BitsPerComponent);
    p.Columns = parms->GetInteger("Columns", p.Columns);
    return p;
}

TPDFLZWParms ReadLZWParms(const TPDFDictionary* parms) {
    TPDFLZWParms p;
    static_cast<TPDFFlateParms&>(p) = ReadFlateParms(parms);
    if (parms != nullptr) p.EarlyChange = parms->GetInteger("EarlyChange", p.EarlyChange);
    return p;
}

// ---- Flate

std::string FlateEncode(std::string_view data) {
    if (data.empty()) return {};
    try {
        z_stream zs{};
        if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK) return {};
        const std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&zs, deflateEnd);
        std::string out;
        out.resize(deflateBound(&zs, data.size() > kZlibPiece ? kZlibPiece : data.size()));
        size_t used = 0;
        size_t consumed = 0;
        int ret = Z_OK;
        while (ret != Z_STREAM_END) {
            if (zs.avail_in == 0 && consumed < data.size()) {
                const size_t piece = std::min(kZlibPiece, data.size() - consumed);
                zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + consumed));
                zs.avail_in = static_cast<uInt>(piece);
                consumed += piece;
            }
            if (used == out.size()) out.resize(out.size() + out.size() / 2 + 256);
            const size_t room = std::min(kZlibPiece, out.size() - used);
            zs.next_out = reinterpret_cast<Bytef*>(out.data() + used);
            zs.avail_out = static_cast<uInt>(room);
            const bool last = consumed == data.size();
            ret = deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
            used += room - zs.avail_out;
            if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR) return {};
        }
        out.resize(used);
        return out;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::string FlateDecode(std::string_view data, size_t limit, bool* ended) {
    if (ended != nullptr) *ended = false;
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return {};
    // Frees zlib's state however this function is left.
    const std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&zs, inflateEnd);

    std::string out;
    out.reserve(InitialCapacity(data.size(), kFirstGuessFactor, limit));
    const size_t chunkSize = std::min(kInflateChunk, std::max<size_t>(limit, 1));
    const auto chunk = std::make_unique_for_overwrite<unsigned char[]>(chunkSize);
    size_t consumed = 0;
    while (out.size() < limit) {
        if (zs.avail_in == 0 && consumed < data.size()) {
            const size_t piece = std::min(kZlibPiece, data.size() - consumed);
            zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + consumed));
            zs.avail_in = static_cast<uInt>(piece);
            consumed += piece;
        }
        const size_t room = std::min(chunkSize, limit - out.size());
        zs.next_out = chunk.get();
        zs.avail_out = static_cast<uInt>(room);
        const int ret = inflate(&zs, Z_NO_FLUSH);
        const size_t produced = room - zs.avail_out;
        if (out.empty() && zs.avail_out == 0 && zs.total_in > 0) {
            // A full first chunk: project the whole output from the ratio so far, before the
            // guessed buffer fills and would have to be copied.
            const double projected =
                static_cast<double>(produced) * static_cast<double>(data.size()) / zs.total_in;
            if (projected > static_cast<double>(out.capacity())) {
                out.reserve(projected * 1.25 >= static_cast<double>(limit)
                                ? limit
                                : static_cast<size_t>(projected * 1.25));
            }
        }
        EnsureRoom(out, produced, limit);
        out.append(reinterpret_cast<const char*>(chunk.get()), produced);
        if (ended != nullptr && (ret == Z_STREAM_END || out.size() >= limit)) *ended = true;
        if (ret == Z_STREAM_END || ret == Z_NEED_DICT || ret == Z_DATA_ERROR) break;
        if (ret != Z_OK && ret != Z_BUF_ERROR) return {};  // stream state or memory failure
        if (zs.avail_out != 0) {
            // Room left over: zlib has emitted everything the input so far allows, so only
            // more input can bring more (a truncated stream keeps what it gave).
            if (zs.avail_in == 0 && consumed == data.size()) break;
            if (zs.avail_in != 0 && ret == Z_BUF_ERROR) break;
        }
    }
    TrimSurplus(out);
    return out;
}

std::string UnpredictFlate(std::string data, const TPDFFlateParms& parms, size_t limit) {
    const int32_t predictor = parms.Predictor;
    const int32_t colors = parms.Colors;
    const int32_t bits = parms.BitsPerComponent;
    const int32_t columns = parms.Columns;
    if (predictor < 2) return data;
    if (colors <= 0 || bits <= 0 || columns <= 0) return data;
    const int64_t pixelBits = int64_t{bits} * colors;
    if (pixelBits > kMaxPredictorRowBytes * 8) return data;
    const int64_t rowBits = pixelBits * columns;  // < 2^58
    const int64_t rowLength64 = (rowBits + 7) / 8;
    if (rowLength64 > kMaxPredictorRowBytes) return data;

    const bool png = predictor >= 10;
    const size_t rowLength = static_cast<size_t>(rowLength64);
    // Bytes per complete pixel, rounded up, at least one (RFC 2083, 6).
    const size_t bpp = static_cast<size_t>(std::max<int64_t>(1, (pixelBits + 7) / 8));
    const size_t stride = rowLength + (png ? 1 : 0);
    const size_t n = data.size();
    const size_t rows = n / stride + (n % stride != 0 ? 1 : 0);
    // Rows past the limit would be cut off anyway.
    const size_t keptRows = std::min(rows, limit / rowLength + (limit % rowLength != 0 ? 1 : 0));
    const size_t outLength = keptRows * rowLength;

    if (outLength > n) data.resize(outLength);  // the short last row is zero-padded
    auto* bytes = reinterpret_cast<uint8_t*>(data.data());
    for (size_t r = 0; r < keptRows; ++r) {
        // Row r moves from r * stride (+1 past its tag) down to r * rowLength; that never
        // overwrites a row not yet moved, and the row above is already decoded in place.
        const size_t source = r * stride + (png ? 1 : 0);
        const size_t available = source < n ? std::min(rowLength, n - source) : 0;
        uint8_t* row = bytes + r * rowLength;
        const uint8_t tag = png ? bytes[r * stride] : 0;
        const uint8_t* up = r == 0 ? nullptr : row - rowLength;
        if (png && tag == 2 && up != nullptr && available == rowLength) {
            // The common case (cross-reference streams, scans): move and add in one pass.
            AddUpRow(row, bytes + source, up, rowLength);
            continue;
        }
        if (png && available > 0) std::memmove(row, bytes + source, available);
        if (available < rowLength) std::memset(row + available, 0, rowLength - available);
        if (png) {
            UnfilterPngRow(tag, row, up, rowLength, bpp);
        } else if (predictor == 2) {
            UnpredictTiffRow(row, int64_t{colors} * columns, colors, bits);
        }
    }
    data.resize(std::min(outLength, limit));
    return data;
}

void UnpredictLZWTiff(std::string& data, int32_t columns, int32_t colors) {
    if (columns <= 0 || colors <= 0) return;
    const int64_t rowLength = int64_t{columns} * colors;
    if (rowLength > static_cast<int64_t>(data.size())) return;
    auto* bytes = reinterpret_cast<uint8_t*>(data.data());
    const size_t length = static_cast<size_t>(rowLength);
    const size_t step = static_cast<size_t>(colors);
    for (size_t start = 0; data.size() - start >= length; start += length) {
        uint8_t* row = bytes + start;
        for (size_t i = step; i < length; ++i)
            row[i] = static_cast<uint8_t>(row[i] + row[i - step]);
    }
}

// ---- run-length, base-85, hex, LZW

std::string RunLengthDecode(std::string_view data, size_t limit) {
    std::string out;
    out.reserve(InitialCapacity(data.size(), 4, limit));
    size_t i = 0;
    while (i < data.size() && out.size() < limit) {
        const uint8_t length = U8(data[i++]);
        if (length < 128) {
            const size_t count =
                std::min<size_t>({size_t{length} + 1u, data.size() - i, limit - out.size()});
            out.append(data.substr(i, count));
            i += size_t{length} + 1u;
        } else if (length == 128) {
            break;
        } else {
            if (i < data.size()) {
                const size_t count = std::min<size_t>(257u - length, limit - out.size());
                out.append(count, data[i]);
            }
            ++i;
        }
    }
    return out;
}

std::string ASCII85Decode(std::string_view data, size_t limit) {
    const auto isSpace = [](uint8_t c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; };
    // First pass: where decoding stops, and how much room it needs.
    size_t end = 0;
    size_t zeros = 0;
    for (; end < data.size(); ++end) {
        const uint8_t c = U8(data[end]);
        if (c == 'z') {
            ++zeros;
        } else if (!isSpace(c) && (c < '!' || c > 'u')) {
            break;
        }
    }
    if (end == 0) return {};
    std::string out;
    out.reserve(std::min(limit, (end - zeros) / 5 * 4 + 4 + zeros * 4));

    uint32_t accumulator = 0;
    int count = 0;
    for (size_t i = 0; i < end && out.size() < limit; ++i) {
        const uint8_t c = U8(data[i]);
        if (isSpace(c)) continue;
        if (c == 'z') {
            out.append(4, '\0');
            accumulator = 0;
            count = 0;
            continue;
        }
        accumulator = accumulator * 85u + (c - 33u);
        if (++count == 5) {
            const char group[4] = {
                static_cast<char>(accumulator >> 24), static_cast<char>(accumulator >> 16),
                static_cast<char>(accumulator >> 8), static_cast<char>(accumulator)};
            out.append(group, 4);
            accumulator = 0;
            count = 0;
        }
    }
    if (count >= 2 && out.size() < limit) {
        // Missing characters count as "u", the largest digit (ISO 32000-1, 7.4.3).
        for (int k = count; k < 5; ++k) accumulator = accumulator * 85u + 84u;
        for (int k = 0; k < count - 1; ++k)
            out.push_back(static_cast<char>(accumulator >> (24 - 8 * k)));
    }
    if (out.size() > limit) out.resize(limit);
    return out;
}

std::string ASCIIHexDecode(std::string_view data, size_t limit) {
    std::string out;
    out.reserve(std::min(limit, data.size() / 2 + 1));
    int high = -2;  // -2: no pending digit; -1: a pending letter past F; else its value
    for (const char ch : data) {
        const auto c = static_cast<unsigned char>(ch);
        if (!IsAsciiAlnum(c)) continue;
        const int value = HexDigitValue(c);
        if (high == -2) {
            high = value;
            continue;
        }
        if (out.size() == limit) return out;
        out.push_back(high < 0 || value < 0 ? '\0' : static_cast<char>(high << 4 | value));
        high = -2;
    }
    if (high != -2 && out.size() < limit)
        out.push_back(high < 0 ? '\0' : static_cast<char>(high << 4));
    return out;
}

std::string LZWDecode(std::string_view data, bool earlyChange, size_t limit) {
    TPDFLZWDecompressor decompressor(earlyChange);
    return decompressor.Decode(data, limit);
}

// ---- the chain

size_t DecodeLimitForInput(int64_t inputSize) {
    const size_t floor = size_t{128} << 20;
    if (inputSize <= 0) return floor;
    if (static_cast<uint64_t>(inputSize) >= (kMaxDecodedBytes - floor) / 32)
        return kMaxDecodedBytes;
    return floor + 32 * static_cast<size_t>(inputSize);
}

std::string DecodeStreamData(const TPDFStream& stream) {
    return DecodeStreamData(stream, kMaxDecodedBytes);
}

std::string DecodeStreamData(const TPDFStream& stream, size_t limit) {
    bool whole = false;
    return DecodeStreamData(stream, limit, whole);
}

std::string DecodeStreamData(const TPDFStream& stream, size_t limit, bool& whole) {
    whole = true;
    try {
        const TPDFDictionary* dict = stream.StreamDict();
        if (dict == nullptr) return std::string(stream.Data());

        const std::vector<std::string_view> filters = StreamFilterNames(dict);
        if (filters.empty()) {
            // A Filter entry that names no filter (a number, say) leaves the data unknown.
            if (dict->GetValue("Filter", true) != nullptr) whole = false;
            return std::string(stream.Data());
        }

        const std::vector<const TPDFDictionary*> parms = StreamFilterParms(dict, filters.size());

        size_t last = filters.size();
        for (size_t i = 0; i < filters.size(); ++i) {
            if (DecodesFilter(filters[i])) last = i;
        }
        std::string result;
        std::string_view current = stream.Data();
        bool decoded = false;
        for (size_t i = 0; i < filters.size(); ++i) {
            bool known = false;
            bool ended = true;
            const size_t stepLimit = i < last ? IntermediateLimit(limit) : limit;
            std::string next = ApplyFilter(filters[i], current, parms[i], stepLimit, known, ended);
            if (!ended) whole = false;
            if (!known) {
                whole = false;
                continue;
            }
            result = std::move(next);
            current = result;
            decoded = true;
        }
        if (!decoded) return std::string(stream.Data());
        return result;
    } catch (const std::exception&) {
        whole = false;
        return {};
    }
}

}  // namespace verava
