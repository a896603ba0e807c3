#include <gtest/gtest.h>

#include <cmath>

#include "objects/pdf_structure.h"

namespace verava {
namespace {

class ParserTest : public ::testing::Test {
  protected:
    TPDFObject* Parse(std::string_view text) { return store.ParseText(text); }
    TPDFObject* Parse(std::string_view text, size_t& consumed) {
        return store.Parse(text, 0, consumed);
    }
    TPDFStructure store;
};

TEST_F(ParserTest, NumbersAndReferencesAreDisambiguated) {
    size_t consumed = 0;
    {
        auto* r = As<TPDFIndRef>(Parse("12 0 R", consumed));
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->TargetNumber, 12);
        EXPECT_EQ(r->TargetGeneration, 0);
        EXPECT_EQ(consumed, 6u);
    }
    {
        // "obj" after the pair: only the first number is taken.
        auto* n = As<TPDFNumeric>(Parse("12 0 obj", consumed));
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->NumValue, 12);
        EXPECT_EQ(consumed, 2u);
    }
    {
        auto* n = As<TPDFNumeric>(Parse("12 0", consumed));
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(consumed, 2u);
    }
    // A number with a decimal point never starts a reference.
    EXPECT_EQ(As<TPDFNumeric>(Parse("1.5 0 R"))->NumValue, 1.5);
    // No delimiter is needed after R; comments may sit inside a reference.
    EXPECT_EQ(As<TPDFIndRef>(Parse("7 % c\n 1 % d\n R/Next"))->TargetGeneration, 1);
    // Inside an array the pair 1 2 followed by a name stays two numbers.
    EXPECT_EQ(Parse("[1 2 /X 3 4 R]")->ToText(), "[ 1 2 /X 3 4 R ]");
}

TEST_F(ParserTest, NumberForms) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {".5", 0.5},
        {"5.", 5.0},
        {"-.5", -0.5},
        {"1.5E-3", 0.0015},
        {"123456789", 123456789},
        {"-17", -17},
        {"00042", 42},
        {"3.25", 3.25},
        {"12345678901", 12345678901.0},
        {"--5", 0},
        {"-", 0},
        {"2E3", 2000},
    };
    for (const Case& c : cases) {
        auto* n = As<TPDFNumeric>(Parse(c.text));
        ASSERT_NE(n, nullptr) << c.text;
        EXPECT_NEAR(n->NumValue, c.value, 1e-12) << c.text;
    }
    // A lower-case e is not an exponent: the number ends before it.
    size_t consumed = 0;
    EXPECT_EQ(As<TPDFNumeric>(Parse("1.5e3", consumed))->NumValue, 1.5);
    EXPECT_EQ(consumed, 3u);
    // A leading plus is not accepted.
    EXPECT_NE(As<TPDFNull>(Parse("+5")), nullptr);
    EXPECT_EQ(Parse("<< /A 1 /B +5 /C 2 >>")->ToText(), "<<\n/A 1\n>>\n");
}

TEST_F(ParserTest, KeywordsNeedATerminator) {
    EXPECT_TRUE(As<TPDFBoolean>(Parse("true"))->Truth);
    EXPECT_FALSE(As<TPDFBoolean>(Parse("false]"))->Truth);
    EXPECT_NE(As<TPDFNull>(Parse("null")), nullptr);
    size_t consumed = 9;
    // truex is not a keyword; nothing is read and a fresh null stands in.
    TPDFObject* o = Parse("truex", consumed);
    EXPECT_NE(As<TPDFNull>(o), nullptr);
    EXPECT_EQ(consumed, 0u);
    EXPECT_EQ(Parse("[true/X]")->ToText(), "[ true /X ]");
}

