#include <gtest/gtest.h>

#include "objects/integer_lists.h"
#include "objects/stream.h"
#include "objects/string_list.h"

namespace verava {
namespace {

TEST(StringList, SetTextSplitsAtLineEndsAndDropsEmptyLines) {
    TBrannockStringList list;
    list.SetText("one\r\ntwo");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.StringAt(0), "one");
    EXPECT_EQ(list.StringAt(1), "two");

    list.SetText("");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.StringAt(0), "");

    list.SetText("\r\n\r\n");
    EXPECT_EQ(list.Count(), 0);

    list.SetText(std::string("a\0b\n\nc", 6));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.StringAt(2), "c");
}

TEST(StringList, CarriesObjectsAndIgnoresBadIndexes) {
    TBrannockStringList list;
    int marker = 0;
    EXPECT_EQ(list.AddWithObject("x", &marker), 0);
    EXPECT_EQ(list.Add("y"), 1);
    list.Insert(0, "w", nullptr);
    EXPECT_EQ(list.StringAt(0), "w");
    EXPECT_EQ(list.ObjectAt(1), &marker);
    EXPECT_EQ(list.ObjectAt(5), nullptr);
    EXPECT_EQ(list.StringAt(-1), "");
    list.SetObject(9, &marker);  // ignored
    list.SetObject(2, &marker);
    EXPECT_EQ(list.ObjectAt(2), &marker);
    EXPECT_EQ(list.JoinedText(), "w\r\nx\r\ny\r\n");
    TMemoryStream stream;
    list.SaveToStream(stream);
    EXPECT_EQ(stream.Data(), "w\r\nx\r\ny\r\n");
}

TEST(StringList, GrowsInTheDocumentedSteps) {
    TBrannockStringList list;
    list.Add("a");
    EXPECT_EQ(list.Capacity(), 4);
    for (int i = 0; i < 8; ++i) list.Add("b");
    EXPECT_EQ(list.Capacity(), 12);  // 4 -> 8 -> 12: steps of 4 below 9
    for (int i = 0; i < 60; ++i) list.Add("c");
    EXPECT_EQ(list.Capacity(), 76);  // 12 -> 28 -> 44 -> 60 -> 76
    for (int i = 0; i < 10; ++i) list.Add("d");
    EXPECT_EQ(list.Capacity(), 95);  // above 64: + capacity / 4
}

TEST(StringList, SortsCaseInsensitivelyUnlessMatchCase) {
    TBrannockStringList list;
    for (const char* s : {"banana", "Apple", "cherry", "apple2"}) list.AddWithObject(s, nullptr);
    list.Sort();
    EXPECT_EQ(list.StringAt(0), "Apple");
    EXPECT_EQ(list.StringAt(1), "apple2");
    EXPECT_EQ(list.StringAt(3), "cherry");
    EXPECT_EQ(list.Compare("ABC", "abc"), 0);

    TBrannockCaseSensitiveStringList exact;
    EXPECT_NE(exact.Compare("ABC", "abc"), 0);
    for (int i = 0; i < 200; ++i) exact.Add(std::to_string((i * 7919) % 200 + 1000));
    exact.Sort();
    for (int i = 1; i < exact.Count(); ++i) EXPECT_LE(exact.StringAt(i - 1), exact.StringAt(i));
}

TEST(SortedInt64List, NextAboveFindsTheFollowingOffset) {
    TVMXSortedInt64List list;
    EXPECT_EQ(list.NextAbove(5), 0);
    for (int64_t v : {30, 20, 10, 20}) list.Add(v);
    list.Sort();
    EXPECT_EQ(list.NextAbove(20), 30);
    EXPECT_EQ(list.NextAbove(15), 20);
    EXPECT_EQ(list.NextAbove(35), 30);  // none greater: the last value
    EXPECT_EQ(list.NextAbove(30), 30);
    EXPECT_EQ(list.NextAbove(0), 10);
    EXPECT_EQ(list.NextAbove(10), 20);
}

