// Files that qpdf protects with the raw bytes other tools hash for a typed password (GBK on
// Chinese Windows, UTF-8, an unprepared revision 6 password) must open in our document with
// the typed text, decrypt to their pages, and refuse a different text of the same length.
#include <gtest/gtest.h>

#include <string>

#include "document/pdf_document.h"
#include "objects/stream.h"
#include "support/bytes.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"

namespace verava {
namespace {

struct QpdfCase {
    const char* name;
    const char* keyArgs;  // what follows the passwords in --encrypt
    std::string user;     // bytes
    std::string owner;
    std::u16string typed;
    bool asUser;
    std::u16string wrong;
};

const std::string kZhongWenGbk = "\xD6\xD0\xCE\xC4";       // 中文
const std::string kMiMaUtf8 = "\xE5\xAF\x86\xE7\xA0\x81";  // 密码
const std::u16string kZhongWen = u"\u4E2D\u6587";
const std::u16string kMiMa = u"\u5BC6\u7801";
const std::u16string kWenZhong = u"\u6587\u4E2D";
const std::u16string kSpaced = u"\u4E2D\u3000\u6587";  // ideographic space between

const QpdfCase kCases[] = {
    {"RC4 40 R2, GBK user", "40", kZhongWenGbk, kMiMaUtf8, kZhongWen, true, kWenZhong},
    {"RC4 128 R3, GBK user", "128 --use-aes=n", kZhongWenGbk, kMiMaUtf8, kZhongWen, true,
     kWenZhong},
    {"RC4 128 R3, UTF-8 owner", "128 --use-aes=n", kZhongWenGbk, kMiMaUtf8, kMiMa, false,
     u"\u5BC6\u78BC"},
    {"AES-128 R4, GBK user", "128 --use-aes=y", kZhongWenGbk, kMiMaUtf8, kZhongWen, true,
     kWenZhong},
    {"AES-128 R4, UTF-8 owner", "128 --use-aes=y", kZhongWenGbk, kMiMaUtf8, kMiMa, false,
     kWenZhong},
    // qpdf stores hex bytes as given: once the prepared form, once the typed one.
    {"AES-256 R6, prepared user", "256", "\xE4\xB8\xAD \xE6\x96\x87", "own", kSpaced, true,
     kZhongWen},
    {"AES-256 R6, unprepared user", "256", "\xE4\xB8\xAD\xE3\x80\x80\xE6\x96\x87", "own", kSpaced,
     true, kZhongWen},
    // qpdf does not prepare passwords itself (11.3 stores "\u2163" as E2 85 A3): given the
    // SASLprep'd bytes, its files must open with the typed text; given the text, with it too.
    {"AES-256 R6, NFKC-prepared user", "256", "IV", "own", u"\u2163", true, u"\u2162"},
    {"AES-256 R6, NFKC-unprepared user", "256", "\xE2\x85\xA3", "own", u"\u2163", true, u"IV"},
    {"AES-256 R5, composed owner", "256 --force-R5", "usr", "caf\xC3\xA9", u"cafe\u0301", false,
     u"cafe"},
};

TEST(PasswordFormsPeer, QpdfFilesProtectedWithRawBytesOpenWithTheTypedText) {
    VERAVA_REQUIRE_TOOLS("qpdf");
    const std::string plain =
        testing::WriteTempFile("pw-peer-plain.pdf", testing::SimpleDocument(2).Build());
    int index = 0;
    for (const QpdfCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string path =
            testing::WriteTempFile("pw-peer-" + std::to_string(index++) + ".pdf", "");
        int status = 0;
        const std::string log = testing::RunCommand(
            "qpdf --allow-weak-crypto --password-mode=hex-bytes --encrypt " +
                testing::ToHex(c.user) + " " + testing::ToHex(c.owner) + " " + c.keyArgs + " -- " +
                testing::Quote(plain) + " " + testing::Quote(path) + " 2>&1",
            &status);
        ASSERT_TRUE(status == 0 || status == 3) << log;
        const std::string bytes = testing::ReadFileBytes(path);
        {
            TPDFDocument document;
            TMemoryStream stream(bytes);
            ASSERT_EQ(document.LoadFromStream(stream, c.typed), TPDFDocument::kLoaded);
            EXPECT_EQ(document.Security().UserAccepted(), c.asUser);
            EXPECT_EQ(document.Security().OwnerAccepted(), !c.asUser);
            EXPECT_EQ(testing::PageLabels(document),
                      (std::vector<std::string>{"Page 1", "Page 2"}));
        }
        {
            TPDFDocument document;
            TMemoryStream stream(bytes);
            EXPECT_EQ(document.LoadFromStream(stream, c.wrong), TPDFDocument::kPasswordRejected);
        }
    }
}

}  // namespace
}  // namespace verava
