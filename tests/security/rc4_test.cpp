#include "security/rc4.h"

#include <gtest/gtest.h>

#include <string>

#include "support/bytes.h"

namespace verava {
namespace {

using testing::FromHex;
using testing::ToHex;

struct StreamBlock {
    size_t offset;
    const char* hex;  // 16 key-stream bytes at `offset`
};

// RC4 of zero bytes is the bare key stream.
std::string KeyStream(const std::string& key, size_t length) {
    return Rc4(key, std::string(length, '\0'));
}

void ExpectKeyStream(const char* keyHex, std::initializer_list<StreamBlock> blocks) {
    const std::string stream = KeyStream(FromHex(keyHex), 4112);
    ASSERT_EQ(stream.size(), 4112u);
    for (const auto& b : blocks) {
        EXPECT_EQ(ToHex(stream.substr(b.offset, 16)), ToHex(FromHex(b.hex)))
            << keyHex << " at " << b.offset;
    }
}

TEST(Rc4Test, MatchesRfc6229KeyStreamFor40BitKey) {
    ExpectKeyStream("0102030405",  // RFC 6229 section 2, first 40-bit key
                    {
                        {0, "b2 39 63 05  f0 3d c0 27   cc c3 52 4a  0a 11 18 a8"},
                        {16, "69 82 94 4f  18 fc 82 d5   89 c4 03 a4  7a 0d 09 19"},
                        {240, "28 cb 11 32  c9 6c e2 86   42 1d ca ad  b8 b6 9e ae"},
                        {256, "1c fc f6 2b  03 ed db 64   1d 77 df cf  7f 8d 8c 93"},
                        {1008, "45 12 90 48  e6 a0 ed 0b   56 b4 90 33  8f 07 8d a5"},
                        {1024, "30 ab bc c7  c2 0b 01 60   9f 23 ee 2d  5f 6b b7 df"},
                        {2032, "1e b1 4a 0c  13 b3 bf 47   fa 2a 0b a9  3a d4 5b 8b"},
                        {2048, "cc 58 2f 8b  a9 f2 65 e2   b1 be 91 12  e9 75 d2 d7"},
                        {4080, "06 83 26 a2  11 84 16 d2   1f 9d 04 b2  cd 1c a0 50"},
                        {4096, "ff 25 b5 89  95 99 67 07   e5 1f bd f0  8b 34 d8 75"},
                    });
}

TEST(Rc4Test, MatchesRfc6229KeyStreamFor128BitKey) {
    ExpectKeyStream("0102030405060708090a0b0c0d0e0f10",
                    {
                        {0, "9a c7 cc 9a  60 9d 1e f7   b2 93 28 99  cd e4 1b 97"},
                        {16, "52 48 c4 95  90 14 12 6a   6e 8a 84 f1  1d 1a 9e 1c"},
                        {240, "06 59 02 e4  b6 20 f6 cc   36 c8 58 9f  66 43 2f 2b"},
                        {256, "d3 9d 56 6b  c6 bc e3 01   07 68 15 15  49 f3 87 3f"},
                        {496, "b6 d1 e6 c4  a5 e4 77 1c   ad 79 53 8d  f2 95 fb 11"},
                        {512, "c6 8c 1d 5c  55 9a 97 41   23 df 1d bc  52 a4 3b 89"},
                        {1008, "e7 a7 25 74  f8 78 2a e2   6a ab cf 9e  bc d6 60 65"},
                        {1024, "bd f0 32 4e  60 83 dc c6   d3 ce dd 3c  a8 c5 3c 16"},
                        {2032, "d0 3d 1b c0  3c d3 3d 70   df f9 fa 5d  71 96 3e bd"},
                        {2048, "8a 44 12 64  11 ea a7 8b   d5 1e 8d 87  a8 87 9b f5"},
                        {4080, "ff 38 26 5c  16 42 c1 ab   e8 d3 c2 fe  5e 57 2b f8"},
                        {4096, "a3 6a 4c 30  1a e8 ac 13   61 0c cb c1  22 56 ca cc"},
                    });
}

TEST(Rc4Test, MatchesRfc6229KeyStreamFor256BitKeys) {
    ExpectKeyStream("0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20",
                    {
                        {0, "ea a6 bd 25  88 0b f9 3d   3f 5d 1e 4c  a2 61 1d 91"},
                        {16, "cf a4 5c 9f  7e 71 4b 54   bd fa 80 02  7c b1 43 80"},
                        {240, "11 4a e3 44  de d7 1b 35   f2 e6 0f eb  ad 72 7f d8"},
                        {256, "02 e1 e7 05  6b 0f 62 39   00 49 64 22  94 3e 97 b6"},
                        {1008, "c7 99 b5 96  73 8f 6b 01   8c 76 c7 4b  17 59 bd 90"},
                        {1024, "7f ec 5b fd  9f 9b 89 ce   65 48 30 90  92 d7 e9 58"},
                        {3056, "8a ed 95 ee  5b 0d cb fb   ef 4e b2 1d  3a 3f 52 f9"},
                        {3072, "62 5a 1a b0  0e e3 9a 53   27 34 6b dd  b0 1a 9c 18"},
                        {4080, "a1 3a 7c 79  c7 e1 19 b5   ab 02 96 ab  28 c3 00 b9"},
                        {4096, "f3 e4 c0 a2  e0 2d 1d 01   f7 f0 a7 46  18 af 2b 48"},
                    });
    // The second key set of the RFC has no regular byte pattern.
    ExpectKeyStream("1ada31d5cf688221c109163908ebe51debb46227c6cc8b37641910833222772a",
                    {
                        {0, "dd 5b cb 00  18 e9 22 d4   94 75 9d 7c  39 5d 02 d3"},
                        {16, "c8 44 6f 8f  77 ab f7 37   68 53 53 eb  89 a1 c9 eb"},
                        {1536, "8c 3c 13 f8  c2 38 8b b7   3f 38 57 6e  65 b7 c4 46"},
                        {4096, "37 0b 1c 1f  e6 55 91 6d   97 fd 0d 47  ca 1d 72 b8"},
                    });
}

TEST(Rc4Test, XorsDataWithTheKeyStream) {
    // Ciphertext = plaintext XOR key stream, byte for byte.
    const std::string key = FromHex("0102030405");
    const std::string plain = "The quick brown fox";
    const std::string cipher = Rc4(key, plain);
    const std::string stream = KeyStream(key, plain.size());
    ASSERT_EQ(cipher.size(), plain.size());
    for (size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(static_cast<char>(plain[i] ^ stream[i]), cipher[i]) << i;
    }
}

TEST(Rc4Test, ApplyingTwiceGivesBackTheInput) {
    const std::string key = FromHex("0102030405060708090a0b0c0d0e0f10");
    {
        // Text with embedded zero bytes.
        const std::string data("stream\0data\0\xff", 13);
        const std::string once = Rc4(key, data);
        EXPECT_NE(once, data);
        EXPECT_EQ(Rc4(key, once), data);
    }
    {
        // Each call starts a fresh state: encrypting twice gives the same ciphertext.
        EXPECT_EQ(Rc4(key, "abc"), Rc4(key, "abc"));
    }
}

TEST(Rc4Test, HandlesDegenerateInputs) {
    {
        // Empty data: empty result.
        EXPECT_EQ(Rc4("key", ""), "");
    }
    {
        // An empty key has no key stream; the data must not come back as if encrypted.
        EXPECT_EQ(Rc4("", "secret"), "");
    }
    {
        // A one-byte key and a 256-byte key, the two extremes of key scheduling.
        const std::string one(1, '\x42');
        std::string full;
        for (int i = 0; i < 256; ++i) full += static_cast<char>(i);
        EXPECT_EQ(Rc4(one, Rc4(one, "payload")), "payload");
        EXPECT_EQ(Rc4(full, Rc4(full, "payload")), "payload");
        EXPECT_NE(Rc4(one, "payload"), Rc4(full, "payload"));
    }
}

}  // namespace
}  // namespace verava
