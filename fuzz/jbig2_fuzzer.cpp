// An embedded JBIG2 stream and its globals: the first two bytes give the globals' length
// (little-endian), the globals follow, then the page's own segments. The decoder must never
// crash, stay within its budget, and deliver every row when it says true.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "codec_fuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 1 << 20) return 0;
    const size_t globalsSize = std::min<size_t>(size - 2, data[0] | data[1] << 8);
    const auto* bytes = reinterpret_cast<const char*>(data) + 2;
    const std::string_view globals(bytes, globalsSize);
    const std::string_view page(bytes + globalsSize, size - 2 - globalsSize);
    const size_t budget = size_t{1} << 22;
    verava::fuzzing::TCheckingSink sink(budget, true);
    if (verava::DecodeJbig2(page, globals, budget, sink)) sink.CheckComplete();
    return 0;
}
