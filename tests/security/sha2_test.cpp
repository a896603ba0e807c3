#include "security/sha2.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/bytes.h"

namespace verava {
namespace {

using testing::ToHex;

const std::string k448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const std::string k896 =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlm"
    "nopqrsmnopqrstnopqrstu";

struct DigestCase {
    std::string message;
    const char* hex;
};

TEST(Sha2Test, Sha256MatchesFips180Examples) {
    // NIST FIPS 180-4 example values: one block, empty, two blocks (448 bits), 896 bits,
    // and one million 'a'.
    const DigestCase cases[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {k448, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {k896, "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToHex(Sha256(c.message)), c.hex) << c.message.size();
    }
}

TEST(Sha2Test, Sha384MatchesFips180Examples) {
    const DigestCase cases[] = {
        {"abc",
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca1"
         "34c825a7"},
        {"",
         "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f1"
         "4898b95b"},
        {k448,
         "3391fdddfc8dc7393707a65b1b4709397cf8b1d162af05abfe8f450de5f36bc6b0455a8520bc4e6f5fe95b1f"
         "e3c8452b"},
        {k896,
         "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa"
         "91746039"},
        {std::string(1000000, 'a'),
         "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd8"
         "7f3d8985"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToHex(Sha384(c.message)), c.hex) << c.message.size();
    }
}

TEST(Sha2Test, Sha512MatchesFips180Examples) {
    const DigestCase cases[] = {
        {"abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23"
         "a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {"",
         "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2"
         "877eec2f63b931bd47417a81a538327af927da3e"},
        {k448,
         "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c33596fd15c13b1b07f9aa1d3bea"
         "57789ca031ad85c7a71dd70354ec631238ca3445"},
        {k896,
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99de"
         "c4b5433ac7d329eeb6dd26545e96e55b874be909"},
        {std::string(1000000, 'a'),
         "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432c"
         "e577c31beb009c5c2c49aa2e4eadb217ad8cc09b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToHex(Sha512(c.message)), c.hex) << c.message.size();
    }
}

TEST(Sha2Test, PadsCorrectlyAroundBlockBoundaries) {
    // 55/56/64 straddle the SHA-256 length field, 111/112/128 the SHA-512 one.
    // Expected digests from coreutils sha256sum, sha384sum and sha512sum.
    const struct {
        size_t length;
        const char* sha256;
        const char* sha384;
        const char* sha512;
    } cases[] = {
        {55, "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318",
         "5d91ac7e74e62b5c728904b40f10784d66b7af9cb6302123e48c92f0432ceb8d2a92c02de77dcb29ed75c4b4"
         "2bde46f4",
         "b0220c772cbf6c1822e2cb38a437d0e1d58772417a4bbb21c961364f8b6143e05aa6316dca8d1d7b19e16448"
         "419076395f6086cb55101fbd6d5497b148e1745f"},
        {56, "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a",
         "8a8d9649ea04e993a6ca7135af7e3392cc5fca84f8531cac7aa3feed4eb98f55dcbe0f3284b61c6f35f98b02"
         "cc644b4c",
         "962b64aae357d2a4fee3ded8b539bdc9d325081822b0bfc55583133aab44f18bafe11d72a7ae16c79ce2ba62"
         "0ae2242d5144809161945f1367f41b3972e26e04"},
        {64, "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb",
         "2e404b9339da795776e510d96930b3be2904c500395b8cb7413334b82d4dec413b4b8113045a05bbbcff846f"
         "027423f6",
         "01d35c10c6c38c2dcf48f7eebb3235fb5ad74a65ec4cd016e2354c637a8fb49b695ef3c1d6f7ae4cd74d78cc"
         "9c9bcac9d4f23a73019998a7f73038a5c9b2dbde"},
        {111, "6374f73208854473827f6f6a3f43b1f53eaa3b82c21c1a6d69a2110b2a79baad",
         "3c37955051cb5c3026f94d551d5b5e2ac38d572ae4e07172085fed81f8466b8f90dc23a8ffcdea0b8d8e58e8"
         "fdacc80a",
         "fa9121c7b32b9e01733d034cfc78cbf67f926c7ed83e82200ef86818196921760b4beff48404df811b953828"
         "274461673c68d04e297b0eb7b2b4d60fc6b566a2"},
        {112, "f54353008a2553262ecdc4a34749563ba0950e8b0fc8652780b0a614b99683c1",
         "187d4e07cb306103c69967bf544d0dfbe9042577599c73c330abc0cb64c61236d5ed565ee19119d8c31779a3"
         "8f791fcd",
         "c01d080efd492776a1c43bd23dd99d0a2e626d481e16782e75d54c2503b5dc32bd05f0f1ba33e568b88fd2d9"
         "70929b719ecbb152f58f130a407c8830604b70ca"},
        {128, "6836cf13bac400e9105071cd6af47084dfacad4e5e302c94bfed24e013afb73e",
         "edb12730a366098b3b2beac75a3bef1b0969b15c48e2163c23d96994f8d1bef760c7e27f3c464d3829f56c0d"
         "53808b0b",
         "b73d1929aa615934e61a871596b3f3b33359f42b8175602e89f7e06e5f658a243667807ed300314b95cacdd5"
         "79f3e33abdfbe351909519a846d465c59582f321"},
    };
    for (const auto& c : cases) {
        const std::string message(c.length, 'a');
        EXPECT_EQ(ToHex(Sha256(message)), c.sha256) << c.length;
        EXPECT_EQ(ToHex(Sha384(message)), c.sha384) << c.length;
        EXPECT_EQ(ToHex(Sha512(message)), c.sha512) << c.length;
    }
}

// Feeds `message` to a fresh object in pieces of `piece` bytes and returns the digest.
std::string DigestInPieces(TDCP_hash& hash, const std::string& message, size_t piece) {
    hash.Init();
    for (size_t pos = 0; pos < message.size(); pos += piece) {
        hash.UpdateStr(std::string_view(message).substr(pos, piece));
    }
    std::string digest(hash.DigestSize(), '\0');
    hash.Final(reinterpret_cast<unsigned char*>(digest.data()));
    return digest;
}

TEST(Sha2Test, IncrementalUpdatesMatchOneShotForAnySplit) {
    // The 896-bit vector fed in pieces that cut across the buffered block in every way.
    const char* sha256 = "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1";
    const char* sha512 =
        "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99de"
        "c4b5433ac7d329eeb6dd26545e96e55b874be909";
    for (size_t piece : {1u, 3u, 7u, 63u, 64u, 65u, 111u, 112u}) {
        TDCP_sha256 h256;
        EXPECT_EQ(ToHex(DigestInPieces(h256, k896, piece)), sha256) << piece;
        TDCP_sha512 h512;
        EXPECT_EQ(ToHex(DigestInPieces(h512, k896, piece)), sha512) << piece;
    }
}

TEST(Sha2Test, ReportsDigestSizes) {
    EXPECT_EQ(TDCP_sha256().DigestSize(), 32u);
    EXPECT_EQ(TDCP_sha384().DigestSize(), 48u);
    EXPECT_EQ(TDCP_sha512().DigestSize(), 64u);
    EXPECT_EQ(Sha256("x").size(), 32u);
    EXPECT_EQ(Sha384("x").size(), 48u);
    EXPECT_EQ(Sha512("x").size(), 64u);
}

// Expects `call` to raise EDCP_hash with the not-initialised message.
template <typename Call>
void ExpectNotInitialized(Call call) {
    try {
        call();
        ADD_FAILURE() << "no EDCP_hash raised";
    } catch (const EDCP_hash& e) {
        EXPECT_STREQ(e.what(), "Hash not initialized");
    }
}

TEST(Sha2Test, RaisesWhenUsedWithoutInit) {
    unsigned char digest[64];
    const unsigned char byte = 'x';
    std::unique_ptr<TDCP_hash> hashes[] = {std::make_unique<TDCP_sha256>(),
                                           std::make_unique<TDCP_sha384>(),
                                           std::make_unique<TDCP_sha512>()};
    for (auto& hash : hashes) {
        {
            // A new object is not initialised.
            EXPECT_FALSE(hash->Initialized());
            ExpectNotInitialized([&] { hash->Update(&byte, 1); });
            ExpectNotInitialized([&] { hash->Update(nullptr, 0); });
            ExpectNotInitialized([&] { hash->Final(digest); });
        }
        {
            // Final wipes the state, so the object must be initialised again.
            hash->Init();
            hash->Update(&byte, 1);
            hash->Final(digest);
            EXPECT_FALSE(hash->Initialized());
            ExpectNotInitialized([&] { hash->Update(&byte, 1); });
            ExpectNotInitialized([&] { hash->Final(digest); });
        }
        {
            // Burn abandons a message part-way.
            hash->Init();
            hash->Update(&byte, 1);
            hash->Burn();
            ExpectNotInitialized([&] { hash->UpdateStr("abc"); });
        }
    }
}

TEST(Sha2Test, ReinitialisedObjectStartsAFreshMessage) {
    TDCP_sha256 hash;
    std::string digest(32, '\0');
    auto* out = reinterpret_cast<unsigned char*>(digest.data());
    {
        // Init discards whatever was fed before it.
        hash.Init();
        hash.UpdateStr("garbage that must not count");
        hash.Init();
        hash.UpdateStr("abc");
        hash.Final(out);
        EXPECT_EQ(ToHex(digest),
                  "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    }
    {
        // After Final the same object hashes the next message from scratch.
        hash.Init();
        hash.Final(out);
        EXPECT_EQ(ToHex(digest),
                  "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    }
}

}  // namespace
}  // namespace verava
