// The decoders one by one, against input encoded independently: zlib's own deflate, PNG and
// TIFF rows filtered by the straightforward reference encoders below or checked by hand,
// base-85 text from Python's base64.a85encode, and LZW streams from a separate encoder
// whose output qpdf decodes to the same bytes.
#include "objects/stream_filters.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/bytes.h"

namespace verava {
namespace {

using testing::Bytes;
using testing::FromHex;

// Deterministic bytes: mostly a few values with runs, so both compression and prediction
// have something to do.
std::string Pseudo(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        s[i] = static_cast<char>((seed >> 24) % 4 == 0 ? seed >> 16 : (seed >> 28) * 16);
    }
    return s;
}

std::string ZlibCompress(const std::string& data, int level = Z_DEFAULT_COMPRESSION) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                        reinterpret_cast<const Bytef*>(data.data()),
                        static_cast<uLong>(data.size()), level),
              Z_OK);
    out.resize(size);
    return out;
}

std::string ZlibUncompress(const std::string& data, size_t expected) {
    uLongf size = static_cast<uLongf>(expected);
    std::string out(expected, '\0');
    EXPECT_EQ(
        uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                   reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size())),
        Z_OK);
    out.resize(size);
    return out;
}

// ---- Flate

TEST(FlateDecode, InflatesWhatZlibCompressed) {
    // Empty, tiny, text, and outputs spanning many internal chunks at several levels.
    const std::vector<std::string> inputs = {"", "x", "BT /F1 12 Tf 72 712 Td (Hello) Tj ET\n",
                                             Pseudo(100000, 1),
                                             std::string(1 << 20, 'A') + Pseudo(300000, 2)};
    for (const std::string& input : inputs) {
        for (int level : {1, Z_DEFAULT_COMPRESSION, 9}) {
            EXPECT_EQ(FlateDecode(ZlibCompress(input, level)), input)
                << "size " << input.size() << " level " << level;
        }
    }
}

TEST(FlateDecode, StopsAtTheEndOfTheZlibStream) {
    // Bytes after the stream's end (an EOL before "endstream", say) are ignored.
    const std::string input = "content stream";
    EXPECT_EQ(FlateDecode(ZlibCompress(input) + "\r\nendstream"), input);
}

TEST(FlateDecode, DamagedStreamKeepsItsGoodPrefix) {
    const std::string first = Pseudo(50000, 3);
    // A full flush ends a byte-aligned block; what follows is a block of the reserved type 3.
    std::string damaged;
    {
        z_stream zs{};
        ASSERT_EQ(deflateInit(&zs, Z_DEFAULT_COMPRESSION), Z_OK);
        std::string out(deflateBound(&zs, first.size()) + 64, '\0');
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(first.data()));
        zs.avail_in = static_cast<uInt>(first.size());
        zs.next_out = reinterpret_cast<Bytef*>(out.data());
        zs.avail_out = static_cast<uInt>(out.size());
        ASSERT_EQ(deflate(&zs, Z_FULL_FLUSH), Z_OK);
        out.resize(out.size() - zs.avail_out);
        deflateEnd(&zs);
        damaged = out + "\x06" + Pseudo(1000, 4);
    }
    EXPECT_EQ(FlateDecode(damaged), first);

    // Cut short in the middle: whatever was inflated comes back, and it is the original's
    // beginning.
    const std::string whole = Pseudo(200000, 5);
    const std::string compressed = ZlibCompress(whole);
    const std::string cut = FlateDecode(compressed.substr(0, compressed.size() / 2));
    EXPECT_GT(cut.size(), 0u);
    EXPECT_LT(cut.size(), whole.size());
    EXPECT_EQ(whole.compare(0, cut.size(), cut), 0);

    // A wrong check value at the very end still leaves all the data.
    std::string badCheck = ZlibCompress(whole);
    badCheck.back() = static_cast<char>(badCheck.back() ^ 0xFF);
    EXPECT_EQ(FlateDecode(badCheck), whole);
}

