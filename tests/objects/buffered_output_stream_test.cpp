#include "objects/buffered_output_stream.h"

#include <gtest/gtest.h>

#include <random>

namespace verava {
namespace {

// A memory stream that remembers where each write ended.
class RecordingStream : public TMemoryStream {
  public:
    int64_t Write(const void* buffer, int64_t count) override {
        const int64_t n = TMemoryStream::Write(buffer, count);
        ends.push_back(Position());
        return n;
    }
    std::vector<int64_t> ends;
};

TEST(BufferedOutputStream, KeepsBytesAndPositionAndWritesOnBoundaries) {
    RecordingStream target;
    std::string expected;
    {
        TBufferedOutputStream out(target);
        std::mt19937 random(7);
        for (int i = 0; i < 400; ++i) {
            // Small headers between pieces of up to 300 KB, like objects and image data.
            const size_t size = i % 3 == 0 ? random() % 300000 : random() % 200;
            const std::string piece(size, static_cast<char>('a' + i % 26));
            out.WriteText(piece);
            expected += piece;
            ASSERT_EQ(out.Position(), static_cast<int64_t>(expected.size()));
        }
        out.Flush();
    }
    EXPECT_EQ(target.Data(), expected);
    ASSERT_GT(target.ends.size(), 10u);
    for (size_t i = 0; i + 1 < target.ends.size(); ++i) {
        EXPECT_EQ(target.ends[i] % 65536, 0) << i;
    }
}

TEST(BufferedOutputStream, SeeksFlushFirstAndFailuresSurface) {
    TMemoryStream target;
    TBufferedOutputStream out(target);
    out.WriteText("hello");
    EXPECT_EQ(target.Data(), "");  // still collected
    out.Seek(0, TStream::SeekOrigin::Beginning);
    EXPECT_EQ(target.Data(), "hello");
    out.WriteText("J");
    out.Flush();
    EXPECT_EQ(target.Data(), "Jello");

    // A target that takes nothing makes Flush raise.
    class Full : public TMemoryStream {
      public:
        int64_t Write(const void*, int64_t) override { return 0; }
    } full;
    TBufferedOutputStream failing(full);
    failing.WriteText("x");
    EXPECT_THROW(failing.Flush(), EStreamError);
}

}  // namespace
}  // namespace verava
