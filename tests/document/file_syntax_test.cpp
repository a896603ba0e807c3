#include "document/file_syntax.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "objects/pdf_structure.h"

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

}  // namespace
}  // namespace verava
