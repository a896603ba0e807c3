#include <gtest/gtest.h>

#include "objects/number_text.h"
#include "objects/pdf_structure.h"

namespace verava {
namespace {

TEST(Serialiser, WritesEachKind) {
    TPDFStructure store;
    EXPECT_EQ(store.NewNull()->ToText(), "null");
    EXPECT_EQ(store.NewBoolean(true)->ToText(), "true");
    EXPECT_EQ(store.NewNumeric(612.00001)->ToText(), "612");
    EXPECT_EQ(store.NewIndRef(12, 0)->ToText(), "12 0 R");
    EXPECT_EQ(store.NewName("")->ToText(), "/");
    EXPECT_EQ(store.NewArray()->ToText(), "[ ]");
    EXPECT_EQ(store.NewDictionary()->ToText(), "<<\n>>\n");
    TPDFDictionary* page = store.NewDictionary();
    page->SetValue("Type", store.NewName("Page"));
    EXPECT_EQ(page->ToText(), "<<\n/Type /Page\n>>\n");
}

TEST(Serialiser, NamesEscapeDelimitersAndNonPrintables) {
    TPDFStructure store;
    EXPECT_EQ(store.NewName("A B")->ToText(), "/A#20B");
    EXPECT_EQ(store.NewName("x}")->ToText(), "/x#7D");
    EXPECT_EQ(store.NewName("\xE9")->ToText(), "/#E9");
    EXPECT_EQ(store.NewName("#%()/<>[]{")->ToText(), "/#23#25#28#29#2F#3C#3E#5B#5D#7B");
    EXPECT_EQ(store.NewName(std::string("\x00\x7F", 2))->ToText(), "/#00#7F");
}

TEST(Serialiser, LiteralAndHexStrings) {
    TPDFStructure store;
    EXPECT_EQ(store.NewString("a\rb\x0B", false)->ToText(), "(a\\rb\x0B)");
    EXPECT_EQ(store.NewString(std::string("\b\t\n\f()\\\0\xFF", 9), false)->ToText(),
              std::string("(\\b\\t\\n\\f\\(\\)\\\\\0\xFF)", 18));
    EXPECT_EQ(store.NewString("\x01\xAB", true)->ToText(), "<01AB>");
    EXPECT_EQ(store.NewString("", true)->ToText(), "<>");
}

TEST(Serialiser, LongArraysBreakAfterEightyCharacters) {
    TPDFStructure store;
    TPDFArray* a = store.NewArray();
    for (int i = 0; i < 40; ++i) a->Add(store.NewIndRef(10, 0));
    const std::string text = a->ToText();
    // "[ " then "10 0 R " (7 characters) per item: the line passes 80 after item 12.
    const std::string line = "10 0 R ";
    std::string expected = "[ ";
    size_t mark = 0;
    for (int i = 0; i < 40; ++i) {
        expected += line;
        if (expected.size() - mark > 80) {
            expected += "\n";
            mark = expected.size();
        }
    }
    expected += "]";
    EXPECT_EQ(text, expected);
    EXPECT_EQ(
        text.substr(0, 86), "[ " + [] {
            std::string s;
            for (int i = 0; i < 12; ++i) s += "10 0 R ";
            return s;
        }());
    EXPECT_EQ(text[86], '\n');
}

TEST(Serialiser, NestedDictionariesEndTheirOwnLine) {
    TPDFStructure store;
    TPDFObject* o = store.ParseText("<< /A << /B 1 >> /C [ << /D 2 >> 3 ] >>");
    EXPECT_EQ(o->ToText(), "<<\n/A <<\n/B 1\n>>\n/C [ <<\n/D 2\n>>\n3 ]\n>>\n");
}

TEST(Serialiser, NumbersBeyondTheUsualFormAreWrittenNeverDropped) {
    // In a dictionary, in a nested array and on its own: each keeps its value.
    TPDFStructure store;
    TPDFDictionary* d = store.NewDictionary();
    d->SetValue("A", store.NewNumeric(1));
    d->SetValue("Big", store.NewNumeric(1e20));
    TPDFArray* inner = store.NewArray();
    inner->Add(store.NewNumeric(2));
    inner->Add(store.NewNumeric(-9.5e14));
    d->SetValue("Arr", inner);
    d->SetValue("Z", store.NewNumeric(3));
    EXPECT_EQ(d->ToText(),
              "<<\n/A 1\n/Big 100000000000000000000.0\n/Arr [ 2 -950000000000000 ]\n/Z 3\n>>\n");
    EXPECT_EQ(inner->ToText(), "[ 2 -950000000000000 ]");
    // Read back, the same text again.
    EXPECT_EQ(store.ParseText(d->ToText())->ToText(), d->ToText());
    auto* big = As<TPDFNumeric>(As<TPDFDictionary>(store.ParseText(d->ToText()))->GetValue("Big"));
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->NumValue, 1e20);
}

TEST(Serialiser, AValueThatContainsItselfIsWalkedToABound) {
    // Two dictionaries holding each other directly (inherited page attributes copied down
    // a tree that loops can end like this): every walk ends instead of overflowing.
    TPDFStructure store;
    TPDFDictionary* a = store.NewDictionary();
    TPDFDictionary* b = store.NewDictionary();
    a->SetValue("Resources", b);
    b->SetValue("Resources", a);
    b->SetValue("R", store.NewIndRef(1, 0));
    a->SetModified(false);
    b->SetModified(false);
    EXPECT_TRUE(a->IsModified());  // too deep to tell: taken as changed
    const std::string text = a->ToText();
    EXPECT_NE(text.find("% bug \n"), std::string::npos);
    EXPECT_LT(text.size(), 1u << 20);
    a->ShiftReferences(5);
    EXPECT_EQ(As<TPDFIndRef>(b->GetValue("R"))->TargetNumber,
              1 + 5 * (TPDFObject::kMaxWalkDepth / 2));
    a->Release();
    TPDFArray* loop = store.NewArray();
    loop->Add(loop);
    EXPECT_THROW(loop->ToText(), ENestingTooDeep);
}

TEST(Serialiser, StreamsFrameTheirBytes) {
    TPDFStructure store;
    TPDFStream* s = store.NewStream("abc", false);
    EXPECT_EQ(s->ToText(), "<<\n/Length 3\n>>\nstream\nabc\nendstream");
}

TEST(Serialiser, NumberDecimalsComeFromTheStore) {
    TPDFStructure store;
    store.NumberDecimals = 2;
    EXPECT_EQ(store.NewNumeric(1.0 / 3)->ToText(), "0.33");
    store.NumberDecimals = 0;
    EXPECT_EQ(store.NewNumeric(2.5)->ToText(), "2");
    store.Clear();
    EXPECT_EQ(store.NumberDecimals, 4);
}

TEST(Serialiser, ParseWriteParseIsStable) {
    const char* inputs[] = {
        "<< /Type /Page /MediaBox [0 0 612.5 792] /Contents 4 0 R /Annots [1 0 R 2 0 R] >>",
        "[ (a\\(b\\)c) <00FF> /N#20a 1.23456 -0.5 true false null ]",
        "<< /S (\\101\\r\\n) /T <FEFF004100> /K [ [ [ 1 ] ] ] /D << >> >>",
        "(unbalanced \\( paren)",
    };
    for (const char* input : inputs) {
        TPDFStructure store;
        const std::string first = store.ParseText(input)->ToText();
        const std::string second = store.ParseText(first)->ToText();
        EXPECT_EQ(first, second) << input;
    }
}

}  // namespace
}  // namespace verava
