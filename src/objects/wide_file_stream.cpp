#include "objects/wide_file_stream.h"

namespace verava {

bool CanOpen(const std::u16string& fileName, uint16_t mode) {
    try {
        TBrannockWideFileStream stream(fileName, mode);
        return true;
    } catch (const EStreamError&) {
        return false;
    }
}

}  // namespace verava