TEST(FlateDecode, NonZlibInputGivesNothing) {
    EXPECT_EQ(FlateDecode("hello, not compressed"), "");
    EXPECT_EQ(FlateDecode(std::string(1, '\x78')), "");

    // A stream that needs a preset dictionary stops before any output.
    z_stream zs{};
    ASSERT_EQ(deflateInit(&zs, Z_DEFAULT_COMPRESSION), Z_OK);
    const std::string dictionary = "dictionary";
    deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(dictionary.data()),
                         static_cast<uInt>(dictionary.size()));
    std::string in = "dictionary dictionary", out(256, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(out.size() - zs.avail_out);
    deflateEnd(&zs);
    EXPECT_EQ(FlateDecode(out), "");
}

TEST(FlateDecode, ZipBombYieldsItsFirstBytesUpToTheLimit) {
    // 16 MB of zeros deflate to about 16 KB; a 100000-byte limit keeps exactly that much.
    const std::string bomb = ZlibCompress(std::string(16 << 20, '\0'));
    ASSERT_LT(bomb.size(), 40000u);
    const std::string out = FlateDecode(bomb, 100000);
    EXPECT_EQ(out, std::string(100000, '\0'));
    EXPECT_EQ(FlateDecode(bomb, 1), std::string(1, '\0'));
    EXPECT_EQ(FlateDecode(bomb, 0), "");
    // The library-wide limit is the documented gigabyte.
    static_assert(kMaxDecodedBytes >= (size_t{1} << 30));
}

TEST(FlateEncode, ProducesZlibFormatThatZlibInflates) {
    EXPECT_EQ(FlateEncode(""), "");
    for (const std::string& input : {std::string("q 1 0 0 1 0 0 cm Q"), Pseudo(300000, 6)}) {
        const std::string encoded = FlateEncode(input);
        ASSERT_GE(encoded.size(), 2u);
        // CMF/FLG of a default-level zlib stream (RFC 1950, 2.2).
        EXPECT_EQ(static_cast<uint8_t>(encoded[0]), 0x78);
        EXPECT_EQ(static_cast<uint8_t>(encoded[1]), 0x9C);
        EXPECT_EQ(ZlibUncompress(encoded, input.size()), input);
    }
}

// ---- predictors after Flate

// PNG filtering of whole rows (RFC 2083, 6.3-6.6), the encoder side.
uint8_t PaethReference(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    if (pb <= pc) return static_cast<uint8_t>(b);
    return static_cast<uint8_t>(c);
}

std::string PngEncode(const std::string& raw, size_t rowLength, size_t bpp,
                      const std::vector<int>& tags) {
    std::string out;
    const size_t rows = raw.size() / rowLength;
    for (size_t r = 0; r < rows; ++r) {
        const int tag = tags[r % tags.size()];
        out.push_back(static_cast<char>(tag));
        for (size_t i = 0; i < rowLength; ++i) {
            auto at = [&](size_t row, size_t col) -> int {
                return static_cast<uint8_t>(raw[row * rowLength + col]);
            };
            const int x = at(r, i);
            const int a = i >= bpp ? at(r, i - bpp) : 0;
            const int b = r > 0 ? at(r - 1, i) : 0;
            const int c = r > 0 && i >= bpp ? at(r - 1, i - bpp) : 0;
            int predicted = 0;
            switch (tag) {
                case 1:
                    predicted = a;
                    break;
                case 2:
                    predicted = b;
                    break;
                case 3:
                    predicted = (a + b) / 2;
                    break;
                case 4:
                    predicted = PaethReference(a, b, c);
                    break;
                default:
                    break;
            }
            out.push_back(static_cast<char>(static_cast<uint8_t>(x - predicted)));
        }
    }
    return out;
}

