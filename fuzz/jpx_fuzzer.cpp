// JPEG 2000 data (JP2 or a bare codestream) after one byte that sets the long side to keep,
// 0 to 1020 pixels. The decoder must never crash, stay within its budget, deliver every row
// when it says true, and say what it delivered.
#include <cstdint>
#include <string_view>

#include "codec_fuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 20) return 0;
    const int32_t minLongSide = data[0] * 4;
    const size_t budget = size_t{1} << 22;
    verava::fuzzing::TCheckingSink sink(budget, false);
    verava::TJpxInfo info;
    const std::string_view coded(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (verava::DecodeJpx(coded, minLongSide, budget, sink, &info)) {
        sink.CheckComplete();
        if (sink.components != info.Components) verava::fuzzing::Fail("components misreported");
        if (sink.width > info.FullWidth || sink.height > info.FullHeight) {
            verava::fuzzing::Fail("larger than the full image");
        }
    }
    return 0;
}
