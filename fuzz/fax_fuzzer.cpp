// CCITT fax data under parameters chosen by the first six bytes: K (-1 to 3) and the flags
// EndOfLine, EncodedByteAlign, BlackIs1, EndOfBlock with DamagedRowsBeforeError (0 to 15) in
// the high bits; the width (Columns) and height, each 1 to 2048. The decoder must never
// crash, stay within its budget, and deliver every row when it says true.
#include <cstdint>
#include <string_view>

#include "codec_fuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6 || size > 1 << 20) return 0;
    verava::TFaxOptions options;
    options.K = data[0] % 5 - 1;
    options.EndOfLine = (data[1] & 1) != 0;
    options.EncodedByteAlign = (data[1] & 2) != 0;
    options.BlackIs1 = (data[1] & 4) != 0;
    options.EndOfBlock = (data[1] & 8) != 0;
    options.DamagedRowsBeforeError = data[1] >> 4;
    const int32_t width = (data[2] << 8 | data[3]) % 2048 + 1;
    const int32_t height = (data[4] << 8 | data[5]) % 2048 + 1;
    options.Columns = width;
    const size_t budget = size_t{1} << 21;
    verava::fuzzing::TCheckingSink sink(budget, true);
    const std::string_view coded(reinterpret_cast<const char*>(data) + 6, size - 6);
    if (verava::DecodeFax(coded, options, width, height, budget, sink)) {
        sink.CheckComplete();
        if (sink.width != width || sink.height != height) verava::fuzzing::Fail("another size");
    }
    return 0;
}
