#include "security/mod3.h"

#include <algorithm>

namespace verava {

int Mod3Of128(std::string_view block) {
    // 256 = 1 (mod 3), so every byte weighs 1 whatever its place: the byte sum has the same
    // remainder as the number.
    const size_t n = std::min<size_t>(block.size(), 16);
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i) sum += static_cast<unsigned char>(block[i]);
    return static_cast<int>(sum % 3);
}

}  // namespace verava
