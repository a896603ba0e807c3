#include "security/standard_keys.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "security/md5.h"
#include "support/bytes.h"

namespace verava {
namespace {

using testing::FromHex;
using testing::ToHex;

// Expected keys below were produced once by an independent Python 3 script (hashlib MD5/SHA-2
// and a hand-written RC4, plus the 'cryptography' package's AES for the revision 5/6 entries)
// following ISO 32000-1 Algorithms 1-5 and ISO 32000-2 Algorithms 2.A/2.B/8-10, with the first
// ID element below and the passwords named in each case. The hex values were pasted unchanged.
const std::string kId0 = FromHex("000102030405060708090a0b0c0d0e0f");

std::string Hex(const std::optional<std::string>& key) { return key ? ToHex(*key) : "<none>"; }

// A revision 2-4 record as the handlers read it.
TPDFEncryption Legacy(int32_t revision, int32_t keyLength, const char* o, const char* u, uint32_t p,
                      bool encryptMetadata = true) {
    TPDFEncryption e;
    e.Revision = revision;
    e.KeyLength = keyLength;
    e.OwnerEntry = FromHex(o);
    e.UserEntry = FromHex(u);
    e.Permissions = p;
    e.EncryptMetadata = encryptMetadata;
    return e;
}

const char* const kO128 = "0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671";

TEST(StandardKeys, PaddingIsTheIso32000Constant) {
    // ISO 32000-1, 7.6.3.3, Algorithm 2 step a.
    EXPECT_EQ(ToHex(PasswordPadding()),
              "28bf4e5e4e758a4164004e56fffa01082e2e00b6d0683e802f0ca9fe6453697a");
}

TEST(StandardKeys, LegacyRevisionsGiveTheIndependentKeysForExactlyTheirPasswords) {
    const struct {
        const char* name;
        TPDFEncryption e;
        std::string user, owner;
        const char* fileKey;
        const char* objectKey7;  // object 7, generation 0
    } cases[] = {
        {"R2 40-bit",
         Legacy(2, 40, "94e8094419662a774442fb072e3d9f19e9d130ec09a4d0061e78fe920f7ab62f",
                "e27c6f3f9756c9e7e75c5cf703f477d9793fcc113f979355a879ed8c0dc17f0b", 0xFFFFFFC0u),
         "user", "owner", "4af232675c", "da9fb8aa0648b8181de4"},
        // U carries 16 arbitrary bytes (a0..af) after the 16 that revision 3 defines.
        {"R3 128-bit",
         Legacy(3, 128, kO128, "b8d04c0b647956d75df3b1f5a437ef97a0a1a2a3a4a5a6a7a8a9aaabacadaeaf",
                0xFFFFF0C0u),
         "user", "owner", "ebc53cf170c71152a5ba9925bd0fefc3", "a92b9a572bde3762112f40846bbf7f70"},
        {"R3 64-bit, empty user password",
         Legacy(3, 64, "dd47436a86235ef111382865c787a42a49fbc77e4b2eafca75b99d56f1d31f66",
                "2632928af1116d414d92df085e2fb7f4a0a1a2a3a4a5a6a7a8a9aaabacadaeaf", 0xFFFFF0C0u),
         "", "owner", "30273aa4ece607f3", "cdcfb8dac075880914f6d044e2"},
        // Metadata left unencrypted: FF FF FF FF joins the key hash.
        {"R4 128-bit, EncryptMetadata false",
         Legacy(4, 128, kO128, "8cfe739c15d10ed11168124af4cac78ea0a1a2a3a4a5a6a7a8a9aaabacadaeaf",
                0xFFFFF0C0u, false),
         "user", "owner", "b7f28ee1b51d773508063d025d186024", "28723d99fc0d517adc4601cffd94849b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Hex(FileKeyForPassword(c.e, kId0, c.user, false)), c.fileKey);
        EXPECT_EQ(Hex(FileKeyForPassword(c.e, kId0, c.owner, true)), c.fileKey);
        // The owner key recovers the padded user password from O.
        EXPECT_EQ(UserPasswordOfOwnerEntry(c.e, ComputeOwnerKey(c.e, c.owner)).substr(0, 32),
                  (c.user + PasswordPadding()).substr(0, 32));
        EXPECT_EQ(Hex(FileKeyForPassword(c.e, kId0, c.owner, false)), "<none>");
        EXPECT_EQ(Hex(FileKeyForPassword(c.e, kId0, c.user, true)), "<none>");
        EXPECT_EQ(Hex(FileKeyForPassword(c.e, kId0, std::string("wrong"), false)), "<none>");
        // Another ID, or none, or the other EncryptMetadata: another key, so U no longer matches.
        EXPECT_EQ(Hex(FileKeyForPassword(c.e, "", c.user, false)), "<none>");
        EXPECT_EQ(Hex(FileKeyForPassword(c.e, FromHex("ffff"), c.owner, true)), "<none>");
        TPDFEncryption flipped = c.e;
        flipped.EncryptMetadata = !c.e.EncryptMetadata;
        EXPECT_EQ(Hex(FileKeyForPassword(flipped, kId0, c.user, false)), "<none>");

        const std::string fileKey = FromHex(c.fileKey);
        EXPECT_EQ(ToHex(ObjectKeyOf(c.e, fileKey, fileKey, 7, 0).Rc4), c.objectKey7);
    }
}

TEST(StandardKeys, Aes256KeysComeFromUeOrOeOnceTheHashMatches) {
    // Fixed salts 11.., 22.. (U) and 33.., 44.. (O).
    const std::string u6 =
        "32cd1740f398f4b820b63b53a21df1540eed17327042270750620ebc8a8346df"
        "11111111111111112222222222222222";
    auto record = [](int32_t revision, const std::string& o, const std::string& u,
                     const std::string& oe, const std::string& ue) {
        TPDFEncryption e;
        e.Revision = revision;
        e.KeyLength = 256;
        e.CipherMode = kCipherAes256;
        e.OwnerEntry = FromHex(o);
        e.UserEntry = FromHex(u);
        e.OwnerKeyEntry = FromHex(oe);
        e.UserKeyEntry = FromHex(ue);
        return e;
    };
    const TPDFEncryption r6 =
        record(6,
               "8240d20db3ae598f9ab14457b0d3dbb845548c7b8a0d0c8c287695da5de93672"
               "33333333333333334444444444444444",
               u6, "e39425281c5c28bfc0816d0082be2fa75634ce2fbaa46781e9939f03ff43bff8",
               "f3931d102adae02322aad2b3fcaac7ce141f9db7d477fe27693a1f5245b5a023");
    const TPDFEncryption r6EmptyOwner =
        record(6,
               "f31a0af1b58d84dc13fc533618a9dfc22b7ad647ae7e61db25010b2b915bf601"
               "33333333333333334444444444444444",
               u6, "bb8d4ff0f29bd98770b25dae3bcbe3b2398029f6804ae634d9601a9976a85eed",
               "1d1823a600254b476ff4e9c0b62241eddc8fa1bc5ae9d3843beb357c9a41ec3d");
    const TPDFEncryption r5 =
        record(5,
               "12dc0aa0bf9a3b8d2224eb7b5ebe3fb2d5c43ad0a4f28b6047d34a8016bbc7ea"
               "33333333333333334444444444444444",
               "7a2f88a4021a72ffd20101ac5d7835d8d996c19784ed8c9f345c3759beacf489"
               "11111111111111112222222222222222",
               "d0382245daee962acd3a3e2620a8086525efd8abb16dacbe56395bb761f5823b",
               "5da896481efe357fb98b9c0e15c0cadc6d754a3ceaab6e06c3c6c986c6f086b9");
    // UE cut to one block: the hash matches, but no 32-byte key comes out.
    TPDFEncryption cutUe = r6;
    cutUe.UserKeyEntry.resize(16);
    TPDFEncryption shortU = r6;
    shortU.UserEntry.resize(31);

    const std::string key40 = "404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f";
    const std::string key80 = "808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f";
    const std::string key10 = "101112131415161718191a1b1c1d1e1f202122232425262728292a2b2c2d2e2f";
    const struct {
        const char* name;
        const TPDFEncryption& e;
        std::string password;
        bool owner;
        std::string fileKey;
    } cases[] = {
        {"R6 empty user password", r6, "", false, key40},
        {"R6 owner password", r6, "own\xC3\xA9r6", true, key40},
        {"R6 owner password as user", r6, "own\xC3\xA9r6", false, "<none>"},
        {"R6 another owner password", r6, "owner6", true, "<none>"},
        {"R6 empty owner password", r6EmptyOwner, "", true, key80},
        {"R5 user password", r5, "user5", false, key10},
        {"R5 owner password", r5, "owner5", true, key10},
        {"R5 owner password as user", r5, "owner5", false, "<none>"},
        {"R5 user password as owner", r5, "user5", true, "<none>"},
        {"R5 empty password", r5, "", false, "<none>"},
        {"UE that does not unwrap", cutUe, "", false, "<none>"},
        {"U too short for its hash", shortU, "", false, "<none>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(FileKeyForPassword(c.e, "", c.password, c.owner)), c.fileKey) << c.name;
    }
    // The key itself encrypts every object.
    const std::string key = FromHex(key40);
    TPDFEncryption e = r6;
    e.Filters = UniformCryptFilters(TCryptMethod::Aes256);
    EXPECT_EQ(ObjectKeyOf(e, key, key, 3, 0).Aes, key);
}

TEST(StandardKeys, Revision6HashMatchesIndependentValues) {
    const std::string u = FromHex(
        "32cd1740f398f4b820b63b53a21df1540eed17327042270750620ebc8a8346df"
        "11111111111111112222222222222222");
    const std::string salt = FromHex("1111111111111111");
    EXPECT_EQ(ToHex(Revision6Hash("secret" + salt, "secret", "")),
              "ec461db3cedd4e9926daa418692a02d5b0b6a4d56191b20bf7eca32f8bb89930");
    const std::string ownerSalt = FromHex("3333333333333333");
    EXPECT_EQ(ToHex(Revision6Hash("secret" + ownerSalt + u, "secret", u)),
              "312b7c2b96823b8cf217c693124682a0bd580c6588dc3f57d601102798e7397c");
}

TEST(StandardKeys, PermsGivesPOnlyWithItsMarker) {
    const std::string key =
        FromHex("404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f");
    const struct {
        const char* perms;
        std::optional<uint32_t> p;
    } cases[] = {
        {"98aac6680714962e852b0c20fb4b4a2b", 0xFFFFF0C0u},  // P -3904 + "Tadb"
        {"00000000000000000000000000000000", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PermissionsOfPerms(key, FromHex(c.perms)), c.p) << c.perms;
    }
}

TEST(StandardKeys, KeyClassAndLengthFollowCipherRevisionAndLength) {
    const struct {
        uint8_t cipher;
        int32_t revision, keyLength;
        uint8_t keyClass;
        int keyBytes;
    } cases[] = {
        {kCipherRc4, 2, 40, kKeyClassRc4_40, 5},
        {kCipherRc4, 3, 40, kKeyClassRc4_40, 5},
        {kCipherRc4, 3, 41, kKeyClassRc4Medium, 5},
        {kCipherRc4, 3, 64, kKeyClassRc4Medium, 8},
        {kCipherRc4, 3, 127, kKeyClassRc4Medium, 15},
        {kCipherRc4, 3, 128, kKeyClassRc4_128, 16},
        {kCipherRc4, 2, 256, kKeyClassRc4_128, 16},
        {kCipherAes128, 4, 128, kKeyClassAes128, 16},
        {kCipherAes256, 5, 256, kKeyClassAes256R5, 32},
        {kCipherAes256, 6, 256, kKeyClassAes256R6, 32},
    };
    for (const auto& c : cases) {
        TPDFEncryption e;
        e.CipherMode = c.cipher;
        e.Revision = c.revision;
        e.KeyLength = c.keyLength;
        const uint8_t keyClass = KeyClassOf(e);
        EXPECT_EQ(keyClass, c.keyClass) << c.keyLength << " R" << c.revision;
        EXPECT_EQ(KeyBytesOf(keyClass, c.keyLength), c.keyBytes) << c.keyLength;
    }
}

TEST(StandardKeys, ObjectKeysAreCutToTheBaseKeyPlusFiveAndSaltedForAes128) {
    // MD5(base + 3 number bytes + 2 generation bytes [+ "sAlT"]), cut to base + 5, at most 16.
    const struct {
        const char* name;
        TCryptMethod method;
        std::string base;
        int32_t number, generation;
        std::string rc4, aes;
    } cases[] = {
        {"5-byte base", TCryptMethod::Rc4, FromHex("0102030405"), 1, 0,
         Md5(FromHex("0102030405 010000 0000")).substr(0, 10), ""},
        {"8-byte base, number and generation little-endian", TCryptMethod::Rc4,
         FromHex("0102030405060708"), 0x123456, 0x789A,
         Md5(FromHex("0102030405060708 563412 9a78")).substr(0, 13), ""},
        {"16-byte base", TCryptMethod::Rc4, std::string(16, 'k'), 1, 0,
         Md5(std::string(16, 'k') + FromHex("010000 0000")), ""},
        {"AES-128 salted", TCryptMethod::Aes128, FromHex("0102030405060708090a0b"), 1, 0, "",
         Md5(FromHex("0102030405060708090a0b 010000 0000") + "sAlT")},
        {"AES-128 takes no key shorter than 16", TCryptMethod::Aes128, FromHex("0102030405"), 1, 0,
         "", ""},
    };
    for (const auto& c : cases) {
        TPDFEncryption e;
        e.Filters = UniformCryptFilters(c.method);
        const TObjectKey key = ObjectKeyOf(e, c.base, "", c.number, c.generation);
        EXPECT_EQ(ToHex(key.Rc4), ToHex(c.rc4)) << c.name;
        EXPECT_EQ(ToHex(key.Aes), ToHex(c.aes)) << c.name;
    }
    {
        // Both keys when the filters use both methods; none for the encryption dictionary.
        TPDFEncryption e;
        e.Filters.Streams = TCryptMethod::Aes128;
        e.EncryptObjectNumber = 9;
        const std::string base(16, 'b');
        const TObjectKey key = ObjectKeyOf(e, base, "", 4, 0);
        EXPECT_FALSE(key.Rc4.empty());
        EXPECT_FALSE(key.Aes.empty());
        EXPECT_NE(key.Rc4, key.Aes);
        EXPECT_TRUE(ObjectKeyOf(e, base, "", 9, 0).Empty());
    }
    {
        // The R4 vector with AESV2: the same file key, a salted object key.
        TPDFEncryption e;
        e.Filters = UniformCryptFilters(TCryptMethod::Aes128);
        EXPECT_EQ(ToHex(ObjectKeyOf(e, FromHex("b7f28ee1b51d773508063d025d186024"), "", 12, 3).Aes),
                  "ef5fce49e14a75ef2e18132ef47e4a7d");
    }
}

TEST(StandardKeys, PermissionBitsBecomeFlagBytes) {
    const struct {
        uint32_t p;
        uint8_t flags, extra;
        bool malformed;
    } cases[] = {
        {0xFFFFF0C0u, 0, 0, false},
        {0xFFFFFFFCu, 15, 15, false},
        {65536, 0, 0, false},
        {65535, 15, 15, true},
        {4, 1, 0, true},     // print
        {16, 2, 0, true},    // copy
        {8, 4, 0, true},     // modify
        {32, 8, 0, true},    // annotate
        {256, 0, 1, true},   // fill forms
        {512, 0, 2, true},   // accessibility
        {1024, 0, 4, true},  // assemble
        {2048, 0, 8, true},  // high-quality print
    };
    for (const auto& c : cases) {
        const TPermissionFlags f = PermissionFlagsOf(c.p);
        EXPECT_EQ(f.flags, c.flags) << c.p;
        EXPECT_EQ(f.extraFlags, c.extra) << c.p;
        EXPECT_EQ(f.malformed, c.malformed) << c.p;
    }
}

}  // namespace
}  // namespace verava
