#include "security/password_forms.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "objects/pdf_structure.h"
#include "security/pdf_security_handler.h"
#include "support/bytes.h"
#include "support/standard_encryption.h"

namespace verava {
namespace {

using testing::FileKey;
using testing::StandardEncryption;
using testing::ToHex;

// One typed text's bytes as other tools store them. GBK codes from the GB 2312 / GBK code
// tables, UTF-8 from the Unicode code points.
const std::string kZhongWenGbk = "\xD6\xD0\xCE\xC4";           // 中文
const std::string kZhongWenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
const std::u16string kZhongWen = u"\u4E2D\u6587";              // 中文
const std::u16string kWenZhong = u"\u6587\u4E2D";              // 文中, same length
const std::u16string kZhongGuo = u"\u4E2D\u56FD";              // 中国, same length

std::vector<std::string> Hex(const std::vector<std::string>& forms) {
    std::vector<std::string> out;
    for (const std::string& f : forms) out.push_back(ToHex(f));
    return out;
}

TEST(PasswordForms, LegacyFormsArePdfDocEncodingThenGbkThenGb18030ThenUtf8) {
    const struct {
        std::u16string text;
        std::vector<std::string> forms;  // hex
    } cases[] = {
        // Every form the same: tried once.
        {u"abc", {"616263"}},
        {u"", {""}},
        // No PDFDocEncoding form, and no "?" standing in for one.
        {kZhongWen, {"d6d0cec4", "e4b8ade69687"}},
        // e-acute: PDFDocEncoding E9, GBK A8A6 (a pinyin letter), UTF-8 C3A9.
        {u"\u00E9", {"e9", "a8a6", "c3a9"}},
        // The euro sign: PDFDocEncoding A0, code page 936 80, GB18030 A2E3.
        {u"\u20AC", {"a0", "80", "a2e3", "e282ac"}},
        // U+20000 is beyond GBK; GB18030 gives it four bytes.
        {u"\U00020000", {"95328236", "f0a08080"}},
        // 33 characters: only the 32 bytes that the key derivation reads.
        {std::u16string(33, u'x'), {ToHex(std::string(32, 'x'))}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.forms.back());
        EXPECT_EQ(Hex(LegacyPasswordForms(c.text)), c.forms);
    }
}

TEST(PasswordForms, Utf8FormsArePreparedThenAsTyped) {
    const struct {
        std::u16string text;
        std::vector<std::string> forms;
    } cases[] = {
        {u"abc", {"abc"}},
        {u"", {""}},
        {kZhongWen, {kZhongWenUtf8}},
        {u"a\u00A0b",
         {"a b",
          "a\xC2\xA0"
          "b"}},
        {u"\u4E2D\u3000\u6587",
         {"\xE4\xB8\xAD \xE6\x96\x87", "\xE4\xB8\xAD\xE3\x80\x80\xE6\x96\x87"}},
        {u"a\u00ADb",
         {"ab",
          "a\xC2\xAD"
          "b"}},
        {u"\u00AD", {"", "\xC2\xAD"}},
        // Three forms: prepared (NFKC), mapped only, as typed.
        {u"\u2163\u00AD", {"IV", "\xE2\x85\xA3", "\xE2\x85\xA3\xC2\xAD"}},
        // Refused by the profile (a control character): mapped, then as typed.
        {u"a\u00AD\u0007", {"a\x07", "a\xC2\xAD\x07"}},
        // Cut to 127 bytes, after preparing: both forms end up the same.
        {std::u16string(200, u'a'), {std::string(127, 'a')}},
        {u"\u00AD" + std::u16string(200, u'a'),
         {std::string(127, 'a'), "\xC2\xAD" + std::string(125, 'a')}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToHex(c.forms.front()));
        EXPECT_EQ(Utf8PasswordForms(c.text), c.forms);
    }
}

TEST(PasswordForms, SaslPrepFollowsRfc4013) {
    // The profile is libidn's; these are the inputs our wrapper hands it or keeps from it.
    const struct {
        std::u16string text;
        std::optional<std::string> prepared;
    } cases[] = {
        // Examples of RFC 4013, section 3: mapping, a control character, the bidi rule.
        {u"I\u00ADX", "IX"},
        {u"\u0007", std::nullopt},
        {u"\u0627\u0031", std::nullopt},
        // NFKC composes and folds compatibility characters.
        {u"\u2163", "IV"},
        {u"e\u0301", "\xC3\xA9"},
        {u"\u00AD", ""},
        {kZhongWen, kZhongWenUtf8},
        // A lone surrogate and U+0000 are prohibited, not cut short.
        {std::u16string(u"a") + char16_t(0xD800), std::nullopt},
        {std::u16string(u"a\0b", 3), std::nullopt},
        // Unassigned code points pass in a query string.
        {u"a\U000E0080", "a\xF3\xA0\x82\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(
            ToHex(std::string(reinterpret_cast<const char*>(c.text.data()), c.text.size() * 2)));
        EXPECT_EQ(SaslPrep(c.text), c.prepared);
    }
}

TEST(PasswordForms, SaslPrepMapsRfc3454SpacesToSpaceAndDropsInvisibles) {
    // RFC 3454 table C.1.2, less U+200B which is also in B.1.
    const std::u16string spaces =
        u"\u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200A\u202F"
        u"\u205F\u3000";
    for (char16_t s : spaces) {
        SCOPED_TRACE(static_cast<int>(s));
        EXPECT_EQ(SaslPrepMapped(std::u16string(u"a") + s + u"b"), u"a b");
    }
    // RFC 3454 table B.1.
    std::u16string nothing = u"\u00AD\u034F\u1806\u180B\u180C\u180D\u200B\u200C\u200D\u2060\uFEFF";
    for (char16_t v = 0xFE00; v <= 0xFE0F; ++v) nothing.push_back(v);
    for (char16_t s : nothing) {
        SCOPED_TRACE(static_cast<int>(s));
        EXPECT_EQ(SaslPrepMapped(std::u16string(u"a") + s + u"b"), u"ab");
    }
    // Everything else stays, ASCII space and tab included.
    const std::u16string kept = u"a \tb\u00E9\u4E2D\u2010\u3001\U0001F600";
    EXPECT_EQ(SaslPrepMapped(kept), kept);
}

// A handler over a trailer protected as `e` says.
struct Protected {
    explicit Protected(const StandardEncryption& e)
        : trailer(As<TPDFDictionary>(store.ParseText(testing::TrailerWith(e)))) {
        handler.ReadEncryption(trailer);
    }
    TPDFStructure store;
    TPDFDictionary* trailer;
    TPDFSecurityHandler handler;
};

struct OpenCase {
    const char* name;
    std::string user;  // bytes as stored
    std::string owner;
    std::u16string typed;
    bool asUser;
    bool asOwner;
    std::u16string wrong;  // a text that must open nothing
};

void ExpectOpens(const StandardEncryption& e, const OpenCase& c) {
    Protected p(e);
    TPDFSecurityHandler& h = p.handler;
    ASSERT_EQ(h.EncryptionStatus(), 1);
    h.TryPassword(c.typed);
    EXPECT_EQ(h.UserAccepted(), c.asUser);
    EXPECT_EQ(h.OwnerAccepted(), c.asOwner);
    EXPECT_EQ(h.Password(), c.typed);
    EXPECT_EQ(ToHex(h.ObjectKeyBase()), ToHex(FileKey(e)));
    EXPECT_EQ(ToHex(h.FileKey()), ToHex(FileKey(e)));
    // The single checks, as the merge's input check makes them.
    EXPECT_EQ(h.CheckUserPassword(c.typed), c.asUser);
    EXPECT_EQ(h.CheckOwnerPassword(c.typed), c.asOwner);

    h.TryPassword(c.wrong);
    EXPECT_FALSE(h.UserAccepted());
    EXPECT_FALSE(h.OwnerAccepted());
    EXPECT_EQ(h.ObjectKeyBase(), "");
    EXPECT_FALSE(h.CheckUserPassword(c.wrong));
    EXPECT_FALSE(h.CheckOwnerPassword(c.wrong));
}

std::vector<StandardEncryption> LegacyRevisions() {
    StandardEncryption r2, r3, r4, r4Aes;
    r2.Revision = 2;
    r3.Revision = 3;
    r4.Revision = 4;
    r4Aes.Revision = 4;
    r4Aes.Aes = true;
    return {r2, r3, r4, r4Aes};
}

TEST(PasswordForms, LegacyFilesOpenWithTheTextOfPasswordsStoredAsGbkUtf8OrPdfDocEncoding) {
    const OpenCase cases[] = {
        {"user as GBK", kZhongWenGbk, "owner", kZhongWen, true, false, kWenZhong},
        {"owner as GBK", "user", kZhongWenGbk, kZhongWen, false, true, kZhongGuo},
        {"user as UTF-8", kZhongWenUtf8, "owner", kZhongWen, true, false, kWenZhong},
        {"owner as UTF-8", "user", kZhongWenUtf8, kZhongWen, false, true, kWenZhong},
        // PDFDocEncoding as before: e-acute is E9 (ISO 32000-1 Annex D).
        {"user as PDFDocEncoding", "caf\xE9", "owner", u"caf\u00E9", true, false, u"cafe"},
        {"owner as PDFDocEncoding", "user", "\xE9t\xE9", u"\u00E9t\u00E9", false, true, u"ete"},
        // The euro sign hashed by a GB18030 writer (A2E3), not as its GBK or PDFDoc code.
        {"user as GB18030", "\xA2\xE3", "owner", u"\u20AC", true, false, u"E"},
        {"user beyond GBK as GB18030", "\x95\x32\x82\x36", "owner", u"\U00020000", true, false,
         u"\U00020001"},
        {"same bytes for both", kZhongWenGbk, kZhongWenGbk, kZhongWen, true, true, kWenZhong},
    };
    for (const StandardEncryption& revision : LegacyRevisions()) {
        for (const OpenCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", revision " + std::to_string(revision.Revision) +
                         (revision.Aes ? " AES" : ""));
            StandardEncryption e = revision;
            e.UserPassword = c.user;
            e.OwnerPassword = c.owner;
            ExpectOpens(e, c);
        }
    }
}

TEST(PasswordForms, EqualLengthChinesePasswordsNoLongerCollide) {
    for (StandardEncryption e : LegacyRevisions()) {
        SCOPED_TRACE(e.Revision);
        {
            // Two Chinese characters used to hash as "??", whichever they were.
            e.UserPassword = kZhongWenGbk;
            e.OwnerPassword = "owner";
            Protected p(e);
            for (const std::u16string& other : {kWenZhong, kZhongGuo, std::u16string(u"??")}) {
                p.handler.TryPassword(other);
                EXPECT_FALSE(p.handler.UserAccepted() || p.handler.OwnerAccepted());
            }
            p.handler.TryPassword(kZhongWen);
            EXPECT_TRUE(p.handler.UserAccepted());
        }
        {
            // Nor do they open a file whose password really is "??".
            e.UserPassword = "??";
            Protected p(e);
            p.handler.TryPassword(kZhongWen);
            EXPECT_FALSE(p.handler.UserAccepted() || p.handler.OwnerAccepted());
            p.handler.TryPassword(u"??");
            EXPECT_TRUE(p.handler.UserAccepted());
        }
    }
}

TEST(PasswordForms, FirstFormThatOpensDecidesTheRole) {
    // The same text stored as GBK for one role and as UTF-8 for the other: GBK is tried
    // first, so its role is the one granted.
    StandardEncryption e;
    e.UserPassword = kZhongWenGbk;
    e.OwnerPassword = kZhongWenUtf8;
    {
        Protected p(e);
        p.handler.TryPassword(kZhongWen);
        EXPECT_TRUE(p.handler.UserAccepted());
        EXPECT_FALSE(p.handler.OwnerAccepted());
        // A single owner check goes on to the UTF-8 form.
        EXPECT_TRUE(p.handler.CheckOwnerPassword(kZhongWen));
    }
    std::swap(e.UserPassword, e.OwnerPassword);
    {
        Protected p(e);
        p.handler.TryPassword(kZhongWen);
        EXPECT_FALSE(p.handler.UserAccepted());
        EXPECT_TRUE(p.handler.OwnerAccepted());
    }
}

TEST(PasswordForms, AcceptedBytesAreTheOnesLaterDerivationsUse) {
    // User-only access: the failed owner check must not leave its bytes and key behind.
    StandardEncryption e;
    e.UserPassword = kZhongWenGbk;
    e.OwnerPassword = "owner";
    Protected p(e);
    TPDFSecurityHandler& h = p.handler;
    h.TryPassword(kZhongWen);
    ASSERT_TRUE(h.UserAccepted());
    EXPECT_EQ(ToHex(h.FileKey()), ToHex(FileKey(e)));
    EXPECT_EQ(ToHex(h.ObjectKey(7, 0).Rc4), ToHex(testing::Rc4ObjectKey(FileKey(e), 7, 0)));
    // Owner access recovers the user password's bytes from "O".
    h.TryPassword(u"owner");
    ASSERT_TRUE(h.OwnerAccepted());
    const std::string recovered =
        UserPasswordOfOwnerEntry(h.Encryption(), ComputeOwnerKey(h.Encryption(), "owner"));
    EXPECT_EQ(ToHex(recovered.substr(0, kZhongWenGbk.size())), ToHex(kZhongWenGbk));
    EXPECT_EQ(ToHex(h.ObjectKey(7, 0).Rc4), ToHex(testing::Rc4ObjectKey(FileKey(e), 7, 0)));
}

TEST(PasswordForms, Aes256FilesOpenWithThePreparedOrTheTypedUtf8) {
    const std::u16string spaced = u"\u4E2D\u3000\u6587";  // with an ideographic space
    const OpenCase cases[] = {
        {"user as UTF-8", kZhongWenUtf8, "owner", kZhongWen, true, false, kWenZhong},
        {"owner as UTF-8", "user", kZhongWenUtf8, kZhongWen, false, true, kZhongGuo},
        // A writer that prepared "a<no-break space>b" stored "a b": both spellings open.
        {"no-break space typed", "a b", "owner", u"a\u00A0b", true, false, u"ab"},
        {"plain space typed", "a b", "owner", u"a b", true, false, u"a\u00ADb"},
        {"ideographic space typed", "\xE4\xB8\xAD \xE6\x96\x87", "owner", spaced, true, false,
         kZhongWen},
        // A writer that skipped the preparation stored the no-break space itself.
        {"unprepared no-break space",
         "a\xC2\xA0"
         "b",
         "owner", u"a\u00A0b", true, false, u"a b"},
        {"soft hyphen mapped to nothing", "user", "ab", u"a\u00ADb", false, true, u"a-b"},
        // Stored as prepared (NFKC); typed either way.
        {"roman numeral typed", "IV", "owner", u"\u2163", true, false, u"\u2162"},
        {"decomposed e-acute typed", "user", "caf\xC3\xA9", u"cafe\u0301", false, true,
         u"cafe\u0300"},
        // Stored without NFKC by a writer that skipped it.
        {"unprepared roman numeral", "\xE2\x85\xA3", "owner", u"\u2163", true, false, u"IV"},
    };
    for (int revision : {5, 6}) {
        for (const OpenCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", revision " + std::to_string(revision));
            StandardEncryption e;
            e.Revision = revision;
            e.UserPassword = c.user;
            e.OwnerPassword = c.owner;
            ExpectOpens(e, c);
        }
    }
}

TEST(PasswordForms, TextThatPreparesToNothingIsNoOwnerAccessToAes256) {
    // Empty owner password, user "u": a soft hyphen alone prepares to the empty password.
    StandardEncryption e;
    e.Revision = 6;
    e.UserPassword = "u";
    Protected p(e);
    TPDFSecurityHandler& h = p.handler;
    ASSERT_TRUE(h.CheckOwnerPassword(u"\u00AD"));
    h.TryPassword(u"\u00AD");
    EXPECT_FALSE(h.UserAccepted());
    EXPECT_FALSE(h.OwnerAccepted());
    h.TryPassword(u"u");
    EXPECT_TRUE(h.UserAccepted());
    EXPECT_FALSE(h.OwnerAccepted());
}

}  // namespace
}  // namespace verava
