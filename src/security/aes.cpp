#include "security/aes.h"

#include <cstdint>
#include <cstring>
#include <exception>

#include "objects/platform.h"

namespace verava {
namespace {

// ---- Tables, computed at compile time from the field arithmetic of FIPS 197 section 4 ----

constexpr uint8_t XTime(uint8_t x) {
    return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) != 0 ? 0x1b : 0x00));
}

constexpr uint8_t GfMul(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    while (b != 0) {
        if ((b & 1) != 0) product ^= a;
        a = XTime(a);
        b >>= 1;
    }
    return product;
}

constexpr uint8_t Rotl8(uint8_t x, int n) {
    return static_cast<uint8_t>((x << n) | (x >> (8 - n)));
}

constexpr uint32_t Rotr32(uint32_t x, int n) { return n == 0 ? x : (x >> n) | (x << (32 - n)); }

struct AesTables {
    uint8_t sbox[256];
    uint8_t invSbox[256];
    // te[0][x] holds the MixColumns column (2s, s, s, 3s) for s = S[x], most significant byte
    // first; te[1..3] are its byte rotations, so one round is 16 lookups and XORs.
    uint32_t te[4][256];
    // td[0][x] holds (14s, 9s, 13s, 11s) for s = InvS[x], the InvMixColumns column.
    uint32_t td[4][256];
};

constexpr AesTables MakeTables() {
    AesTables t{};
    // Walk the multiplicative group with generator 3 to get inverses (FIPS 197 5.1.1), then
    // apply the affine transformation.
    uint8_t power[255] = {};
    uint8_t log[256] = {};
    uint8_t x = 1;
    for (int i = 0; i < 255; ++i) {
        power[i] = x;
        log[x] = static_cast<uint8_t>(i);
        x = static_cast<uint8_t>(x ^ XTime(x));
    }
    for (int v = 0; v < 256; ++v) {
        const uint8_t inverse = v == 0 ? 0 : power[(255 - log[v]) % 255];
        const uint8_t s = static_cast<uint8_t>(inverse ^ Rotl8(inverse, 1) ^ Rotl8(inverse, 2) ^
                                               Rotl8(inverse, 3) ^ Rotl8(inverse, 4) ^ 0x63);
        t.sbox[v] = s;
        t.invSbox[s] = static_cast<uint8_t>(v);
    }
    for (int v = 0; v < 256; ++v) {
        const uint8_t s = t.sbox[v];
        const uint32_t e = uint32_t(GfMul(s, 2)) << 24 | uint32_t(s) << 16 | uint32_t(s) << 8 |
                           uint32_t(GfMul(s, 3));
        const uint8_t i = t.invSbox[v];
        const uint32_t d = uint32_t(GfMul(i, 14)) << 24 | uint32_t(GfMul(i, 9)) << 16 |
                           uint32_t(GfMul(i, 13)) << 8 | uint32_t(GfMul(i, 11));
        for (int r = 0; r < 4; ++r) {
            t.te[r][v] = Rotr32(e, 8 * r);
            t.td[r][v] = Rotr32(d, 8 * r);
        }
    }
    return t;
}

constexpr AesTables kTables = MakeTables();

constexpr auto& kSbox = kTables.sbox;
constexpr auto& kInvSbox = kTables.invSbox;
constexpr auto& kTe = kTables.te;
constexpr auto& kTd = kTables.td;

inline uint32_t LoadBe32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

inline void StoreBe32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

inline uint32_t SubWord(uint32_t w) {
    return uint32_t(kSbox[w >> 24]) << 24 | uint32_t(kSbox[(w >> 16) & 0xff]) << 16 |
           uint32_t(kSbox[(w >> 8) & 0xff]) << 8 | uint32_t(kSbox[w & 0xff]);
}

inline unsigned Byte(uint32_t w, int index) { return (w >> (24 - 8 * index)) & 0xff; }

// One expanded key: 4 * (rounds + 1) words.
struct KeySchedule {
    uint32_t words[60];
    int rounds = 0;

    ~KeySchedule() {
        volatile uint32_t* p = words;
        for (int i = 0; i < 60; ++i) p[i] = 0;
    }
};

