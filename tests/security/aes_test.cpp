#include "security/aes.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "objects/platform.h"
#include "support/bytes.h"

namespace verava {
namespace {

using testing::FromHex;
using testing::ToHex;

// NIST SP 800-38A appendix F.2: one IV and plaintext for all three key sizes.
const std::string kIv = FromHex("000102030405060708090a0b0c0d0e0f");
const std::string kPlain = FromHex(
    "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710");

struct CbcVector {
    const char* name;
    const char* key;
    const char* cipher;
};

const CbcVector kCbcVectors[] = {
    {"F.2.1/F.2.2 CBC-AES128", "2b7e151628aed2a6abf7158809cf4f3c",
     "7649abac8119b246cee98e9b12e9197d 5086cb9b507219ee95db113a917678b2"
     "73bed6b8e3c1743b7116e69e22229516 3ff1caa1681fac09120eca307586e1a7"},
    {"F.2.3/F.2.4 CBC-AES192", "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
     "4f021db243bc633d7178183a9fa071e8 b4d9ada9ad7dedf4e5e738763f69145a"
     "571b242012fb7ae07fa9baac3df102e0 08b0e27988598881d920a9e64f5615cd"},
    {"F.2.5/F.2.6 CBC-AES256", "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
     "f58c4c04d6e5f1ba779eabfb5f7bfbd6 9cfc4e967edb808d679f777bc6702c7d"
     "39f23369a9d9bacfa530e26304231461 b2eb05e2c39be9fcda6c19078c6a9d1b"},
};

TEST(AesCbcTest, EncryptsSp80038aVectors) {
    for (const auto& v : kCbcVectors) {
        EXPECT_EQ(ToHex(AesCbcEncrypt(FromHex(v.key), kIv, kPlain)), ToHex(FromHex(v.cipher)))
            << v.name;
    }
}

TEST(AesCbcTest, DecryptsSp80038aVectors) {
    for (const auto& v : kCbcVectors) {
        EXPECT_EQ(ToHex(AesCbcDecrypt(FromHex(v.key), kIv, FromHex(v.cipher))), ToHex(kPlain))
            << v.name;
    }
}

TEST(AesCbcTest, SingleBlockWithZeroIvMatchesFips197Examples) {
    // FIPS 197 appendix C: with a zero IV one CBC block is the bare cipher.
    const std::string zeroIv(16, '\0');
    const std::string plain = FromHex("00112233445566778899aabbccddeeff");
    const struct {
        const char* key;
        const char* cipher;
    } cases[] = {
        {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "8ea2b7ca516745bfeafc49904b496089"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToHex(AesCbcEncrypt(FromHex(c.key), zeroIv, plain)), c.cipher) << c.key;
        EXPECT_EQ(ToHex(AesCbcDecrypt(FromHex(c.key), zeroIv, FromHex(c.cipher))), ToHex(plain))
            << c.key;
    }
}

TEST(AesCbcTest, RefusesMalformedInputWithEmptyResult) {
    const std::string key = FromHex(kCbcVectors[0].key);
    {
        // Data that is not whole blocks.
        for (size_t n : {1u, 15u, 17u, 31u, 33u}) {
            const std::string data(n, 'x');
            EXPECT_EQ(AesCbcEncrypt(key, kIv, data), "") << n;
            EXPECT_EQ(AesCbcDecrypt(key, kIv, data), "") << n;
        }
    }
    {
        // Key lengths other than 16, 24 and 32 bytes.
        for (size_t n : {0u, 5u, 15u, 17u, 23u, 25u, 31u, 33u, 64u}) {
            const std::string badKey(n, 'k');
            EXPECT_EQ(AesCbcEncrypt(badKey, kIv, kPlain), "") << n;
            EXPECT_EQ(AesCbcDecrypt(badKey, kIv, kPlain), "") << n;
        }
    }
    {
        // IVs that are not one block.
        for (size_t n : {0u, 8u, 15u, 17u, 32u}) {
            const std::string badIv(n, 'i');
            EXPECT_EQ(AesCbcEncrypt(key, badIv, kPlain), "") << n;
            EXPECT_EQ(AesCbcDecrypt(key, badIv, kPlain), "") << n;
        }
    }
    {
        // No data is zero whole blocks.
        EXPECT_EQ(AesCbcEncrypt(key, kIv, ""), "");
        EXPECT_EQ(AesCbcDecrypt(key, kIv, ""), "");
    }
}

// Replaces the OS random source with a fixed IV for the scope of the object.
class FixedRandom {
  public:
    explicit FixedRandom(std::string bytes)
        : bytes_(std::move(bytes)), override_([this](void* out, size_t count) {
              for (size_t i = 0; i < count; ++i) {
                  static_cast<char*>(out)[i] = bytes_[i % bytes_.size()];
              }
          }) {}

