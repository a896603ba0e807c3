#include "security/sha2.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace verava {
namespace {

// FIPS 180-4 section 4.2.3: the first 64 bits of the fractional parts of the cube roots of
// the first 80 primes. SHA-256 uses the upper 32 bits of the first 64 (section 4.2.2).
constexpr uint64_t kK512[80] = {
    0x428a2f98d728ae22ULL, 0x7137449123ef65cdULL, 0xb5c0fbcfec4d3b2fULL, 0xe9b5dba58189dbbcULL,
    0x3956c25bf348b538ULL, 0x59f111f1b605d019ULL, 0x923f82a4af194f9bULL, 0xab1c5ed5da6d8118ULL,
    0xd807aa98a3030242ULL, 0x12835b0145706fbeULL, 0x243185be4ee4b28cULL, 0x550c7dc3d5ffb4e2ULL,
    0x72be5d74f27b896fULL, 0x80deb1fe3b1696b1ULL, 0x9bdc06a725c71235ULL, 0xc19bf174cf692694ULL,
    0xe49b69c19ef14ad2ULL, 0xefbe4786384f25e3ULL, 0x0fc19dc68b8cd5b5ULL, 0x240ca1cc77ac9c65ULL,
    0x2de92c6f592b0275ULL, 0x4a7484aa6ea6e483ULL, 0x5cb0a9dcbd41fbd4ULL, 0x76f988da831153b5ULL,
    0x983e5152ee66dfabULL, 0xa831c66d2db43210ULL, 0xb00327c898fb213fULL, 0xbf597fc7beef0ee4ULL,
    0xc6e00bf33da88fc2ULL, 0xd5a79147930aa725ULL, 0x06ca6351e003826fULL, 0x142929670a0e6e70ULL,
    0x27b70a8546d22ffcULL, 0x2e1b21385c26c926ULL, 0x4d2c6dfc5ac42aedULL, 0x53380d139d95b3dfULL,
    0x650a73548baf63deULL, 0x766a0abb3c77b2a8ULL, 0x81c2c92e47edaee6ULL, 0x92722c851482353bULL,
    0xa2bfe8a14cf10364ULL, 0xa81a664bbc423001ULL, 0xc24b8b70d0f89791ULL, 0xc76c51a30654be30ULL,
    0xd192e819d6ef5218ULL, 0xd69906245565a910ULL, 0xf40e35855771202aULL, 0x106aa07032bbd1b8ULL,
    0x19a4c116b8d2d0c8ULL, 0x1e376c085141ab53ULL, 0x2748774cdf8eeb99ULL, 0x34b0bcb5e19b48a8ULL,
    0x391c0cb3c5c95a63ULL, 0x4ed8aa4ae3418acbULL, 0x5b9cca4f7763e373ULL, 0x682e6ff3d6b2b8a3ULL,
    0x748f82ee5defb2fcULL, 0x78a5636f43172f60ULL, 0x84c87814a1f0ab72ULL, 0x8cc702081a6439ecULL,
    0x90befffa23631e28ULL, 0xa4506cebde82bde9ULL, 0xbef9a3f7b2c67915ULL, 0xc67178f2e372532bULL,
    0xca273eceea26619cULL, 0xd186b8c721c0c207ULL, 0xeada7dd6cde0eb1eULL, 0xf57d4f7fee6ed178ULL,
    0x06f067aa72176fbaULL, 0x0a637dc5a2c898a6ULL, 0x113f9804bef90daeULL, 0x1b710b35131c471bULL,
    0x28db77f523047d84ULL, 0x32caab7b40c72493ULL, 0x3c9ebe0a15c9bebcULL, 0x431d67c49c100d4cULL,
    0x4cc5d4becb3e42b6ULL, 0x597f299cfc657e2aULL, 0x5fcb6fab3ad6faecULL, 0x6c44198c4a475817ULL,
};

// SHA-256's constants are the upper halves of SHA-512's first 64 (FIPS 180-4 4.2.2).
constexpr std::array<uint32_t, 64> BuildK256() {
    std::array<uint32_t, 64> k{};
    for (size_t i = 0; i < k.size(); ++i) k[i] = static_cast<uint32_t>(kK512[i] >> 32);
    return k;
}
constexpr std::array<uint32_t, 64> kK256 = BuildK256();
static_assert(kK256[0] == 0x428a2f98u && kK256[63] == 0xc67178f2u);

// Initial hash values, FIPS 180-4 sections 5.3.3-5.3.5.
constexpr uint32_t kH256[8] = {0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au,
                               0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u};
constexpr uint64_t kH384[8] = {0xcbbb9d5dc1059ed8ULL, 0x629a292a367cd507ULL, 0x9159015a3070dd17ULL,
                               0x152fecd8f70e5939ULL, 0x67332667ffc00b31ULL, 0x8eb44a8768581511ULL,
                               0xdb0c2e0d64f98fa7ULL, 0x47b5481dbefa4fa4ULL};
constexpr uint64_t kH512[8] = {0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL,
                               0xa54ff53a5f1d36f1ULL, 0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL,
                               0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL};

inline uint32_t LoadBe32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline uint64_t LoadBe64(const unsigned char* p) {
    return uint64_t(LoadBe32(p)) << 32 | LoadBe32(p + 4);
}
inline void StoreBe32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}
inline void StoreBe64(unsigned char* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (56 - 8 * i));
}

