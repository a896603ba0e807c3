#include "objects/stream_filters.h"

#include <zlib.h>

#include "objects/pdf_object.h"

namespace verava {

std::string FlateEncode(std::string_view data) {
    if (data.empty()) return {};
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK) {
        return {};
    }
    out.resize(size);
    return out;
}

// Interim: the decode chain lands with the filters work; until then data pass unchanged.
std::string DecodeStreamData(const TPDFStream& stream) { return std::string(stream.Data()); }

}  // namespace verava