  private:
    std::string bytes_;
    ScopedRandomOverride override_;
};

TEST(AesWithIvTest, PrependsRandomIvAndPadsPerPkcs7) {
    const std::string iv = FromHex("000102030405060708090a0b0c0d0e0f");
    FixedRandom random(iv);
    {
        // A whole block of plaintext gets a whole block of padding: 16 + 16 + 16 bytes.
        // Expected ciphertext from `openssl enc -aes-128-cbc`, which pads the same way.
        const std::string out = AesEncryptWithIV(FromHex(kCbcVectors[0].key), kPlain.substr(0, 16));
        ASSERT_EQ(out.size(), 48u);
        EXPECT_EQ(out.substr(0, 16), iv);
        EXPECT_EQ(ToHex(out.substr(16)),
                  "7649abac8119b246cee98e9b12e9197d8964e0b149c10b7b682e6e39aaeb731c");
    }
    {
        // Empty plaintext: IV plus one block of sixteen 16s (openssl, AES-192).
        const std::string out = AesEncryptWithIV(FromHex(kCbcVectors[1].key), "");
        ASSERT_EQ(out.size(), 32u);
        EXPECT_EQ(ToHex(out.substr(16)), "848a6fa7d2b3567bf57371a1a030e9de");
    }
}

TEST(AesWithIvTest, PadsShortPlaintextToOneBlock) {
    // Ten bytes padded with six 6s (openssl, AES-256, IV f0..ff).
    const std::string iv = FromHex("f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff");
    FixedRandom random(iv);
    const std::string key = FromHex(kCbcVectors[2].key);
    const std::string out = AesEncryptWithIV(key, "Hello, PDF");
    ASSERT_EQ(out.size(), 32u);
    EXPECT_EQ(ToHex(out), ToHex(iv) + "5be2518117dede0e43f15c2cf744f31a");
    EXPECT_EQ(AesDecryptWithIV(key, out), "Hello, PDF");
}

TEST(AesWithIvTest, RoundTripsEveryLengthAcrossBlockBoundaries) {
    for (const auto& v : kCbcVectors) {
        const std::string key = FromHex(v.key);
        for (size_t n = 0; n <= 48; ++n) {
            std::string plain;
            for (size_t i = 0; i < n; ++i) plain += static_cast<char>(i * 37 + 1);
            const std::string sealed = AesEncryptWithIV(key, plain);
            EXPECT_EQ(sealed.size(), 16 + (n / 16 + 1) * 16) << v.name << " " << n;
            EXPECT_EQ(AesDecryptWithIV(key, sealed), plain) << v.name << " " << n;
        }
    }
}

TEST(AesWithIvTest, TakesIvFromTheRandomSource) {
    const std::string key = FromHex(kCbcVectors[0].key);
    {
        // Different random bytes, different IV and ciphertext for the same plaintext.
        std::string a, b;
        {
            FixedRandom random(std::string(16, '\x11'));
            a = AesEncryptWithIV(key, "same text");
        }
        {
            FixedRandom random(std::string(16, '\x22'));
            b = AesEncryptWithIV(key, "same text");
        }
        EXPECT_EQ(a.substr(0, 16), std::string(16, '\x11'));
        EXPECT_EQ(b.substr(0, 16), std::string(16, '\x22'));
        EXPECT_NE(a.substr(16), b.substr(16));
    }
    {
        // The real source: two calls practically never share an IV.
        const std::string a = AesEncryptWithIV(key, "same text");
        const std::string b = AesEncryptWithIV(key, "same text");
        EXPECT_NE(a.substr(0, 16), b.substr(0, 16));
    }
    {
        // A failing random source gives no ciphertext rather than a predictable IV.
        ScopedRandomOverride failing([](void*, size_t) { throw std::runtime_error("no entropy"); });
        EXPECT_EQ(AesEncryptWithIV(key, "text"), "");
    }
}

TEST(AesWithIvTest, RejectsUnsupportedKeyLengths) {
    for (size_t n : {0u, 5u, 15u, 20u, 33u}) {
        const std::string badKey(n, 'k');
        EXPECT_EQ(AesEncryptWithIV(badKey, "text"), "") << n;
        EXPECT_EQ(AesDecryptWithIV(badKey, std::string(32, 'c')), "") << n;
    }
}

// IV + CBC(key, IV, block) for a chosen final plaintext block, to plant padding bytes.
std::string SealRawBlock(const std::string& key, const std::string& block) {
    return kIv + AesCbcEncrypt(key, kIv, block);
}

TEST(AesWithIvTest, DecryptRejectsInvalidPadding) {
    const std::string key = FromHex(kCbcVectors[0].key);
    {
        // Sanity: a correctly padded raw block decrypts (fifteen bytes then one 0x01).
        std::string block(15, 'a');
        block += '\x01';
        EXPECT_EQ(AesDecryptWithIV(key, SealRawBlock(key, block)), std::string(15, 'a'));
    }
    {
        // A full block of sixteen 16s removes everything.
        EXPECT_EQ(AesDecryptWithIV(key, SealRawBlock(key, std::string(16, '\x10'))), "");
        EXPECT_EQ(SealRawBlock(key, std::string(16, '\x10')).size(), 32u);
    }
    {
        // Last byte 0 or above 16.
        for (int last : {0x00, 0x11, 0x20, 0xff}) {
            std::string block(15, static_cast<char>(last));
            block += static_cast<char>(last);
            EXPECT_EQ(AesDecryptWithIV(key, SealRawBlock(key, block)), "") << last;
        }
    }
    {
        // The last byte says 3, but the bytes before it disagree.
        std::string block(13, 'a');
        block += "\x02\x03\x03";
        EXPECT_EQ(AesDecryptWithIV(key, SealRawBlock(key, block)), "");
        block = std::string(13, 'a') + "\x03\x02\x03";
        EXPECT_EQ(AesDecryptWithIV(key, SealRawBlock(key, block)), "");
    }
}

TEST(AesWithIvTest, DecryptRejectsMalformedLengths) {
    const std::string key = FromHex(kCbcVectors[0].key);
    const std::string sealed = AesEncryptWithIV(key, "sixteen byte msg");
    ASSERT_EQ(sealed.size(), 48u);
    {
        // Shorter than an IV and one byte, including the IV alone.
        for (size_t n : {0u, 1u, 15u, 16u}) {
            EXPECT_EQ(AesDecryptWithIV(key, sealed.substr(0, n)), "") << n;
        }
    }
    {
        // Ciphertext after the IV that is not whole blocks.
        for (size_t n : {17u, 31u, 33u, 47u}) {
            EXPECT_EQ(AesDecryptWithIV(key, sealed.substr(0, n)), "") << n;
        }
    }
    {
        // Truncated to whole blocks: the padding block is gone, the data block's last byte
        // is 'g', not valid padding.
        EXPECT_EQ(AesDecryptWithIV(key, sealed.substr(0, 32)), "");
    }
}

TEST(AesCbcTest, LongMessageRoundTripsAndChainsBlocks) {
    // 1 MiB through both directions; equal plaintext blocks must give different ciphertext
    // blocks, which only holds if each block is chained to the previous one.
    const std::string key = FromHex(kCbcVectors[2].key);
    const std::string plain(1 << 20, 'z');
    const std::string cipher = AesCbcEncrypt(key, kIv, plain);
    ASSERT_EQ(cipher.size(), plain.size());
    EXPECT_NE(cipher.substr(0, 16), cipher.substr(16, 16));
    EXPECT_NE(cipher.substr(16, 16), cipher.substr(32, 16));
    EXPECT_EQ(AesCbcDecrypt(key, kIv, cipher), plain);
}

}  // namespace
}  // namespace verava
