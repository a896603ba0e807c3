// The few operating-system services the engine needs beyond files: the local clock with its
// offset from UTC, and a source of unpredictable bytes (identifiers, AES IVs). Both can be
// replaced in tests (ScopedClockOverride, ScopedRandomOverride) so written bytes are
// reproducible.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace verava {

struct LocalDateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    // Minutes east of UTC; 0 when the zone could not be determined.
    int utcOffsetMinutes = 0;
};

// The current local date and time with its offset from UTC, or the test override.
LocalDateTime NowLocal();

// Fills `count` bytes from the system (getrandom(2), BCryptGenRandom), or from the test
// override.
void RandomBytes(void* out, size_t count);
std::string RandomBytes(size_t count);

// The date-time as a day count since 30 December 1899 with the time of day as its fraction
// (the serial date form several identifier recipes hash).
double DateTimeToDays(const LocalDateTime& t);

// A double in general floating-point form with up to 15 significant digits ("45678.5").
std::string FormatGeneral(double value);

class ScopedClockOverride {
  public:
    explicit ScopedClockOverride(std::function<LocalDateTime()> clock);
    ~ScopedClockOverride();
    ScopedClockOverride(const ScopedClockOverride&) = delete;
    ScopedClockOverride& operator=(const ScopedClockOverride&) = delete;

  private:
    std::function<LocalDateTime()> previous_;
};

class ScopedRandomOverride {
  public:
    explicit ScopedRandomOverride(std::function<void(void*, size_t)> source);
    ~ScopedRandomOverride();
    ScopedRandomOverride(const ScopedRandomOverride&) = delete;
    ScopedRandomOverride& operator=(const ScopedRandomOverride&) = delete;

  private:
    std::function<void(void*, size_t)> previous_;
};

}  // namespace verava