// FIPS 197 section 5.2. False for key lengths other than 16, 24 and 32 bytes.
bool ExpandEncryptKey(std::string_view key, KeySchedule& ks) {
    if (key.size() != 16 && key.size() != 24 && key.size() != 32) return false;
    const int nk = static_cast<int>(key.size() / 4);
    ks.rounds = nk + 6;
    const int total = 4 * (ks.rounds + 1);
    const auto* k = reinterpret_cast<const unsigned char*>(key.data());
    for (int i = 0; i < nk; ++i) ks.words[i] = LoadBe32(k + 4 * i);
    uint8_t rcon = 0x01;
    for (int i = nk; i < total; ++i) {
        uint32_t temp = ks.words[i - 1];
        if (i % nk == 0) {
            temp = SubWord((temp << 8) | (temp >> 24)) ^ (uint32_t(rcon) << 24);
            rcon = XTime(rcon);
        } else if (nk > 6 && i % nk == 4) {
            temp = SubWord(temp);
        }
        ks.words[i] = ks.words[i - nk] ^ temp;
    }
    return true;
}

// The equivalent inverse cipher's schedule (FIPS 197 section 5.3.5): round keys in reverse
// order, InvMixColumns applied to all but the first and last so decryption can use the same
// table-driven round shape as encryption.
bool ExpandDecryptKey(std::string_view key, KeySchedule& ks) {
    KeySchedule enc;
    if (!ExpandEncryptKey(key, enc)) return false;
    ks.rounds = enc.rounds;
    const int nr = enc.rounds;
    for (int r = 0; r <= nr; ++r) {
        for (int c = 0; c < 4; ++c) {
            const uint32_t w = enc.words[4 * (nr - r) + c];
            if (r == 0 || r == nr) {
                ks.words[4 * r + c] = w;
            } else {
                // td[..][S[b]] is InvMixColumns of b alone, as td includes InvS.
                ks.words[4 * r + c] = kTd[0][kSbox[Byte(w, 0)]] ^ kTd[1][kSbox[Byte(w, 1)]] ^
                                      kTd[2][kSbox[Byte(w, 2)]] ^ kTd[3][kSbox[Byte(w, 3)]];
            }
        }
    }
    return true;
}

// One block through the table-driven rounds, state held as four big-endian column words.
// Encryption and the equivalent inverse cipher share the shape: row i of output column c comes
// from input column c + i * kStep (ShiftRows, step 1) or c - i (InvShiftRows, step 3).
template <int kStep>
void CipherBlock(const KeySchedule& ks, const uint32_t (&table)[4][256], const uint8_t (&sbox)[256],
                 const uint32_t in[4], uint32_t out[4]) {
    // Column c of a round from a, b, c, d: the input columns c, c + kStep, c + 2 * kStep and
    // c + 3 * kStep, in that order.
    auto mix = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) {
        return table[0][a >> 24] ^ table[1][(b >> 16) & 0xff] ^ table[2][(c >> 8) & 0xff] ^
               table[3][d & 0xff] ^ key;
    };
    auto last = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) {
        return (uint32_t(sbox[a >> 24]) << 24 | uint32_t(sbox[(b >> 16) & 0xff]) << 16 |
                uint32_t(sbox[(c >> 8) & 0xff]) << 8 | uint32_t(sbox[d & 0xff])) ^
               key;
    };
    const uint32_t* rk = ks.words;
    uint32_t s[4] = {in[0] ^ rk[0], in[1] ^ rk[1], in[2] ^ rk[2], in[3] ^ rk[3]};
    constexpr int k1 = kStep & 3, k2 = (2 * kStep) & 3, k3 = (3 * kStep) & 3;
    for (int r = 1; r < ks.rounds; ++r) {
        rk += 4;
        const uint32_t t0 = mix(s[0], s[k1], s[k2], s[k3], rk[0]);
        const uint32_t t1 = mix(s[1], s[(1 + k1) & 3], s[(1 + k2) & 3], s[(1 + k3) & 3], rk[1]);
        const uint32_t t2 = mix(s[2], s[(2 + k1) & 3], s[(2 + k2) & 3], s[(2 + k3) & 3], rk[2]);
        const uint32_t t3 = mix(s[3], s[(3 + k1) & 3], s[(3 + k2) & 3], s[(3 + k3) & 3], rk[3]);
        s[0] = t0;
        s[1] = t1;
        s[2] = t2;
        s[3] = t3;
    }
    rk += 4;
    // The last round has no (Inv)MixColumns.
    out[0] = last(s[0], s[k1], s[k2], s[k3], rk[0]);
    out[1] = last(s[1], s[(1 + k1) & 3], s[(1 + k2) & 3], s[(1 + k3) & 3], rk[1]);
    out[2] = last(s[2], s[(2 + k1) & 3], s[(2 + k2) & 3], s[(2 + k3) & 3], rk[2]);
    out[3] = last(s[3], s[(3 + k1) & 3], s[(3 + k2) & 3], s[(3 + k3) & 3], rk[3]);
}

