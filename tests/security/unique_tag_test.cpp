#include "security/unique_tag.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "objects/platform.h"

namespace verava {
namespace {

// A fixed local time: 15 March 2024 at the given hour, as day count 45366 plus a fraction.
LocalDateTime March15At(int hour) {
    LocalDateTime t;
    t.year = 2024;
    t.month = 3;
    t.day = 15;
    t.hour = hour;
    return t;
}

// Random source repeating one byte pattern.
ScopedRandomOverride FixedBytes(std::string bytes) {
    return ScopedRandomOverride([bytes](void* out, size_t count) {
        for (size_t i = 0; i < count; ++i) static_cast<char*>(out)[i] = bytes[i % bytes.size()];
    });
}

TEST(UniqueTagTest, IsEightLowerCaseHexDigits) {
    for (int i = 0; i < 20; ++i) {
        const std::string tag = UniqueTag();
        ASSERT_EQ(tag.size(), 8u) << tag;
        EXPECT_EQ(tag.find_first_not_of("0123456789abcdef"), std::string::npos) << tag;
    }
}

TEST(UniqueTagTest, MatchesMd5OfRandomBytesAndDayCount) {
    ScopedClockOverride clock([] { return March15At(12); });
    {
        // Bytes 00..0f followed by "45366.5"; expected value from
        // printf '\x00\x01...\x0f45366.5' | md5sum (2acba6279f1b...).
        std::string bytes;
        for (int i = 0; i < 16; ++i) bytes += static_cast<char>(i);
        auto random = FixedBytes(bytes);
        EXPECT_EQ(UniqueTag(), "2acba627");
        // Same inputs, same tag.
        EXPECT_EQ(UniqueTag(), "2acba627");
    }
    {
        // Sixteen 0xab bytes and 06:00, "45366.25": md5sum gives 12c1f064886e...
        ScopedClockOverride morning([] { return March15At(6); });
        auto random = FixedBytes("\xab");
        EXPECT_EQ(UniqueTag(), "12c1f064");
    }
}

TEST(UniqueTagTest, DependsOnTheRandomBytes) {
    // Same clock, different random bytes: the tags differ.
    ScopedClockOverride clock([] { return March15At(12); });
    std::string first, second;
    {
        auto random = FixedBytes("\x01");
        first = UniqueTag();
    }
    {
        auto random = FixedBytes("\x02");
        second = UniqueTag();
    }
    EXPECT_NE(first, second);
}

TEST(UniqueTagTest, DependsOnTheClock) {
    auto random = FixedBytes("\x5a");
    std::string noon, evening;
    {
        ScopedClockOverride clock([] { return March15At(12); });
        noon = UniqueTag();
    }
    {
        ScopedClockOverride clock([] { return March15At(18); });
        evening = UniqueTag();
    }
    EXPECT_NE(noon, evening);
}

TEST(UniqueTagTest, StillAnswersWhenTheRandomSourceFails) {
    ScopedRandomOverride failing([](void*, size_t) { throw std::runtime_error("no entropy"); });
    ScopedClockOverride clock([] { return March15At(12); });
    // The random part falls back to sixteen zero bytes: md5sum of those and "45366.5" gives
    // aec252ac597a...
    EXPECT_EQ(UniqueTag(), "aec252ac");
}

}  // namespace
}  // namespace verava