// The two word sizes of SHA-2 differ only in these: rotation and shift amounts (FIPS 180-4
// 4.1.2 and 4.1.3), round count and constants.
struct Sha256Rounds {
    using Word = uint32_t;
    static constexpr int kRounds = 64;
    static constexpr int kSmallSigma0[3] = {7, 18, 3};  // rotate, rotate, shift
    static constexpr int kSmallSigma1[3] = {17, 19, 10};
    static constexpr int kSum0[3] = {2, 13, 22};  // three rotations
    static constexpr int kSum1[3] = {6, 11, 25};
    static constexpr const uint32_t* kK = kK256.data();
    static Word Load(const unsigned char* p) { return LoadBe32(p); }
};

struct Sha512Rounds {
    using Word = uint64_t;
    static constexpr int kRounds = 80;
    static constexpr int kSmallSigma0[3] = {1, 8, 7};
    static constexpr int kSmallSigma1[3] = {19, 61, 6};
    static constexpr int kSum0[3] = {28, 34, 39};
    static constexpr int kSum1[3] = {14, 18, 41};
    static constexpr const uint64_t* kK = kK512;
    static Word Load(const unsigned char* p) { return LoadBe64(p); }
};

// One block of the compression function (FIPS 180-4 6.2.2 and 6.4.2).
template <typename P>
void Sha2Compress(typename P::Word (&state)[8], const unsigned char* block) {
    using Word = typename P::Word;
    constexpr int kBits = 8 * sizeof(Word);
    auto rotr = [](Word x, int n) { return (x >> n) | (x << (kBits - n)); };
    auto smallSigma = [&](Word x, const int(&n)[3]) {
        return rotr(x, n[0]) ^ rotr(x, n[1]) ^ (x >> n[2]);
    };
    auto sum = [&](Word x, const int(&n)[3]) {
        return rotr(x, n[0]) ^ rotr(x, n[1]) ^ rotr(x, n[2]);
    };

    Word w[P::kRounds];
    for (int t = 0; t < 16; ++t) w[t] = P::Load(block + sizeof(Word) * t);
    for (int t = 16; t < P::kRounds; ++t) {
        w[t] = w[t - 16] + smallSigma(w[t - 15], P::kSmallSigma0) + w[t - 7] +
               smallSigma(w[t - 2], P::kSmallSigma1);
    }
    Word a = state[0], b = state[1], c = state[2], d = state[3];
    Word e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < P::kRounds; ++t) {
        const Word choose = g ^ (e & (f ^ g));
        const Word t1 = h + sum(e, P::kSum1) + choose + P::kK[t] + w[t];
        const Word majority = (a & b) | (c & (a | b));
        const Word t2 = sum(a, P::kSum0) + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    const Word result[8] = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i) state[i] += result[i];
}

// Wipes key-dependent state in a way the optimiser may not drop as a dead store.
void Wipe(void* p, size_t n) {
    auto* v = static_cast<volatile unsigned char*>(p);
    while (n-- > 0) *v++ = 0;
}

// Shared buffering of the two block sizes: fills the partial block, compresses whole blocks
// straight from the input, keeps the tail.
template <size_t kBlock, typename CompressFn>
void Absorb(unsigned char (&buffer)[kBlock], size_t& used, const unsigned char* data, size_t length,
            CompressFn compress) {
    if (used > 0) {
        const size_t take = std::min(length, kBlock - used);
        std::memcpy(buffer + used, data, take);
        used += take;
        data += take;
        length -= take;
        if (used < kBlock) return;
        compress(buffer);
        used = 0;
    }
    for (; length >= kBlock; data += kBlock, length -= kBlock) compress(data);
    if (length > 0) {
        std::memcpy(buffer, data, length);
        used = length;
    }
}