TEST_F(ParserTest, NamesResolveHashEscapes) {
    EXPECT_EQ(As<TPDFName>(Parse("/A#42C"))->Text, "ABC");
    EXPECT_EQ(As<TPDFName>(Parse("/A#4G"))->Text, "A#4G");
    EXPECT_EQ(As<TPDFName>(Parse("/A}"))->Text, "A}");
    EXPECT_EQ(As<TPDFName>(Parse("/A#2"))->Text, "A#2");
    EXPECT_EQ(As<TPDFName>(Parse("/#23#2F"))->Text, "#/");
    EXPECT_EQ(As<TPDFName>(Parse("/Type/Page"))->Text, "Type");
    EXPECT_NE(As<TPDFNull>(Parse("/")), nullptr);  // a "/" with nothing after it is no name
    EXPECT_EQ(As<TPDFName>(Parse("/ "))->Text, "");
}

TEST_F(ParserTest, LiteralStringEscapes) {
    struct Case {
        std::string text;
        std::string bytes;
    } cases[] = {
        {"(a(b)c)", "a(b)c"},
        {"(a\\)b)", "a)b"},
        {"(\\101)", "A"},
        {"(\\0053)", std::string("\x05", 1) + "3"},
        {"(\\9)", "\x09"},
        {"(ab\\\ncd)", "abcd"},
        {"(ab\\\r\ncd)", "abcd"},
        {"(a\rb\r\nc)", "a\nb\nc"},
        {"(\\b\\f\\n\\r\\t\\q)", "\b\f\n\r\tq"},
        {"(\\\\)", "\\"},
        {"(x\\)", "x\\"},  // a backslash among the last two characters escapes nothing
        {"(x\\)y", ""},    // ...but further in it does, and the string stays open
    };
    for (const Case& c : cases) {
        TPDFObject* o = Parse(c.text);
        if (c.bytes.empty()) {
            EXPECT_NE(As<TPDFNull>(o), nullptr) << c.text;
            continue;
        }
        auto* s = As<TPDFString>(o);
        ASSERT_NE(s, nullptr) << c.text;
        EXPECT_EQ(s->Bytes, c.bytes) << c.text;
        EXPECT_FALSE(s->HexForm);
    }
    // An unterminated string yields nothing, so its array ends there.
    EXPECT_EQ(Parse("[1 (abc")->ToText(), "[ 1 ]");
}

TEST_F(ParserTest, HexStrings) {
    auto* s = As<TPDFString>(Parse("<48 65 6c6C6f>"));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Bytes, "Hello");
    EXPECT_TRUE(s->HexForm);
    EXPECT_EQ(As<TPDFString>(Parse("<414>"))->Bytes, "A@");
    EXPECT_EQ(As<TPDFString>(Parse("<4x1>"))->Bytes, "A");
    // Without ">" the content runs to the end less its last character.
    EXPECT_EQ(As<TPDFString>(Parse("<414243"))->Bytes, "AB@");
    EXPECT_EQ(As<TPDFString>(Parse("<>"))->Bytes, "");
}

TEST_F(ParserTest, DictionariesAndArrays) {
    // A repeated key keeps the first position with the last value.
    auto* d = As<TPDFDictionary>(Parse("<< /A 1 /B 2 /A 3 >>"));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->EntryCount(), 2);
    EXPECT_EQ(d->EntryAt(0).first->Text, "A");
    EXPECT_EQ(d->GetInteger("A", 0), 3);
    EXPECT_FALSE(d->IsModified());
    // A key without a value ends the dictionary.
    EXPECT_EQ(Parse("<< /A 1 /B >>")->ToText(), "<<\n/A 1\n>>\n");
    // A comment between key and value is skipped.
    EXPECT_EQ(As<TPDFDictionary>(Parse("<< /A % note\n 5 >>"))->GetInteger("A", 0), 5);
    // Unterminated containers come back with what was read.
    EXPECT_EQ(Parse("<< /Kids [1 0 R 2 0 R")->ToText(), "<<\n/Kids [ 1 0 R 2 0 R ]\n>>\n");
    // A key that is not a name ends the dictionary.
    EXPECT_EQ(Parse("<< /A 1 2 3 >>")->ToText(), "<<\n/A 1\n>>\n");
    // "<<" needs three more characters.
    EXPECT_NE(As<TPDFString>(Parse("<<>")), nullptr);
}

