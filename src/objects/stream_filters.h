// Stream filters: the decode chain behind TPDFStream::GetDecodedData (Flate with PNG/TIFF
// predictors, LZW, run-length, ASCII base-85, ASCII hex) and Flate encoding for SetData.
//   << /Filter [ /ASCII85Decode /FlateDecode ] /DecodeParms [ null << /Predictor 12 /Columns 5 >> ]
//   >>
// Decoders never fail: bad input gives a shorter or empty result (ISO 32000-1, 7.4).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verava {

class TPDFDictionary;
class TPDFStream;

// No decoder produces more than this many bytes: a small stream that inflates without end
// (a "zip bomb") yields its first kMaxDecodedBytes bytes instead of exhausting memory.
inline constexpr size_t kMaxDecodedBytes = size_t{1} << 30;

// What decoding may yield for an input file of `inputSize` bytes: 128 MB and 32 times the
// file, at most kMaxDecodedBytes. Readers bound their decoding by it, so that no input,
// however hostile, needs much more memory than a few dozen times its own size.
size_t DecodeLimitForInput(int64_t inputSize);

// Predictor rows longer than this (a megabyte: 87000 pixels of 16-bit RGB), or of no bytes
// at all, can only come from nonsense parameters (a huge or non-positive Columns, Colors or
// BitsPerComponent); such data are returned as inflated, without un-prediction, rather than
// padded out to an absurd row.
inline constexpr int64_t kMaxPredictorRowBytes = int64_t{1} << 20;

// Predictor parameters of one decode-parameters dictionary (ISO 32000-1, table 8).
struct TPDFFlateParms {
    int32_t Predictor = 1;
    int32_t Colors = 1;
    int32_t BitsPerComponent = 8;
    int32_t Columns = 1;
};

struct TPDFLZWParms : TPDFFlateParms {
    int32_t EarlyChange = 1;
};

// Entries missing or not numbers keep their defaults; a null dictionary gives all defaults.
TPDFFlateParms ReadFlateParms(const TPDFDictionary* parms);
TPDFLZWParms ReadLZWParms(const TPDFDictionary* parms);

// Zlib-format Flate at the default level; empty input or any zlib failure gives "".
std::string FlateEncode(std::string_view data);

// The single decoders below raise nothing but std::bad_alloc when memory runs out;
// DecodeStreamData turns even that into "".

// Inflates zlib-format data. A damaged stream yields the bytes inflated before the damage;
// a zlib failure other than bad data (memory, stream state) yields "". `ended`, when given,
// tells whether the data reached their end mark or the output its limit (false: damaged or
// cut short, so more may have been meant).
std::string FlateDecode(std::string_view data, size_t limit = kMaxDecodedBytes,
                        bool* ended = nullptr);

// Undoes a Flate predictor: Predictor 2 is TIFF (1, 2, 4, 8 and 16 bits per component),
// 10 and above PNG with a tag byte per row, 3 to 9 only pad the last row. The result is
// whole rows, the last one zero-padded, truncated to `limit`. Predictor below 2, or
// parameters giving a row of no bytes or more than kMaxPredictorRowBytes: data unchanged.
std::string UnpredictFlate(std::string data, const TPDFFlateParms& parms,
                           size_t limit = kMaxDecodedBytes);

// LZW's own TIFF predictor: rows of Columns x Colors bytes, each byte from index Colors on
// gets the byte Colors earlier added; a trailing partial row stays as it is.
void UnpredictLZWTiff(std::string& data, int32_t columns, int32_t colors);

// Runs of (length, bytes) until the end-of-data byte 128.
std::string RunLengthDecode(std::string_view data, size_t limit = kMaxDecodedBytes);

// Base-85 groups up to "~" or any other byte outside the alphabet.
std::string ASCII85Decode(std::string_view data, size_t limit = kMaxDecodedBytes);

// Pairs of hex digits; every byte that is not a letter or digit is dropped (the end marker
// ">" included), an odd count gets a "0", and a pair holding a letter past "F" gives 0.
std::string ASCIIHexDecode(std::string_view data, size_t limit = kMaxDecodedBytes);

// MSB-first LZW (see lzw_decompressor.h).
std::string LZWDecode(std::string_view data, bool earlyChange, size_t limit = kMaxDecodedBytes);

// The filters a stream dictionary names in its Filter entry, in order (a name or an array of
// names; references resolved, anything else skipped). Views into the dictionary's names.
std::vector<std::string_view> StreamFilterNames(const TPDFDictionary* dict);

// The decode parameters of each of `filterCount` filters, from DecodeParms (or DP): one
// dictionary applies to the first filter, an array gives one entry per filter; null where
// none is given or the entry is not a dictionary.
std::vector<const TPDFDictionary*> StreamFilterParms(const TPDFDictionary* dict,
                                                     size_t filterCount);

// True for the filters DecodeStreamData undoes. The others (DCTDecode, JPXDecode,
// CCITTFaxDecode, JBIG2Decode, Crypt, unknown names) are passed over there: their data stay
// encoded.
bool DecodesFilter(std::string_view name);

// The stream's Data run through the filters its dictionary names; never raises (memory
// exhaustion gives ""). `limit` caps the output (steps another filter decodes further get
// a few times as much).
std::string DecodeStreamData(const TPDFStream& stream);
std::string DecodeStreamData(const TPDFStream& stream, size_t limit);
// The same, and `whole` tells whether the result is all the stream meant: false when a
// filter is not one DecodesFilter names, or Flate data are damaged or cut short, or memory
// ran out. A reader that must not take missing content for no content asks this.
std::string DecodeStreamData(const TPDFStream& stream, size_t limit, bool& whole);

}  // namespace verava
