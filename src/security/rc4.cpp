#include "security/rc4.h"

#include <cstdint>

namespace verava {

std::string Rc4(std::string_view key, std::string_view data) {
    // The key schedule repeats the key over 256 bytes; with no key bytes there is nothing to
    // repeat, and returning the plaintext would pass it off as encrypted.
    if (key.empty()) return {};
    uint8_t s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
    uint8_t j = 0;
    size_t k = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<uint8_t>(j + s[i] + static_cast<uint8_t>(key[k]));
        if (++k == key.size()) k = 0;
        const uint8_t t = s[i];
        s[i] = s[j];
        s[j] = t;
    }
    std::string out(data.size(), '\0');
    uint8_t x = 0;
    uint8_t y = 0;
    for (size_t n = 0; n < data.size(); ++n) {
        x = static_cast<uint8_t>(x + 1);
        const uint8_t sx = s[x];
        y = static_cast<uint8_t>(y + sx);
        const uint8_t sy = s[y];
        s[x] = sy;
        s[y] = sx;
        out[n] =
            static_cast<char>(static_cast<uint8_t>(data[n]) ^ s[static_cast<uint8_t>(sx + sy)]);
    }
    volatile uint8_t* wipe = s;
    for (int i = 0; i < 256; ++i) wipe[i] = 0;
    return out;
}

}  // namespace verava
