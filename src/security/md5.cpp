#include "security/md5.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace verava {
namespace {

// T[i] = floor(2^32 * |sin(i + 1)|), RFC 1321 section 3.4.
constexpr uint32_t kT[64] = {
    0xd76aa478u, 0xe8c7b756u, 0x242070dbu, 0xc1bdceeeu, 0xf57c0fafu, 0x4787c62au, 0xa8304613u,
    0xfd469501u, 0x698098d8u, 0x8b44f7afu, 0xffff5bb1u, 0x895cd7beu, 0x6b901122u, 0xfd987193u,
    0xa679438eu, 0x49b40821u, 0xf61e2562u, 0xc040b340u, 0x265e5a51u, 0xe9b6c7aau, 0xd62f105du,
    0x02441453u, 0xd8a1e681u, 0xe7d3fbc8u, 0x21e1cde6u, 0xc33707d6u, 0xf4d50d87u, 0x455a14edu,
    0xa9e3e905u, 0xfcefa3f8u, 0x676f02d9u, 0x8d2a4c8au, 0xfffa3942u, 0x8771f681u, 0x6d9d6122u,
    0xfde5380cu, 0xa4beea44u, 0x4bdecfa9u, 0xf6bb4b60u, 0xbebfbc70u, 0x289b7ec6u, 0xeaa127fau,
    0xd4ef3085u, 0x04881d05u, 0xd9d4d039u, 0xe6db99e5u, 0x1fa27cf8u, 0xc4ac5665u, 0xf4292244u,
    0x432aff97u, 0xab9423a7u, 0xfc93a039u, 0x655b59c3u, 0x8f0ccc92u, 0xffeff47du, 0x85845dd1u,
    0x6fa87e4fu, 0xfe2ce6e0u, 0xa3014314u, 0x4e0811a1u, 0xf7537e82u, 0xbd3af235u, 0x2ad7d2bbu,
    0xeb86d391u,
};

inline uint32_t Rotl(uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

inline uint32_t LoadLe32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void StoreLe32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// The four auxiliary functions of RFC 1321 section 3.4, one step each.
inline uint32_t StepF(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, uint32_t t,
                      int s) {
    return b + Rotl(a + (d ^ (b & (c ^ d))) + x + t, s);
}
inline uint32_t StepG(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, uint32_t t,
                      int s) {
    return b + Rotl(a + (c ^ (d & (b ^ c))) + x + t, s);
}
inline uint32_t StepH(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, uint32_t t,
                      int s) {
    return b + Rotl(a + (b ^ c ^ d) + x + t, s);
}
inline uint32_t StepI(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, uint32_t t,
                      int s) {
    return b + Rotl(a + (c ^ (b | ~d)) + x + t, s);
}

class Md5Context {
  public:
    void Update(const unsigned char* data, size_t length) {
        total_ += length;
        if (used_ > 0) {
            const size_t take = std::min(length, sizeof buffer_ - used_);
            std::memcpy(buffer_ + used_, data, take);
            used_ += take;
            data += take;
            length -= take;
            if (used_ < sizeof buffer_) return;
            Transform(buffer_);
            used_ = 0;
        }
        for (; length >= 64; data += 64, length -= 64) Transform(data);
        if (length > 0) {
            std::memcpy(buffer_, data, length);
            used_ = length;
        }
    }

    void Final(unsigned char digest[16]) {
        // Append 0x80, zeros up to 56 mod 64, then the bit length low word first.
        const uint64_t bits = total_ * 8;
        unsigned char pad[72] = {0x80};
        const size_t padLength = (used_ < 56 ? 56 : 120) - used_;
        for (int i = 0; i < 8; ++i)
            pad[padLength + i] = static_cast<unsigned char>(bits >> (8 * i));
        Update(pad, padLength + 8);
        for (int i = 0; i < 4; ++i) StoreLe32(digest + 4 * i, state_[i]);
    }

  private:
    void Transform(const unsigned char* block) {
        uint32_t x[16];
        for (int i = 0; i < 16; ++i) x[i] = LoadLe32(block + 4 * i);
        uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
        for (int i = 0; i < 16; i += 4) {
            a = StepF(a, b, c, d, x[i], kT[i], 7);
            d = StepF(d, a, b, c, x[i + 1], kT[i + 1], 12);
            c = StepF(c, d, a, b, x[i + 2], kT[i + 2], 17);
            b = StepF(b, c, d, a, x[i + 3], kT[i + 3], 22);
        }
        for (int i = 16; i < 32; i += 4) {
            a = StepG(a, b, c, d, x[(5 * i + 1) & 15], kT[i], 5);
            d = StepG(d, a, b, c, x[(5 * i + 6) & 15], kT[i + 1], 9);
            c = StepG(c, d, a, b, x[(5 * i + 11) & 15], kT[i + 2], 14);
            b = StepG(b, c, d, a, x[(5 * i + 16) & 15], kT[i + 3], 20);
        }
        for (int i = 32; i < 48; i += 4) {
            a = StepH(a, b, c, d, x[(3 * i + 5) & 15], kT[i], 4);
            d = StepH(d, a, b, c, x[(3 * i + 8) & 15], kT[i + 1], 11);
            c = StepH(c, d, a, b, x[(3 * i + 11) & 15], kT[i + 2], 16);
            b = StepH(b, c, d, a, x[(3 * i + 14) & 15], kT[i + 3], 23);
        }
        for (int i = 48; i < 64; i += 4) {
            a = StepI(a, b, c, d, x[(7 * i) & 15], kT[i], 6);
            d = StepI(d, a, b, c, x[(7 * i + 7) & 15], kT[i + 1], 10);
            c = StepI(c, d, a, b, x[(7 * i + 14) & 15], kT[i + 2], 15);
            b = StepI(b, c, d, a, x[(7 * i + 21) & 15], kT[i + 3], 21);
        }
        state_[0] += a;
        state_[1] += b;
        state_[2] += c;
        state_[3] += d;
    }

    uint32_t state_[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
    unsigned char buffer_[64] = {};
    size_t used_ = 0;
    uint64_t total_ = 0;
};

}  // namespace

std::string Md5(std::string_view data) {
    Md5Context context;
    context.Update(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    std::string digest(16, '\0');
    context.Final(reinterpret_cast<unsigned char*>(digest.data()));
    return digest;
}

std::string Md5Hex(std::string_view digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(digest.size() * 2);
    for (unsigned char byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

}  // namespace verava