TEST(UnpredictFlate, PngRowsCheckedByHand) {
    TPDFFlateParms p;
    p.Predictor = 12;
    p.Columns = 3;
    // Sub, Up, Average, then Paeth choosing above, left and upper-left in turn.
    const std::string in = Bytes({1, 10, 20, 250, 2, 1, 2, 3, 3, 4, 4, 4, 4, 30, 236, 5});
    EXPECT_EQ(UnpredictFlate(in, p), Bytes({10, 30, 24, 11, 32, 27, 9, 24, 29, 39, 19, 29}));
    // Average and Paeth on the first row see zeros above.
    EXPECT_EQ(UnpredictFlate(Bytes({3, 8, 8, 8}), p), Bytes({8, 12, 14}));
    EXPECT_EQ(UnpredictFlate(Bytes({4, 8, 8, 8}), p), Bytes({8, 16, 24}));
    // Unknown tags leave the row as it is.
    EXPECT_EQ(UnpredictFlate(Bytes({7, 1, 2, 3, 5, 1, 1, 1}), p), Bytes({1, 2, 3, 1, 1, 1}));
}

TEST(UnpredictFlate, EveryPngTagAndPixelSizeRoundTrips) {
    struct Case {
        int colors, bits, columns;
        size_t bpp;  // bytes per complete pixel, rounded up
    };
    const Case cases[] = {
        {1, 8, 37, 1}, {3, 8, 20, 3}, {4, 8, 9, 4}, {1, 16, 11, 2}, {3, 16, 5, 6},
        {1, 1, 77, 1}, {1, 2, 13, 1}, {4, 4, 7, 2}, {3, 4, 9, 2},   {5, 4, 6, 3},
    };
    for (const Case& c : cases) {
        const size_t rowLength = (static_cast<size_t>(c.colors) * c.bits * c.columns + 7) / 8;
        const std::string raw = Pseudo(rowLength * 12, 7 + c.columns);
        TPDFFlateParms p;
        p.Colors = c.colors;
        p.BitsPerComponent = c.bits;
        p.Columns = c.columns;
        for (int predictor : {10, 11, 12, 13, 14, 15}) {
            p.Predictor = predictor;
            // One tag for all rows, then all tags mixed (the tag decides, not the predictor).
            for (const std::vector<int>& tags :
                 {std::vector<int>{0}, {1}, {2}, {3}, {4}, {0, 1, 2, 3, 4, 2, 4}}) {
                const std::string predicted = PngEncode(raw, rowLength, c.bpp, tags);
                EXPECT_EQ(UnpredictFlate(FlateDecode(ZlibCompress(predicted)), p), raw)
                    << "colors " << c.colors << " bits " << c.bits << " tag " << tags[0];
            }
        }
    }
}

TEST(UnpredictFlate, RowsAreWholeAndTheLastIsZeroPadded) {
    TPDFFlateParms p;
    p.Predictor = 12;
    p.Columns = 5;
    // Three rows of tag + 5 bytes: 18 bytes in, 15 out.
    const std::string three = Bytes({0, 1, 2, 3, 4, 5, 0, 6, 7, 8, 9, 10, 0, 1, 1, 1, 1, 1});
    EXPECT_EQ(UnpredictFlate(three, p).size(), 15u);
    // A short last row is padded with zeros ...
    EXPECT_EQ(UnpredictFlate(Bytes({0, 1, 2, 3, 4, 5, 0, 6, 7}), p),
              Bytes({1, 2, 3, 4, 5, 6, 7, 0, 0, 0}));
    // ... before its tag applies, so Up carries the row above into the padding.
    EXPECT_EQ(UnpredictFlate(Bytes({0, 1, 2, 3, 4, 5, 2, 6, 7}), p),
              Bytes({1, 2, 3, 4, 5, 7, 9, 3, 4, 5}));
    // A lone tag byte still makes a row.
    EXPECT_EQ(UnpredictFlate(Bytes({0, 1, 2, 3, 4, 5, 0}), p),
              Bytes({1, 2, 3, 4, 5, 0, 0, 0, 0, 0}));
    EXPECT_EQ(UnpredictFlate("", p), "");

    // TIFF and predictors 3 to 9 pad the same way, without tag bytes.
    p.Predictor = 5;
    EXPECT_EQ(UnpredictFlate(Bytes({1, 2, 3, 4, 5, 6, 7}), p),
              Bytes({1, 2, 3, 4, 5, 6, 7, 0, 0, 0}));
    p.Predictor = 2;
    EXPECT_EQ(UnpredictFlate(Bytes({1, 1, 1, 1, 1, 2, 2}), p),
              Bytes({1, 2, 3, 4, 5, 2, 4, 4, 4, 4}));
}