template <typename Hash>
std::string OneShot(std::string_view data) {
    Hash hash;
    hash.Init();
    hash.UpdateStr(data);
    std::string digest(hash.DigestSize(), '\0');
    hash.Final(reinterpret_cast<unsigned char*>(digest.data()));
    return digest;
}

}  // namespace

void TDCP_hash::RequireInitialized() const {
    if (!initialized_) throw EDCP_hash("Hash not initialized");
}

// ---- SHA-256 ----

TDCP_sha256::~TDCP_sha256() { Burn(); }

void TDCP_sha256::Init() {
    Burn();
    std::copy(std::begin(kH256), std::end(kH256), state_);
    initialized_ = true;
}

void TDCP_sha256::Burn() {
    Wipe(state_, sizeof state_);
    Wipe(buffer_, sizeof buffer_);
    used_ = 0;
    totalBytes_ = 0;
    initialized_ = false;
}

void TDCP_sha256::Update(const unsigned char* buffer, size_t size) {
    RequireInitialized();
    if (size == 0) return;
    totalBytes_ += size;
    Absorb(buffer_, used_, buffer, size, [this](const unsigned char* block) { Compress(block); });
}

void TDCP_sha256::Final(unsigned char* digest) {
    RequireInitialized();
    // FIPS 180-4 5.1.1: 0x80, zeros to 56 mod 64, then the bit length big-endian.
    const uint64_t bits = totalBytes_ * 8;
    unsigned char pad[72] = {0x80};
    const size_t padLength = (used_ < 56 ? 56 : 120) - used_;
    StoreBe64(pad + padLength, bits);
    Update(pad, padLength + 8);
    for (int i = 0; i < 8; ++i) StoreBe32(digest + 4 * i, state_[i]);
    Burn();
}

void TDCP_sha256::Compress(const unsigned char* block) {
    Sha2Compress<Sha256Rounds>(state_, block);
}

// ---- SHA-384 / SHA-512 ----

TDCP_sha512base::~TDCP_sha512base() { Burn(); }

void TDCP_sha512base::Start(const uint64_t (&initial)[8]) {
    Burn();
    std::copy(std::begin(initial), std::end(initial), state_);
    initialized_ = true;
}

void TDCP_sha512base::Burn() {
    Wipe(state_, sizeof state_);
    Wipe(buffer_, sizeof buffer_);
    used_ = 0;
    totalLow_ = 0;
    totalHigh_ = 0;
    initialized_ = false;
}

void TDCP_sha512base::Update(const unsigned char* buffer, size_t size) {
    RequireInitialized();
    if (size == 0) return;
    const uint64_t before = totalLow_;
    totalLow_ += size;
    if (totalLow_ < before) ++totalHigh_;
    Absorb(buffer_, used_, buffer, size, [this](const unsigned char* block) { Compress(block); });
}

void TDCP_sha512base::Final(unsigned char* digest) {
    RequireInitialized();
    // FIPS 180-4 5.1.2: 0x80, zeros to 112 mod 128, then the 128-bit bit length big-endian.
    const uint64_t bitsHigh = (totalHigh_ << 3) | (totalLow_ >> 61);
    const uint64_t bitsLow = totalLow_ << 3;
    unsigned char pad[144] = {0x80};
    const size_t padLength = (used_ < 112 ? 112 : 240) - used_;
    StoreBe64(pad + padLength, bitsHigh);
    StoreBe64(pad + padLength + 8, bitsLow);
    Update(pad, padLength + 16);
    // SHA-384 is SHA-512 with other initial values, truncated to six words.
    unsigned char full[64];
    for (int i = 0; i < 8; ++i) StoreBe64(full + 8 * i, state_[i]);
    std::memcpy(digest, full, DigestSize());
    Wipe(full, sizeof full);
    Burn();
}

void TDCP_sha512base::Compress(const unsigned char* block) {
    Sha2Compress<Sha512Rounds>(state_, block);
}

void TDCP_sha384::Init() { Start(kH384); }

void TDCP_sha512::Init() { Start(kH512); }

std::string Sha256(std::string_view data) { return OneShot<TDCP_sha256>(data); }
std::string Sha384(std::string_view data) { return OneShot<TDCP_sha384>(data); }
std::string Sha512(std::string_view data) { return OneShot<TDCP_sha512>(data); }

}  // namespace verava
