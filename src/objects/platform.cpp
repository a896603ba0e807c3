#include "objects/platform.h"

#include <cmath>
#include <cstdio>

#include "objects/platform_system.h"

namespace verava {
namespace {

// Test hooks only; production code never sets them.
std::function<LocalDateTime()>& ClockHook() {
    static std::function<LocalDateTime()> hook;
    return hook;
}

std::function<void(void*, size_t)>& RandomHook() {
    static std::function<void(void*, size_t)> hook;
    return hook;
}

}  // namespace

LocalDateTime NowLocal() {
    if (ClockHook()) return ClockHook()();
    return SystemNowLocal();
}

void RandomBytes(void* out, size_t count) {
    if (RandomHook()) {
        RandomHook()(out, count);
        return;
    }
    SystemRandomBytes(out, count);
}

std::string RandomBytes(size_t count) {
    std::string s(count, '\0');
    RandomBytes(s.data(), count);
    return s;
}

double DateTimeToDays(const LocalDateTime& t) {
    // Days from 1899-12-30 to the civil date (proleptic Gregorian).
    auto daysFromCivil = [](int y, int m, int d) -> long {
        y -= m <= 2;
        const long era = (y >= 0 ? y : y - 399) / 400;
        const long yoe = y - era * 400;
        const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + doe - 719468;
    };
    const long days = daysFromCivil(t.year, t.month, t.day) - daysFromCivil(1899, 12, 30);
    const double fraction =
        (t.hour * 3600000.0 + t.minute * 60000.0 + t.second * 1000.0 + t.millisecond) / 86400000.0;
    return static_cast<double>(days) + fraction;
}

std::string FormatGeneral(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    return buf;
}

ScopedClockOverride::ScopedClockOverride(std::function<LocalDateTime()> clock)
    : previous_(ClockHook()) {
    ClockHook() = std::move(clock);
}

ScopedClockOverride::~ScopedClockOverride() { ClockHook() = std::move(previous_); }

ScopedRandomOverride::ScopedRandomOverride(std::function<void(void*, size_t)> source)
    : previous_(RandomHook()) {
    RandomHook() = std::move(source);
}

ScopedRandomOverride::~ScopedRandomOverride() { RandomHook() = std::move(previous_); }

}  // namespace verava
