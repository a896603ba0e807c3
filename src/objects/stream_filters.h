// Stream filters: the decode chain behind TPDFStream::GetDecodedData (Flate with PNG/TIFF
// predictors, LZW, run-length, ASCII base-85, ASCII hex) and Flate encoding for SetData.
// Decoders never fail: bad input gives a shorter or empty result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace verava {

class TPDFStream;

// Zlib-format Flate at the default level; empty input or any zlib failure gives "".
std::string FlateEncode(std::string_view data);

// The stream's Data run through the filters its dictionary names.
std::string DecodeStreamData(const TPDFStream& stream);

}  // namespace verava
