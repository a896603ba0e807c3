#include "objects/charset_text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/bytes.h"

namespace verava {
namespace {

using testing::ToHex;

TEST(CharsetText, ConvertsBothWaysInTheNamedSet) {
    const struct {
        const char* charset;
        std::u16string text;
        const char* hex;  // from the set's published code table
    } cases[] = {
        {"GBK", u"\u4E2D\u6587", "d6d0cec4"},           {"GBK", u"ab\u00E9", "6162a8a6"},
        {"CP936", u"\u4E2D\u6587", "d6d0cec4"},         {"GB18030", u"\U00020000", "95328236"},
        {"UTF-8", u"\u00E9\U0001F600", "c3a9f09f9880"}, {"GBK", u"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.charset) + " " + c.hex);
        const std::optional<std::string> bytes = UnicodeToCharset(c.text, c.charset);
        ASSERT_TRUE(bytes.has_value());
        EXPECT_EQ(ToHex(*bytes), c.hex);
        EXPECT_EQ(CharsetToUnicode(*bytes, c.charset), c.text);
    }
}

TEST(CharsetText, LongTextConvertsWhole) {
    // Three UTF-8 bytes for every two UTF-16 ones.
    const std::u16string text(5000, u'\u4E2D');
    const std::optional<std::string> bytes = UnicodeToCharset(text, "UTF-8");
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(bytes->size(), 15000u);
    EXPECT_EQ(bytes->substr(bytes->size() - 3), "\xE4\xB8\xAD");
    EXPECT_EQ(CharsetToUnicode(*bytes, "UTF-8"), text);
}

TEST(CharsetText, FailsRatherThanReplacingOrDropping) {
    // A character without a code, an unpaired surrogate, an unknown set.
    EXPECT_FALSE(UnicodeToCharset(u"a\U0001F600", "GBK").has_value());
    EXPECT_FALSE(UnicodeToCharset(u"a\xD800"
                                  u"b",
                                  "UTF-8")
                     .has_value());
    EXPECT_FALSE(UnicodeToCharset(u"a", "NO-SUCH-CHARSET").has_value());
    // Bytes not valid in the set, a sequence cut short, an unknown set.
    EXPECT_FALSE(CharsetToUnicode("\xD6\xD0\xCE", "GBK").has_value());
    EXPECT_FALSE(CharsetToUnicode("\xFF", "GBK").has_value());
    EXPECT_FALSE(CharsetToUnicode("\xD6\xD0", "UTF-8").has_value());
    EXPECT_FALSE(CharsetToUnicode("\xE4\xB8", "UTF-8").has_value());
    EXPECT_FALSE(CharsetToUnicode("a", "NO-SUCH-CHARSET").has_value());
}

}  // namespace
}  // namespace verava
