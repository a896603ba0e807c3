#include "document/object_stream_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/pdf_structure.h"
#include "objects/stream_filters.h"

namespace verava {
namespace {

TEST(ObjectStreamCache, KeepsTheStreamsUsedLatestAndDecodesOthersAgainWithinItsWork) {
    // Room for two streams' data; each use of a stream not held decodes it again, which the
    // work budget allows five times in all.
    // Object streams of 1000 decoded bytes each (Flate in the file): object 10 + k at index 0.
    TPDFStructure store;
    std::vector<TPDFStream*> streams;
    for (int k = 0; k < 3; ++k) {
        const std::string head = std::to_string(10 + k) + " 0 ";
        streams.push_back(store.NewStreamWith(
            As<TPDFDictionary>(
                store.ParseText("<< /Type /ObjStm /N 1 /First 5 /Filter /FlateDecode >>")),
            ByteSlice(FlateEncode(head + "(" + std::string(1000 - head.size() - 2, 'x') + ")"))));
    }
    TObjectStreamCache cache;
    cache.SetBudget(2000);
    const uint64_t oneDecode = 1000 + streams[0]->Data().size();
    cache.SetWorkBudget(5 * oneDecode + 1);
    const struct {
        int stream;
        bool served;
        uint64_t decodes;  // so far
    } uses[] = {
        {0, true, 1},  {1, true, 2}, {0, true, 2},  // 0 used again: still held
        {2, true, 3},                               // drops 1, the one used longest ago
        {0, true, 3},  {1, true, 4},                // 1 decoded again, dropping 2
        {2, true, 5},                               // the work budget's last decode
        {0, false, 5},                              // dropped by now, and no work left
        {2, true, 5},                               // still held: served without work
    };
    for (const auto& use : uses) {
        TPDFObjectStream* contents = cache.Contents(*streams[use.stream]);
        EXPECT_EQ(contents != nullptr, use.served) << use.stream;
        if (contents != nullptr) {
            const auto text = PackedObjectText(contents->Index, contents->Data, 0, 10 + use.stream);
            ASSERT_TRUE(text) << use.stream;
            EXPECT_EQ(text->size(), 1000 - std::to_string(10 + use.stream).size() - 3);
        }
        EXPECT_EQ(cache.Work(), use.decodes * oneDecode) << use.stream;
        EXPECT_LE(cache.HeldBytes(), 2000u);
    }
    EXPECT_EQ(cache.size(), 3u);
}

}  // namespace
}  // namespace verava