void EncryptBlock(const KeySchedule& ks, const uint32_t in[4], uint32_t out[4]) {
    CipherBlock<1>(ks, kTe, kSbox, in, out);
}

void DecryptBlock(const KeySchedule& ks, const uint32_t in[4], uint32_t out[4]) {
    CipherBlock<3>(ks, kTd, kInvSbox, in, out);
}

inline void LoadBlock(const unsigned char* p, uint32_t w[4]) {
    for (int i = 0; i < 4; ++i) w[i] = LoadBe32(p + 4 * i);
}

inline void StoreBlock(unsigned char* p, const uint32_t w[4]) {
    for (int i = 0; i < 4; ++i) StoreBe32(p + 4 * i, w[i]);
}

// CBC encryption of `length` bytes (whole blocks) from `in` to `out`; the two may be the same.
void CbcEncrypt(const KeySchedule& ks, const unsigned char* iv, const unsigned char* in,
                unsigned char* out, size_t length) {
    uint32_t chain[4];
    LoadBlock(iv, chain);
    for (size_t pos = 0; pos < length; pos += 16) {
        uint32_t block[4];
        LoadBlock(in + pos, block);
        for (int i = 0; i < 4; ++i) block[i] ^= chain[i];
        EncryptBlock(ks, block, chain);
        StoreBlock(out + pos, chain);
    }
}

// CBC decryption; `in` and `out` may be the same buffer.
void CbcDecrypt(const KeySchedule& ks, const unsigned char* iv, const unsigned char* in,
                unsigned char* out, size_t length) {
    uint32_t chain[4];
    LoadBlock(iv, chain);
    for (size_t pos = 0; pos < length; pos += 16) {
        uint32_t cipher[4];
        uint32_t plain[4];
        LoadBlock(in + pos, cipher);
        DecryptBlock(ks, cipher, plain);
        for (int i = 0; i < 4; ++i) plain[i] ^= chain[i];
        StoreBlock(out + pos, plain);
        std::memcpy(chain, cipher, sizeof chain);
    }
}

inline const unsigned char* Bytes(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

inline unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }

}  // namespace

std::string AesCbcEncrypt(std::string_view key, std::string_view iv, std::string_view data) {
    if (iv.size() != 16 || data.size() % 16 != 0) return {};
    KeySchedule ks;
    if (!ExpandEncryptKey(key, ks)) return {};
    std::string out(data.size(), '\0');
    CbcEncrypt(ks, Bytes(iv), Bytes(data), Bytes(out), data.size());
    return out;
}

std::string AesCbcDecrypt(std::string_view key, std::string_view iv, std::string_view data) {
    if (iv.size() != 16 || data.size() % 16 != 0) return {};
    KeySchedule ks;
    if (!ExpandDecryptKey(key, ks)) return {};
    std::string out(data.size(), '\0');
    CbcDecrypt(ks, Bytes(iv), Bytes(data), Bytes(out), data.size());
    return out;
}

std::string AesEncryptWithIV(std::string_view key, std::string_view plaintext) {
    KeySchedule ks;
    if (!ExpandEncryptKey(key, ks)) return {};
    // PKCS#7: always 1..16 bytes, a whole block when the length is already aligned, so the
    // reader can always strip it.
    const size_t padding = 16 - plaintext.size() % 16;
    std::string out(16 + plaintext.size() + padding, static_cast<char>(padding));
    try {
        // The IV must be unpredictable (SP 800-38A appendix C), so it comes from the OS.
        RandomBytes(out.data(), 16);
    } catch (const std::exception&) {
        return {};
    }
    if (!plaintext.empty()) std::memcpy(out.data() + 16, plaintext.data(), plaintext.size());
    CbcEncrypt(ks, Bytes(out), Bytes(out) + 16, Bytes(out) + 16, out.size() - 16);
    return out;
}

std::string AesDecryptWithIV(std::string_view key, std::string_view data) {
    if (data.size() < 17 || (data.size() - 16) % 16 != 0) return {};
    KeySchedule ks;
    if (!ExpandDecryptKey(key, ks)) return {};
    std::string plain(data.size() - 16, '\0');
    CbcDecrypt(ks, Bytes(data), Bytes(data) + 16, Bytes(plain), plain.size());
    const unsigned pad = static_cast<unsigned char>(plain.back());
    if (pad < 1 || pad > 16) return {};
    for (size_t i = plain.size() - pad; i < plain.size(); ++i) {
        if (static_cast<unsigned char>(plain[i]) != pad) return {};
    }
    plain.resize(plain.size() - pad);
    return plain;
}

}  // namespace verava