TEST_F(ParserTest, StreamsWrittenInsideNestedContainersAreSteppedOver) {
    struct Case {
        const char* text;
        const char* written;
    } cases[] = {
        // An appearance stream written in place: the rest of its holders is still read.
        {"<< /Annots [ << /AP << /N << /Length 3 >>\nstream\nabc\nendstream>> /FS 4 0 R >> ] "
         "/Contents 6 0 R >>",
         "<<\n/Annots [ <<\n/AP <<\n/N <<\n/Length 3\n>>\n>>\n/FS 4 0 R\n>>\n]\n/Contents 6 0 R\n>>\n"},
        {"[ 1 << /Length 0 >> stream\nendstream 2 ]", "[ 1 <<\n/Length 0\n>>\n2 ]"},
        // The object's own dictionary ends at "stream": its data follow.
        {"<< /Length 3 >>\nstream\nabc\nendstream", "<<\n/Length 3\n>>\n"},
        // Without its "endstream" nothing is stepped over: the container ends there.
        {"<< /A << /B 1 >> stream\nabc /C 2 >>", "<<\n/A <<\n/B 1\n>>\n>>\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Parse(c.text)->ToText(), c.written) << c.text;
    }
}

TEST_F(ParserTest, ReferenceArraysReserveFromTheirRCount) {
    auto* a = As<TPDFArray>(Parse("[1 0 R 2 0 R 3 0 R]"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Count(), 3);
    EXPECT_EQ(a->Spare(), 0);
    TPDFStructure other;
    size_t consumed = 0;
    // Stop after the first reference: two more "R" before "]" were reserved.
    auto* partial = As<TPDFArray>(other.Parse("[1 0 R ) 2 0 R 3 0 R]", 0, consumed));
    ASSERT_NE(partial, nullptr);
    EXPECT_EQ(partial->Count(), 1);
    EXPECT_EQ(partial->Spare(), 2);
}

TEST_F(ParserTest, ConsumedCountsLeadingWhitespaceAndComments) {
    size_t consumed = 0;
    TPDFObject* o = store.Parse("xx  % c\r\n /Name rest", 2, consumed);
    EXPECT_EQ(As<TPDFName>(o)->Text, "Name");
    EXPECT_EQ(consumed, 13u);
    EXPECT_NE(As<TPDFNull>(store.Parse("", 0, consumed)), nullptr);
    EXPECT_EQ(consumed, 0u);
    EXPECT_NE(As<TPDFNull>(store.Parse("abc", 10, consumed)), nullptr);
}

TEST_F(ParserTest, EveryBuiltObjectIsUnmodified) {
    TPDFObject* o = Parse("<< /A [ 1 (s) <00> /N true null 2 0 R << /B 1.5 >> ] >>");
    EXPECT_FALSE(o->IsModified());
    for (int32_t i = 0; i < store.ObjectCount(); ++i) {
        EXPECT_FALSE(store.ObjectAt(i)->Modified) << i;
    }
}

TEST_F(ParserTest, NestingIsBoundedWithoutOverflowingTheStack) {
    // 100000 levels would exhaust the stack of a naive recursive parser.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    TPDFObject* o = Parse(deep);
    ASSERT_NE(As<TPDFArray>(o), nullptr);
    int depth = 0;
    for (TPDFObject* cur = o; cur != nullptr; ++depth) {
        auto* a = As<TPDFArray>(cur);
        cur = a->Count() > 0 ? a->Get(0) : nullptr;
    }
    EXPECT_EQ(depth, TPDFStructure::kMaxNesting);
    const std::string deepDicts = [] {
        std::string s;
        for (int i = 0; i < 5000; ++i) s += "<</A ";
        return s;
    }();
    EXPECT_NE(As<TPDFDictionary>(Parse(deepDicts)), nullptr);
}

}  // namespace
}  // namespace verava
