#include "security/mod3.h"

#include <gtest/gtest.h>

#include <string>

#include "support/bytes.h"

namespace verava {
namespace {

using testing::FromHex;

// The reference: the 16 bytes as an unsigned 128-bit integer, reduced with the compiler's
// own division.
int Reference(const std::string& block) {
    unsigned __int128 value = 0;
    for (size_t i = 0; i < 16 && i < block.size(); ++i) {
        value = value << 8 | static_cast<unsigned char>(block[i]);
    }
    return static_cast<int>(value % 3);
}

TEST(Mod3Of128Test, MatchesBigIntegerRemainder) {
    const char* blocks[] = {
        "00000000000000000000000000000000", "00000000000000000000000000000001",
        "00000000000000000000000000000002", "00000000000000000000000000000003",
        "ffffffffffffffffffffffffffffffff", "80000000000000000000000000000000",
        "0102030405060708090a0b0c0d0e0f10", "7649abac8119b246cee98e9b12e9197d",
        "f58c4c04d6e5f1ba779eabfb5f7bfbd6", "fffffffffffffffffffffffffffffffe",
    };
    for (const char* hex : blocks) {
        const std::string block = FromHex(hex);
        EXPECT_EQ(Mod3Of128(block), Reference(block)) << hex;
    }
}

TEST(Mod3Of128Test, ReadsOnlyTheFirstSixteenBytes) {
    // Revision 6 passes a longer AES output; bytes past 16 must not count.
    const std::string head = FromHex("00000000000000000000000000000001");
    EXPECT_EQ(Mod3Of128(head), 1);
    EXPECT_EQ(Mod3Of128(head + "\x01"), 1);
    EXPECT_EQ(Mod3Of128(head + std::string(64, '\xff')), 1);
}

TEST(Mod3Of128Test, CoversEveryRemainder) {
    // 0x..fd, 0x..fe, 0x..ff give 2, 0, 1 after a run of 0xff bytes (2^128 - 1 = 0 mod 3).
    std::string block(15, '\xff');
    EXPECT_EQ(Mod3Of128(block + "\xfd"), Reference(block + "\xfd"));
    EXPECT_EQ(Mod3Of128(block + "\xfe"), Reference(block + "\xfe"));
    EXPECT_EQ(Mod3Of128(block + "\xff"), 0);
}

}  // namespace
}  // namespace verava