TEST(SortedInt64List, SortsLargeAndNegativeValuesAndGrows) {
    TVMXSortedInt64List list;
    EXPECT_EQ(list.Capacity(), 1000);
    for (int64_t i = 0; i < 2500; ++i)
        list.Add(((i * 104729) % 2500) - 1000 + (i % 3) * (int64_t(1) << 40));
    EXPECT_EQ(list.Capacity(), 4000);
    list.Sort();
    for (int32_t i = 1; i < list.Count(); ++i) EXPECT_LE(list.ValueAt(i - 1), list.ValueAt(i));
    EXPECT_LT(list.ValueAt(0), 0);
}

TEST(IntegerPairList, FindsValuesByKeyAfterSorting) {
    TVMXIntegerPairList pairs;
    for (int i = 0; i < 1500; ++i) pairs.Add((i * 37) % 1500, i);
    pairs.Sort();
    for (int k : {0, 1, 777, 1499}) {
        const int32_t v = pairs.Find(k, -1);
        EXPECT_EQ((v * 37) % 1500, k);
    }
    EXPECT_EQ(pairs.Find(1500, -7), -7);
    EXPECT_EQ(pairs.KeyAt(0, -1), 0);
    EXPECT_EQ(pairs.ValueAt(5000, -2), -2);

    TVMXInt64PairList big;
    big.Add(int64_t(1) << 40, 5);
    big.Add(-3, 6);
    big.Sort();
    EXPECT_EQ(big.Find(int64_t(1) << 40), 5);
    EXPECT_EQ(big.Find(-3), 6);
    EXPECT_EQ(big.Find(4), 0);
}

TEST(SortedUniqueIntegerList, MarksEachValueOnce) {
    TVMXSortedUniqueIntegerList seen;
    EXPECT_TRUE(seen.Add(7));
    EXPECT_FALSE(seen.Add(7));
    EXPECT_TRUE(seen.Contains(7));
    EXPECT_FALSE(seen.Contains(8));
    EXPECT_TRUE(seen.Add(0x12345678));
    EXPECT_TRUE(seen.Contains(0x12345678));
    EXPECT_FALSE(seen.Contains(0x12345679));
    EXPECT_TRUE(seen.Add(0xFFFFFFFF));
    seen.Clear();
    EXPECT_FALSE(seen.Contains(7));
    EXPECT_TRUE(seen.Add(7));
}

TEST(SortedUniqueIntegerList, SpreadValuesDoNotAllocateAPagePerValue) {
    TVMXSortedUniqueIntegerList seen;
    // One value in each of 4096 pages: past the page limit the rest go to a hash set.
    for (uint32_t p = 0; p < 4096; ++p) EXPECT_TRUE(seen.Add(p << 16 | 7));
    for (uint32_t p = 0; p < 4096; ++p) {
        EXPECT_TRUE(seen.Contains(p << 16 | 7));
        EXPECT_FALSE(seen.Contains(p << 16 | 8));
        EXPECT_FALSE(seen.Add(p << 16 | 7));
    }
}

TEST(IntegerList, AddsFindsAndSorts) {
    TBrannockIntegerList list;
    list.Add(5);
    list.Add(-2);
    list.Add(9);
    EXPECT_EQ(list.IndexOf(9), 2);
    EXPECT_EQ(list.IndexOf(4), -1);
    list.Sort();
    EXPECT_EQ(list.Get(0), -2);
    EXPECT_EQ(list.Get(3), 0);
}

TEST(MemoryStream, ReadsWritesAndSeeks) {
    TMemoryStream s;
    s.WriteText("hello world");
    EXPECT_EQ(s.Size(), 11);
    s.SetPosition(6);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 5);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_THROW(s.ReadBuffer(buf, 1), EStreamError);
    EXPECT_EQ(s.ReadAll(), "hello world");
    s.SetSize(5);
    EXPECT_EQ(s.Data(), "hello");
}

}  // namespace
}  // namespace verava