// TIFF predictor 2, the encoder side: samples packed most significant bits first in rows
// that start on a byte; each sample becomes its difference to the same component one pixel
// to the left.
std::string TiffEncode(const std::string& raw, int colors, int bits, int columns) {
    const size_t rowLength = (static_cast<size_t>(colors) * bits * columns + 7) / 8;
    std::string out = raw;
    const int samples = colors * columns;
    const uint32_t mask = bits == 16 ? 0xFFFF : (1u << bits) - 1;
    for (size_t start = 0; start + rowLength <= raw.size(); start += rowLength) {
        auto get = [&](const std::string& s, int i) -> uint32_t {
            if (bits == 16) {
                return static_cast<uint8_t>(s[start + 2 * i]) << 8 |
                       static_cast<uint8_t>(s[start + 2 * i + 1]);
            }
            const int bit = i * bits;
            return (static_cast<uint8_t>(s[start + bit / 8]) >> (8 - bits - bit % 8)) & mask;
        };
        auto put = [&](int i, uint32_t v) {
            if (bits == 16) {
                out[start + 2 * i] = static_cast<char>(v >> 8);
                out[start + 2 * i + 1] = static_cast<char>(v);
                return;
            }
            const int bit = i * bits;
            const int shift = 8 - bits - bit % 8;
            auto& b = reinterpret_cast<uint8_t&>(out[start + bit / 8]);
            b = static_cast<uint8_t>((b & ~(mask << shift)) | ((v & mask) << shift));
        };
        for (int i = colors; i < samples; ++i) put(i, get(raw, i) - get(raw, i - colors));
    }
    return out;
}

TEST(UnpredictFlate, TiffRowsCheckedByHand) {
    TPDFFlateParms p;
    p.Predictor = 2;
    struct Case {
        int colors, bits, columns;
        std::string in, out;
    };
    const Case cases[] = {
        {1, 8, 4, Bytes({1, 1, 1, 1, 9, 255, 2, 0}), Bytes({1, 2, 3, 4, 9, 8, 10, 10})},
        {2, 8, 2, Bytes({10, 20, 1, 2}), Bytes({10, 20, 11, 22})},
        {1, 1, 8, Bytes({0x81}), Bytes({0xFE})},
        {2, 2, 2, Bytes({0x6F}), Bytes({0x61})},
        {1, 4, 3, Bytes({0x12, 0x30}), Bytes({0x13, 0x60})},
        {1, 16, 2, Bytes({0x01, 0xFF, 0x00, 0x02}), Bytes({0x01, 0xFF, 0x02, 0x01})},
    };
    for (const Case& c : cases) {
        p.Colors = c.colors;
        p.BitsPerComponent = c.bits;
        p.Columns = c.columns;
        EXPECT_EQ(UnpredictFlate(c.in, p), c.out) << "bits " << c.bits;
    }
}

