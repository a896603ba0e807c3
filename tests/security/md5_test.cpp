#include "security/md5.h"

#include <gtest/gtest.h>

#include <string>

#include "support/bytes.h"

namespace verava {
namespace {

using testing::ToHex;

struct DigestCase {
    std::string message;
    const char* hex;
};

TEST(Md5Test, MatchesRfc1321TestSuite) {
    // RFC 1321 appendix A.5.
    const DigestCase cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
         "0",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) {
        const std::string digest = Md5(c.message);
        EXPECT_EQ(digest.size(), 16u) << c.message;
        EXPECT_EQ(ToHex(digest), c.hex) << c.message;
    }
}

TEST(Md5Test, PadsCorrectlyAroundBlockBoundaries) {
    // Lengths where the length field just fits, just misses, and spills into a second
    // padding block. Expected digests from coreutils md5sum.
    const struct {
        size_t length;
        const char* hex;
    } cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},  {56, "3b0c8ac703f828b04c6c197006d17218"},
        {63, "b06521f39153d618550606be297466d5"},  {64, "014842d480b571495a4a0363793f7367"},
        {65, "c743a45e0d2e6a95cb859adae0248435"},  {111, "089f243d1e831c5879aa375ee364a06e"},
        {112, "9146ef3527c7cfcc66dc615c3986e391"}, {127, "020406e1d05cdc2aa287641f7ae2cc39"},
        {128, "e510683b3f5ffe4093d021808bc6ff70"}, {129, "b325dc1c6f5e7a2b7cf465b9feab7948"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToHex(Md5(std::string(c.length, 'a'))), c.hex) << c.length;
    }
}

TEST(Md5Test, HashesEmbeddedZeroBytes) {
    // A string_view carries its own length; a NUL must not end the message.
    const std::string withNul("a\0b", 3);
    EXPECT_NE(Md5(withNul), Md5("a"));
    EXPECT_EQ(Md5(withNul).size(), 16u);
}

TEST(Md5HexTest, WritesTwoLowerCaseDigitsPerByte) {
    {
        // Every byte value, so each nibble maps through the digit table.
        std::string all;
        for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
        const std::string hex = Md5Hex(all);
        ASSERT_EQ(hex.size(), 512u);
        EXPECT_EQ(hex.substr(0, 8), "00010203");
        EXPECT_EQ(hex.substr(20, 12), "0a0b0c0d0e0f");
        EXPECT_EQ(hex.substr(504), "fcfdfeff");
    }
    {
        // A digest gives 32 characters from 0-9a-f.
        const std::string hex = Md5Hex(Md5("message digest"));
        EXPECT_EQ(hex, "f96b697d7cb7938d525a2f31aaf161d0");
        EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
    }
    {
        // Nothing in, nothing out.
        EXPECT_EQ(Md5Hex(""), "");
    }
}

}  // namespace
}  // namespace verava
