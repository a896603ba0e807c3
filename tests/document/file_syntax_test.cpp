#include "document/file_syntax.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "objects/pdf_structure.h"
#include "objects/stream.h"

namespace verava {
namespace {

TObjectStreamIndex IndexOf(const std::string& entries, const std::string& data) {
    TPDFStructure store;
    return ReadObjectStreamIndex(*As<TPDFDictionary>(store.ParseText("<< " + entries + " >>")),
                                 data);
}

// The texts an object stream hands out for positions 0..5, asking with the number its index
// lists there ("-" for none), joined by "|"; "invalid: " first when the index is not valid.
std::string Texts(const std::string& entries, const std::string& data) {
    TObjectStreamIndex index = IndexOf(entries, data);
    std::string texts = index.Valid() ? "" : "invalid: ";
    for (int32_t position = 0; position < 6; ++position) {
        const auto pair = index.Pair(data, position);
        const auto text =
            pair ? PackedObjectText(index, data, position, static_cast<int32_t>(pair->first))
                 : std::nullopt;
        texts += (position == 0 ? "" : "|") + (text ? std::string(*text) : "-");
    }
    return texts;
}

TEST(ObjectStreamIndex, ReadsExactlyNPairsFromTheHeader) {
    const std::string none = "invalid: -|-|-|-|-|-";
    const struct {
        const char* name;
        std::string entries, data, texts;
    } cases[] = {
        {"two objects", "/N 2 /First 10", "10 0 11 5 (ten)(eleven)", "(ten)|(eleven)|-|-|-|-"},
        {"numbers past N are never read", "/N 1 /First 13", "10 0 1 1 1 1 (ten)",
         "(ten)|-|-|-|-|-"},
        {"fewer pairs than N", "/N 3 /First 10", "10 0 11 5 (ten)(eleven)", none},
        {"more pairs than the header could hold", "/N 25000000 /First 10",
         "10 0 11 5 (ten)(eleven)", none},
        {"First beyond the data is clipped", "/N 1 /First 99", "10 0", "-|-|-|-|-|-"},
        {"reals are rounded, words count 0, comments skipped", "/N 3 /First 21",
         "9.6 0 x 5 %c\n11 4.6  (ten)(eleven)", "(ten)|-|(eleven)|-|-|-"},
        {"a delimiter ends the header", "/N 2 /First 10", "10 0 [ 5 ] (ten)(eleven)", none},
        {"N or First no number", "/N /Two /First 10", "10 0 11 5 (ten)(eleven)", none},
        {"an offset before the data", "/N 1 /First 6", "10 -9 (ten)", "-|-|-|-|-|-"},
    };
    for (const auto& c : cases) EXPECT_EQ(Texts(c.entries, c.data), c.texts) << c.name;
}

TEST(ObjectStreamIndex, FindsPairsInAnyOrderAmongThousands) {
    // 1000 pairs "k 2k": pairs asked for out of order, from marks and walks alike.
    std::string header;
    for (int k = 0; k < 1000; ++k) header += std::to_string(k) + " " + std::to_string(2 * k) + " ";
    std::string data = header;
    for (int k = 0; k < 1000; ++k) data += k % 10 == 0 ? "0 " : "1 ";
    TObjectStreamIndex index = IndexOf("/N 1000 /First " + std::to_string(header.size()), data);
    ASSERT_TRUE(index.Valid());
    for (int64_t position : {999, 0, 517, 16, 15, 518, 998, 3}) {
        const auto pair = index.Pair(data, position);
        ASSERT_TRUE(pair) << position;
        EXPECT_EQ(*pair, std::make_pair(position, 2 * position));
        const auto text = PackedObjectText(index, data, static_cast<int32_t>(position),
                                           static_cast<int32_t>(position));
        ASSERT_TRUE(text) << position;
        // The white space that ends the data is no part of the last text.
        const std::string value = position % 10 == 0 ? "0" : "1";
        EXPECT_EQ(*text, position == 999 ? value : value + " ");
    }
    // Nor is a megabyte of padding after it.
    std::string padded = data + std::string(1 << 20, ' ') + "\n";
    TObjectStreamIndex again = IndexOf("/N 1000 /First " + std::to_string(header.size()), padded);
    EXPECT_EQ(PackedObjectText(again, padded, 999, 999), "1");
    EXPECT_FALSE(index.Pair(data, 1000));
    EXPECT_FALSE(PackedObjectText(index, data, 5, 6));  // the pair lists another number
}

TEST(ObjectStreamIndex, OverlappingTextsEndOnceTheyAddUpToMuchMoreThanTheData) {
    // Offsets going back and forth let every even position claim nearly all of 100 KB (no
    // white space: that would be cut off the end).
    const std::string body = "(x)" + std::string(100000, 'y');
    std::string header;
    const int pairs = 2000;
    for (int k = 0; k < pairs; ++k) header += "7 " + std::to_string(k % 2 == 0 ? 0 : 99999) + " ";
    const std::string data = header + body;
    TObjectStreamIndex index =
        IndexOf("/N " + std::to_string(pairs) + " /First " + std::to_string(header.size()), data);
    ASSERT_TRUE(index.Valid());
    EXPECT_FALSE(index.Ordered());
    int64_t served = 0;
    int texts = 0;
    for (int32_t position = 0; position < pairs; position += 2) {
        if (const auto text = PackedObjectText(index, data, position, 7)) {
            EXPECT_EQ(text->substr(0, 3), "(x)");
            served += static_cast<int64_t>(text->size());
            ++texts;
        }
    }
    EXPECT_GE(texts, 8);  // some are served
    EXPECT_LE(served, (kOverlapAllowance + 1) * static_cast<int64_t>(data.size()));
}

TEST(HeaderMark, IsFoundInTheFirstKilobyteWithAPlainVersion) {
    const std::string junk(300, 'J');
    const struct {
        std::string head;
        bool found;
        size_t at;
        bool postScript;
        std::string version;
    } cases[] = {
        {"%PDF-1.4\n", true, 0, false, "1.4"},
        {"%PDF-2.0\r", true, 0, false, "2.0"},
        {"%PDF-1.7 \n", true, 0, false, "1.7"},
        {"%PDF-1.7.3\n", true, 0, false, "1.7"},  // a patch level is cut
        {"%PDF-12.3.4\n", false, 0, false, ""},   // two dots the cut leaves: no number
        {"%PDF-abcd\n", true, 0, false, ""},      // no version, still a header
        {junk + "%PDF-1.6\n", true, 300, false, "1.6"},
        {std::string(1016, ' ') + "%PDF-1.5", true, 1016, false, "1.5"},
        {std::string(1019, ' ') + "%PDF-1.5", true, 1019, false, ""},  // the version is cut off
        {std::string(1020, ' ') + "%PDF-1.5", false, 0, false, ""},    // the mark too
        {"%!PS-Adobe-3.0 PDF-1.3\n", true, 0, true, "1.3"},
        {junk + "%!PS-Adobe-3.0 EPSF PDF-1.2\n", true, 300, true, "1.2"},
        {"%!PS-Adobe-3.0 and a long comment PDF-1.3\n", false, 0, false, ""},
        {"%!PS-Adobe-3.0 PDF-1.2.3\n", false, 0, false, ""},  // no patch level is cut here
        // The PDF mark wins wherever the PostScript one stands.
        {"%!PS-Adobe-3.0 PDF-1.3\n%PDF-1.6\n", true, 23, false, "1.6"},
        {"", false, 0, false, ""},
        {"%PDF1.4\n", false, 0, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.head.substr(0, 40));
        const std::optional<THeaderMark> mark = FindHeaderMark(c.head);
        ASSERT_EQ(mark.has_value(), c.found);
        if (!mark) continue;
        EXPECT_EQ(mark->at, c.at);
        EXPECT_EQ(mark->postScript, c.postScript);
        EXPECT_EQ(mark->version, c.version);
    }
}

TEST(StreamExtent, FollowsTheLengthWhenEndstreamFollowsItAndEndstreamOtherwise) {
    const std::string data = "0123456789abcdefghij";  // 20 bytes
    const std::string none = "<none>";
    const struct {
        const char* name;
        std::string afterDictionary;  // what follows "<< >>"
        std::optional<double> length;
        std::string expected;  // the data, or none
    } cases[] = {
        {"right Length", "\nstream\n" + data + "\nendstream", 20, data},
        {"CR LF around the data", "\nstream\r\n" + data + "\r\nendstream", 20, data},
        {"CR alone after the keyword", "\nstream\r" + data + "\nendstream", 20, data},
        {"padding after the keyword", "\nstream \t\n" + data + "\nendstream", 20, data},
        {"padding before endstream", "\nstream\n" + data + "\r\n  \t endstream", 20, data},
        {"no line end before endstream", "\nstream\n" + data + "endstream", 20, data},
        {"Length 0", "\nstream\n\nendstream", 0, ""},
        {"a right Length keeps an endstream inside the data",
         "\nstream\nab endstream cd\n  endstream", 15, "ab endstream cd"},
        {"data ending in their own line feed", "\nstream\n" + data + "\n\nendstream", 21,
         data + "\n"},
        // A wrong Length: up to endstream, less padding and one line end.
        {"too short", "\nstream\n" + data + "\nendstream", 16, data},
        {"too short, CR LF", "\nstream\n" + data + "\r\nendstream", 16, data},
        {"too long", "\nstream\n" + data + "\nendstream\nendobj", 25, data},
        {"far too long", "\nstream\n" + data + "\nendstream", 5000, data},
        {"negative", "\nstream\n" + data + "\nendstream", -3, data},
        {"too short, padding", "\nstream\n" + data + "\n \t endstream", 3, data},
        {"too short, only line ends", "\nstream\n" + data + "\n\nendstream", 3, data + "\n"},
        // Without a Length: every byte up to endstream.
        {"no Length", "\nstream\n" + data + "\r\nendstream", std::nullopt, data + "\r\n"},
        // A file cut inside the data: what is left of them, at most the Length.
        {"cut, Length beyond the end", "\nstream\n" + data, 99999, data},
        {"cut, Length within", "\nstream\n" + data, 3, "012"},
        {"cut, no Length", "\nstream\n" + data, std::nullopt, data},
        // No stream there.
        {"endobj before stream", "\nendobj\n2 0 obj\n<< >>\nstream\nx\nendstream", 1, none},
        {"endobj before endstream", "\nstream\n" + data + "\nendobj\nendstream", 30, none},
        {"no line end after the keyword", "\nstreamX" + data + "\nendstream", 20, none},
        {"too little text", "\nstream\nab", 2, none},
    };
    for (const auto& c : cases) {
        const std::string source = "<< >>" + c.afterDictionary;
        const std::optional<TStreamExtent> extent = FindStreamExtent(source, 5, c.length);
        const std::string found = extent ? source.substr(extent->start, extent->length) : none;
        EXPECT_EQ(found, c.expected) << c.name;
    }
    // A dictionary position past the text.
    EXPECT_FALSE(FindStreamExtent("<< >>\nstream\nabc\nendstream", 99, 3));
}

TEST(FirstRows, OneTooHighWhenRowOneIsTheFreeHeadOrTheTableStartsAtTwo) {
    const std::string objectOne = "1 0 obj\n<< >>";
    const struct {
        const char* name;
        TFirstRows rows;
        bool oneTooHigh;
    } cases[] = {
        {"row 1 is the free head", {true, false, 3, std::nullopt, objectOne}, true},
        {"starts at 2, Size one more", {false, true, 3, 4.0, objectOne}, true},
        {"starts at 2, Size matches the rows", {false, true, 3, 3.0, objectOne}, false},
        {"starts at 2, no Size", {false, true, 3, std::nullopt, objectOne}, false},
        {"Size one more, but row 1 present", {false, false, 3, 4.0, objectOne}, false},
        {"object 2 is object 2", {true, false, 3, 4.0, "2 0 obj\n<< >>"}, false},
        {"nothing at object 2", {true, true, 3, 4.0, ""}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(NumberedOneTooHigh(c.rows), c.oneTooHigh) << c.name;
}

TEST(ClassicTable, ListsRunsAndChainsTheFreeRows) {
    const auto row = [](int32_t number, int64_t offset, int32_t generation, bool inUse) {
        return TTableRow{number, offset, generation, inUse};
    };
    const struct {
        const char* name;
        std::vector<TTableRow> rows;
        std::string table;
    } cases[] = {
        {"the head alone", {row(0, 0, 65535, false)}, "xref\n0 1\n0000000000 65535 f \n"},
        {"free rows name the next free one",
         {row(0, 0, 65535, false), row(1, 15, 0, true), row(2, 0, 1, false), row(3, 0, 0, false),
          row(4, 99, 2, true)},
         "xref\n0 5\n0000000002 65535 f \n0000000015 00000 n \n0000000003 00001 f \n"
         "0000000000 00000 f \n0000000099 00002 n \n"},
        {"one subsection per run",
         {row(0, 0, 65535, false), row(1, 9, 0, true), row(5, 30, 0, true), row(6, 40, 0, true),
          row(9, 50, 0, true)},
         "xref\n0 2\n0000000000 65535 f \n0000000009 00000 n \n5 2\n0000000030 00000 n \n"
         "0000000040 00000 n \n9 1\n0000000050 00000 n \n"},
        {"generations outside 0..65535 are written as 0",
         {row(0, 0, 65535, false), row(1, 9, 123456, true), row(2, 10, -1, true)},
         "xref\n0 3\n0000000000 65535 f \n0000000009 00000 n \n0000000010 00000 n \n"},
        {"the largest offset a row holds",
         {row(0, 0, 65535, false), row(1, kMaxTableOffset, 0, true)},
         "xref\n0 2\n0000000000 65535 f \n9999999999 00000 n \n"},
    };
    for (const auto& c : cases) EXPECT_EQ(ClassicTable(c.rows), c.table) << c.name;
    EXPECT_THROW(ClassicTable({row(0, 0, 65535, false), row(1, kMaxTableOffset + 1, 0, true)}),
                 EStreamError);
    EXPECT_THROW(ClassicTable({row(1, -1, 0, true)}), EStreamError);
}

TEST(SectionKeys, OnlyTheKeysOfSectionsAreRemovedFromATrailer) {
    TPDFStructure store;
    auto* trailer = As<TPDFDictionary>(store.ParseText(
        "<< /Size 9 /Root 1 0 R /Prev 100 /XRefStm 200 /Type /XRef /W [1 2 1] /Index [0 9] "
        "/Length 40 /Filter /FlateDecode /DecodeParms << /Columns 4 >> /Encrypt 5 0 R /ID [] "
        "/Info 2 0 R >>"));
    RemoveSectionKeys(*trailer);
    std::vector<std::string> kept;
    for (const auto& [key, value] : trailer->Entries()) kept.push_back(key->Text);
    EXPECT_EQ(kept, (std::vector<std::string>{"Size", "Root", "Encrypt", "ID", "Info"}));
}

}  // namespace
}  // namespace verava
