#include "security/encryption_entries.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

#include "objects/pdf_structure.h"

namespace verava {
namespace {

constexpr TCryptMethod kId = TCryptMethod::Identity;
constexpr TCryptMethod kRc4 = TCryptMethod::Rc4;
constexpr TCryptMethod kAes = TCryptMethod::Aes128;
constexpr TCryptMethod kAes256 = TCryptMethod::Aes256;

TEncryptionEntries Entries(TPDFStructure& store, const std::string& dict) {
    return ReadEncryptionEntries(*As<TPDFDictionary>(store.ParseText(dict)));
}

TEST(EncryptionEntries, EachKindOfDataFollowsItsCryptFilter) {
    const std::string v4 = "<< /Filter /Standard /V 4 /R 4 ";
    const std::string aes = "<< /CFM /AESV2 /Length 16 >>";
    const std::string rc4 = "<< /CFM /V2 /Length 16 >>";
    const struct {
        std::string dict;
        bool supported;
        TCryptMethod strings, streams, embedded;
        const char* scheme;  // "rc4", "aes128", "aes256"
        int32_t bits;
    } cases[] = {
        // Revisions 2 and 3 know no crypt filters: RC4 for everything, Length bits (40 when
        // absent), V 1 R 2 always 40.
        {"<< /Filter /Standard /V 2 /R 3 /Length 128 >>", true, kRc4, kRc4, kRc4, "rc4", 128},
        {"<< /Filter /Standard /V 2 /R 3 /Length 96 >>", true, kRc4, kRc4, kRc4, "rc4", 96},
        {"<< /Filter /Standard /V 2 /R 2 /Length 256 >>", true, kRc4, kRc4, kRc4, "rc4", 256},
        {"<< /Filter /Standard /V 1 /R 3 >>", true, kRc4, kRc4, kRc4, "rc4", 40},
        {"<< /Filter /Standard /V 1 /R 2 /Length 128 >>", true, kRc4, kRc4, kRc4, "rc4", 40},
        {v4 + "/CF << /S << /CFM /V2 >> >> /StrF /S /StmF /S >>", true, kRc4, kRc4, kRc4, "rc4",
         40},
        {v4 + "/CF << /S << /CFM /AESV2 >> >> /StrF /S /StmF /S >>", true, kAes, kAes, kAes,
         "aes128", 128},
        {v4 + "/CF << /StdCF " + aes + " >> /StrF /StdCF /StmF /StdCF >>", true, kAes, kAes, kAes,
         "aes128", 128},
        // The issue's file: streams as stored, strings AESV2.
        {v4 + "/CF << /StdCF " + aes + " >> /StrF /StdCF /StmF /Identity >>", true, kAes, kId, kId,
         "aes128", 128},
        // Two methods under two names: the key is the AES filter's.
        {v4 + "/CF << /S " + rc4 + " /T " + aes + " >> /StrF /S /StmF /T >>", true, kRc4, kAes,
         kAes, "aes128", 128},
        {v4 + "/CF << /S << /CFM /V2 /Length 5 >> >> /StrF /S /StmF /S >>", true, kRc4, kRc4, kRc4,
         "rc4", 40},
        {v4 + "/CF << /S << /CFM /V2 /Length 2000000000 >> >> /StrF /S /StmF /S >>", true, kRc4,
         kRc4, kRc4, "rc4", INT32_MAX},  // no overflow
        // EFF apart from StmF, and StmF's default for it.
        {v4 + "/CF << /S " + aes + " /E " + rc4 + " >> /StrF /S /StmF /S /EFF /E >>", true, kAes,
         kAes, kRc4, "aes128", 128},
        {v4 + "/CF << /E " + aes + " >> /EFF /E >>", true, kId, kId, kAes, "aes128", 128},
        // StrF and StmF default to Identity; with no filter used, Length or 128 bits.
        {v4 + ">>", true, kId, kId, kId, "rc4", 128},
        {v4 + "/Length 40 >>", true, kId, kId, kId, "rc4", 40},
        // CFM None (or none given) leaves data as stored.
        {v4 + "/CF << /N << /CFM /None >> /M << >> >> /StrF /N /StmF /M >>", true, kId, kId, kId,
         "rc4", 128},
        {"<< /Filter /Standard /V 5 /R 6 /CF << /StdCF << /CFM /AESV3 >> >> /StrF /StdCF "
         "/StmF /Identity >>",
         true, kAes256, kId, kId, "aes256", 256},
        // A name CF lacks, a method the revision lacks, an unknown method.
        {v4 + "/CF << /S " + aes + " >> /StrF /S /StmF /Missing >>", false},
        {v4 + "/CF << /S << /CFM /AESV3 >> >> /StrF /S /StmF /S >>", false},
        {v4 + "/CF << /S " + aes + " /E << /CFM /Custom >> >> /StrF /S /StmF /S /EFF /E >>", false},
        {"<< /Filter /Standard /V 5 /R 6 /CF << /StdCF " + aes + " >> /StrF /StdCF /StmF /StdCF >>",
         false},
        {v4 + "/StrF /StdCF /StmF /StdCF >>", false},  // no CF at all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dict);
        TPDFStructure store;
        const TEncryptionEntries e = Entries(store, c.dict);
        const std::optional<TCryptFilters> filters = CryptFiltersOf(e);
        const TEncryptionScheme scheme = SchemeOf(e);
        ASSERT_EQ(filters.has_value(), c.supported);
        ASSERT_EQ(scheme != TEncryptionScheme::Unsupported, c.supported);
        if (!c.supported) continue;
        EXPECT_EQ(std::tuple(filters->Strings, filters->Streams, filters->EmbeddedFiles),
                  std::tuple(c.strings, c.streams, c.embedded));
        const TKeyParameters key = KeyParametersOf(e, scheme);
        const char* cipher = key.cipher == TCipherKind::Aes256   ? "aes256"
                             : key.cipher == TCipherKind::Aes128 ? "aes128"
                                                                 : "rc4";
        EXPECT_STREQ(cipher, c.scheme);
        EXPECT_EQ(key.bits, c.bits);
    }
}

TEST(EncryptionEntries, OnlyTheStandardHandlersRevisionsAreSupported) {
    // Other handlers, and V and R that do not go together.
    for (const char* dict : {
             "<< /Filter /Custom /V 2 /R 3 >>",
             "<< /V 2 /R 3 >>",
             "<< /Filter /Standard /V 0 /R 2 >>",
             "<< /Filter /Standard /V 3 /R 3 >>",
             "<< /Filter /Standard /V 1 /R 4 >>",
             "<< /Filter /Standard /V 5 /R 4 /CF << /S << /CFM /AESV3 >> >> /StrF /S /StmF /S >>",
         }) {
        TPDFStructure store;
        EXPECT_EQ(SchemeOf(Entries(store, dict)), TEncryptionScheme::Unsupported) << dict;
    }
}

TEST(EncryptionEntries, NamedFiltersKeepOnlyMethodsTheRevisionDefines) {
    // Streams that name their own filter find it here; one we cannot apply is left out.
    TPDFStructure store;
    const TEncryptionEntries e = Entries(
        store,
        "<< /Filter /Standard /V 4 /R 4 /CF << /A << /CFM /AESV2 >> /R << /CFM /V2 >> /N << "
        "/CFM /None >> /X << /CFM /AESV3 >> /Bad 5 >> /StrF /A /StmF /A >>");
    const std::optional<TCryptFilters> filters = CryptFiltersOf(e);
    ASSERT_TRUE(filters.has_value());
    EXPECT_EQ(filters->Named, (std::map<std::string, TCryptMethod, std::less<>>{
                                  {"A", kAes}, {"R", kRc4}, {"N", kId}}));
}

}  // namespace
}  // namespace verava