TEST(UnpredictFlate, TiffAtEveryDepthRoundTrips) {
    for (int bits : {1, 2, 4, 8, 16}) {
        for (int colors : {1, 3}) {
            const int columns = 13;
            const size_t rowLength = (static_cast<size_t>(colors) * bits * columns + 7) / 8;
            std::string raw = Pseudo(rowLength * 9, bits * 10 + colors);
            // Padding bits at the end of each row are not samples; keep them zero.
            const int used = colors * bits * columns % 8;
            if (used != 0) {
                for (size_t end = rowLength; end <= raw.size(); end += rowLength) {
                    raw[end - 1] = static_cast<char>(raw[end - 1] & (0xFF << (8 - used)));
                }
            }
            TPDFFlateParms p;
            p.Predictor = 2;
            p.Colors = colors;
            p.BitsPerComponent = bits;
            p.Columns = columns;
            EXPECT_EQ(UnpredictFlate(TiffEncode(raw, colors, bits, columns), p), raw)
                << "bits " << bits << " colors " << colors;
        }
    }
    // A depth TIFF has no rule for comes back as it was.
    TPDFFlateParms p;
    p.Predictor = 2;
    p.BitsPerComponent = 32;
    EXPECT_EQ(UnpredictFlate(Bytes({1, 2, 3, 4, 5, 6, 7, 8}), p), Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(UnpredictFlate, NonsenseParametersLeaveTheDataUnpredicted) {
    const std::string data = Bytes({2, 1, 2, 3, 2, 1, 1, 1});
    struct Case {
        int predictor, colors, bits, columns;
    };
    const Case cases[] = {
        {12, 1, 8, 0},           // no columns
        {12, 1, 8, -5},          // negative columns
        {12, 0, 8, 3},           // no colours
        {12, 1, -8, 3},          // negative depth
        {12, 1, 8, 0x7FFFFFFF},  // a 2 GB row
        {2, 0x7FFFFFFF, 16, 0x7FFFFFFF},
        {12, 1, 0x7FFFFFFF, 1},
        {1, 1, 8, 3},  // no predictor at all
        {-3, 1, 8, 3},
    };
    for (const Case& c : cases) {
        TPDFFlateParms p;
        p.Predictor = c.predictor;
        p.Colors = c.colors;
        p.BitsPerComponent = c.bits;
        p.Columns = c.columns;
        EXPECT_EQ(UnpredictFlate(data, p), data) << c.predictor << " " << c.columns;
    }
    // The largest row still accepted is padded out for real.
    TPDFFlateParms p;
    p.Predictor = 12;
    p.Columns = static_cast<int32_t>(kMaxPredictorRowBytes);
    EXPECT_EQ(UnpredictFlate(Bytes({0, 9}), p).size(), static_cast<size_t>(kMaxPredictorRowBytes));
}

TEST(UnpredictFlate, OutputStopsAtTheLimit) {
    TPDFFlateParms p;
    p.Predictor = 12;
    p.Columns = 4;
    const std::string rows = Bytes({0, 1, 2, 3, 4, 1, 1, 1, 1, 1, 2, 5, 5, 5, 5});
    EXPECT_EQ(UnpredictFlate(rows, p, 6), Bytes({1, 2, 3, 4, 1, 2}));
    EXPECT_EQ(UnpredictFlate(rows, p, 0), "");
}

// ---- run-length, base-85, hex

TEST(RunLengthDecode, CopiesAndRepeatsUntilTheEndByte) {
    EXPECT_EQ(RunLengthDecode(Bytes({2, 'a', 'b', 'c', 254, 'x', 128})), "abcxxx");
    // Everything after the end byte is ignored.
    EXPECT_EQ(RunLengthDecode(Bytes({0, 'q', 128, 0, 'z'})), "q");
    // 129 repeats 128 times; a literal run may be cut short by the end of the data.
    EXPECT_EQ(RunLengthDecode(Bytes({129, '-', 4, 'a', 'b'})), std::string(128, '-') + "ab");
    // A repeat with no byte after it gives nothing.
    EXPECT_EQ(RunLengthDecode(Bytes({1, 'o', 'k', 200})), "ok");
    EXPECT_EQ(RunLengthDecode(""), "");
    // Output beyond the limit is dropped.
    EXPECT_EQ(RunLengthDecode(Bytes({129, 'y', 129, 'y'}), 200), std::string(200, 'y'));
    EXPECT_EQ(RunLengthDecode(Bytes({3, 'a', 'b', 'c', 'd'}), 2), "ab");
}

TEST(ASCII85Decode, MatchesPythonsEncoder) {
    // base64.a85encode output, with "~>" appended as a PDF writer does.
    struct Case {
        std::string encoded, decoded;
    };
    const Case cases[] = {
        {"9jqo^BlbD-BleB1DJ+*+F(f,q~>", "Man is distinguished"},
        {"@:E_WAH~>", "abcde"},      // one byte in the last group
        {"@:E_WAS(~>", "abcdef"},    // two
        {"@:E_WAS,Q~>", "abcdefg"},  // three
        {"z!<N?+zs8W-!#l~>", Bytes({0, 0, 0, 0, 1, 2, 3, 4, 0, 0, 0, 0, 255, 255, 255, 255, 9})},
        {"s8W-!~>", Bytes({255, 255, 255, 255})},
        {"z!!~>", Bytes({0, 0, 0, 0, 0})},
        // Wrapped at 16 columns: line breaks are skipped.
        {"<^fnpG$uM6AThX*F\n(KD8@;]TuD.Ra#AT\nJu4A7QfkDIal$G%G\nP6E+*Bj+EM%$DK@E~>",
         "VERava reverses and merges odd and even page scans."},
    };
    for (const Case& c : cases) EXPECT_EQ(ASCII85Decode(c.encoded), c.decoded) << c.encoded;
}

TEST(ASCII85Decode, StopsAtTheFirstByteOutsideTheAlphabet) {
    EXPECT_EQ(ASCII85Decode("9jqo^~>BlbD-"), "Man ");
    EXPECT_EQ(ASCII85Decode("9jqo^"), "Man ");  // no end marker
    EXPECT_EQ(ASCII85Decode("9jqo^\x7F"
                            "BlbD-"),
              "Man ");  // DEL
    EXPECT_EQ(ASCII85Decode("9jqo^\x0C"
                            "BlbD-"),
              "Man ");                                  // form feed is not skipped
    EXPECT_EQ(ASCII85Decode(" 9j qo\t^\r\n"), "Man ");  // but space, TAB, CR, LF are
    EXPECT_EQ(ASCII85Decode("~>"), "");
    EXPECT_EQ(ASCII85Decode("v9jqo^"), "");
    EXPECT_EQ(ASCII85Decode(""), "");
    // A single leftover character gives nothing; "z" drops a partial group.
    EXPECT_EQ(ASCII85Decode("9jqo^B~>"), "Man ");
    EXPECT_EQ(ASCII85Decode("9jqz~>"), Bytes({0, 0, 0, 0}));
    EXPECT_EQ(ASCII85Decode("zz~>", 5), Bytes({0, 0, 0, 0, 0}));
}

TEST(ASCIIHexDecode, PairsDigitsAfterDroppingEverythingElse) {
    EXPECT_EQ(ASCIIHexDecode("48656C6C6F>"), "Hello");
    EXPECT_EQ(ASCIIHexDecode("48 65\n6c 6c\t6f"), "Hello");
    EXPECT_EQ(ASCIIHexDecode("<4142>"), "AB");
    // An odd count gets a trailing 0.
    EXPECT_EQ(ASCIIHexDecode("414>"), "A@");
    EXPECT_EQ(ASCIIHexDecode("7"), "p");
    // Letters past F make the byte 0, whichever half they are in.
    EXPECT_EQ(ASCIIHexDecode("G141Z0"), Bytes({0, 'A', 0}));
    EXPECT_EQ(ASCIIHexDecode("Z"), Bytes({0}));
    // The end marker is just another dropped byte, so what follows it counts too.
    EXPECT_EQ(ASCIIHexDecode("41>42"), "AB");
    // Bytes above 127 are not digits.
    EXPECT_EQ(ASCIIHexDecode("4\xC1"
                             "1"),
              "A");
    EXPECT_EQ(ASCIIHexDecode(""), "");
    EXPECT_EQ(ASCIIHexDecode("414243", 2), "AB");
}

// ---- LZW

// The text both LZW vectors below encode (a linear congruential choice of words).
std::string LzwText(size_t n, uint32_t seed) {
    static const char* const kWords[] = {"page",  "odd", "even", "scan", "merge", "tree", "kids",
                                         "count", "obj", "0",    "R",    "<<",    ">>"};
    std::string out;
    while (out.size() < n) {
        seed = (seed * 1103515245u + 12345u) & 0x7FFFFFFFu;
        out += kWords[(seed >> 16) % 13];
        out += ((seed >> 8) & 3) != 0 ? ' ' : '\n';
    }
    out.resize(n);
    return out;
}

TEST(LZWDecode, DecodesTheReferenceExample) {
    // "-----A---B": codes 256 45 258 258 65 259 66 257 in 9 bits (ISO 32000-1, 7.4.4.2).
    EXPECT_EQ(LZWDecode(FromHex("800B6050220C0C8501"), true), "-----A---B");
    // The same codes without the end code: the padding bits of the last byte are no code.
    EXPECT_EQ(LZWDecode(FromHex("800B6050220C0C84"), true), "-----A---B");
    EXPECT_EQ(LZWDecode("", true), "");
    EXPECT_EQ(LZWDecode(FromHex("8040"), true), "");  // 256 then 257
}

TEST(LZWDecode, ClearCodeInTheMiddleDecodesLikeTwoStreams) {
    // 800 bytes (codes grow to 10 bits), a clear code, then 200 more bytes from 9 bits again.
    const std::string combined = FromHex(
        "801D0E46532880DA653919E0B0784994146F32190411032028E663309B84063379D4DC74101ACD264398807C"
        "3E10194EC658D49C150C8544CC46A89C44410282080783C934A2552C8DC763F0F99CD62B178C82A45249ECBE"
        "11312902A391E9049E432339D4A8520A9C7E753C9DC1A9F0537CCE893429082911A9FC6A2967050C2AF4CB5D"
        "C6C50D9E880E0618543E235AAA53A1A0A97584600AB6E22576CC5D184172B4D86293781C3A7105B5DDE63308"
        "74EC1561AEC829725B6DE74B659A6974BA3B54623572C9E9739949CEC2CDACB4DD6A3A1105A77999BDCC7478"
        "AA06F32761D9ECEC356CBEF79DCDD4506A99ACB657A55EBAF2A79CDCE02B9BBFD74A71B9ED0E0AA1CFEB55B5"
        "58DE0C16AD90B861F79ACD9CBB4F45E6D476563B9C977897332C4BE0D42FC893EED4B1ACCB32C9B58E8B9AD2"
        "BDAC7358E826CCF2E4D2AD2C4B78CF327073ACC3BA2D2A76801D0E46532828CA76329B8403C1E080610B8694"
        "8403E1F080DE6235028D669321CE2020814122C6432438411218028E663309B814703099CCA208DC7647258B"
        "9A8412B96C82073336994E532934868142A24C2893C9752A8F43829BE49100543E6B1EA94E2A74E1018CDE75"
        "371D2691C8F55C154689C567355B4CFA450784CEE594D30C04");
    const std::string first = LzwText(800, 12345);
    const std::string second = LzwText(200, 99);
    EXPECT_EQ(LZWDecode(combined, true), first + second);
}

TEST(LZWDecode, WithoutEarlyChangeTheWidthGrowsOneCodeLater) {
    const std::string late = FromHex(
        "801D0E46532880DA653919E0B0784994146F32190411032028E663309B84063379D4DC74101ACD264398807C"
        "3E10194EC658D49C150C8544CC46A89C44410282080783C934A2552C8DC763F0F99CD62B178C82A45249ECBE"
        "11312902A391E9049E432339D4A8520A9C7E753C9DC1A9F0537CCE893429082911A9FC6A2967050C2AF4CB5D"
        "C6C50D9E880E0618543E235AAA53A1A0A97584600AB6E22576CC5D184172B4D86293781C3A7105B5DDE63308"
        "74EC1561AEC829725B6DE74B659A6974BA3B54623572C9E9739949CEC2CDACB4DD6A3A1105A77999BDCC7478"
        "AA06F32761D9ECEC356CBEF79DCDD4506A99ACB657A55EBAF2A79CDCE02B9BBFD74A71B9ED0E0AA1CFEB55B5"
        "58DE0C16AD90B861F79ACD9CBB4F45E6D476563B9C97792E665897C1A85F9127DDA963599665936B1D1735A5"
        "7B58E6B1D04D99E5C9A55A5896F19E64E0E75987745A54ED01");
    EXPECT_EQ(LZWDecode(late, false), LzwText(800, 12345));
    // Read with early change, the codes after the width change come out wrong.
    EXPECT_NE(LZWDecode(late, true), LzwText(800, 12345));
}

// Codes written most significant bit first at the widths an early-change decoder expects.
class LzwCodeWriter {
  public:
    void Put(int code) {
        bits_ = bits_ << width_ | static_cast<uint64_t>(code);
        count_ += width_;
        while (count_ >= 8) {
            out_.push_back(static_cast<char>(bits_ >> (count_ - 8)));
            count_ -= 8;
        }
        if (freeSlot_ == (1 << width_) - 2 && width_ < 12) ++width_;
        if (freeSlot_ < 4095) ++freeSlot_;
    }
    int FreeSlot() const { return freeSlot_; }
    std::string Finish() {
        if (count_ > 0) out_.push_back(static_cast<char>(bits_ << (8 - count_)));
        return out_;
    }

  private:
    std::string out_;
    uint64_t bits_ = 0;
    int count_ = 0;
    int width_ = 9;
    int freeSlot_ = 257;  // the first code makes no entry
};

TEST(LZWDecode, FullTableKeepsOverwritingItsLastSlot) {
    // "A", then always the next free code: code k stands for k + 1 copies of "A". Past 4095
    // the table stops growing and slot 4095 is rewritten from itself, one "A" longer each time.
    LzwCodeWriter writer;
    const size_t codes = 4300;
    writer.Put('A');
    for (size_t k = 1; k < codes; ++k) writer.Put(writer.FreeSlot());
    EXPECT_EQ(writer.FreeSlot(), 4095);
    const std::string data = writer.Finish();
    EXPECT_EQ(LZWDecode(data, true), std::string(codes * (codes + 1) / 2, 'A'));
    // The limit cuts it off mid-code.
    EXPECT_EQ(LZWDecode(data, true, 5000001), std::string(5000001, 'A'));
}

TEST(LZWDecode, HostileCodesStayInBounds) {
    // Codes beyond the table, clears in a row, and a first code that is an unused slot.
    for (const std::string& data :
         {std::string(4000, '\xFF'), std::string(4000, '\0'), FromHex("FFFFFFFF"),
          FromHex("8020100804020100"), Pseudo(20000, 11)}) {
        const std::string out = LZWDecode(data, true, 1 << 20);
        EXPECT_LE(out.size(), size_t{1} << 20);
        EXPECT_EQ(LZWDecode(data, false, 1000).size() <= 1000, true);
    }
}

TEST(UnpredictLZWTiff, AddsTheByteColorsEarlierInEachCompleteRow) {
    std::string data = Bytes({1, 2, 1, 1, 5, 5, 1, 1, 9});
    UnpredictLZWTiff(data, 2, 2);  // rows of 4 bytes; the ninth byte is a partial row
    EXPECT_EQ(data, Bytes({1, 2, 2, 3, 5, 5, 6, 6, 9}));
    std::string same = Bytes({1, 2, 3});
    UnpredictLZWTiff(same, 0, 1);
    UnpredictLZWTiff(same, 0x7FFFFFFF, 0x7FFFFFFF);
    EXPECT_EQ(same, Bytes({1, 2, 3}));
}

}  // namespace
}  // namespace verava
