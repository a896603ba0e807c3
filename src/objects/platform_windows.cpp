#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <cstring>
#include <stdexcept>

#include "objects/platform_system.h"

namespace verava {

LocalDateTime SystemNowLocal() {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    LocalDateTime t;
    t.year = local.wYear;
    t.month = local.wMonth;
    t.day = local.wDay;
    t.hour = local.wHour;
    t.minute = local.wMinute;
    t.second = local.wSecond;
    t.millisecond = local.wMilliseconds;
    // Bias is minutes west of UTC, and daylight saving adds its own bias while it is on.
    TIME_ZONE_INFORMATION zone{};
    switch (GetTimeZoneInformation(&zone)) {
        case TIME_ZONE_ID_STANDARD:
            t.utcOffsetMinutes = -static_cast<int>(zone.Bias + zone.StandardBias);
            break;
        case TIME_ZONE_ID_DAYLIGHT:
            t.utcOffsetMinutes = -static_cast<int>(zone.Bias + zone.DaylightBias);
            break;
        case TIME_ZONE_ID_UNKNOWN:
            t.utcOffsetMinutes = -static_cast<int>(zone.Bias);
            break;
        default:
            t.utcOffsetMinutes = 0;  // the zone could not be determined
    }
    return t;
}

void SystemRandomBytes(void* out, size_t count) {
    auto* p = static_cast<unsigned char*>(out);
    while (count > 0) {
        // BCryptGenRandom takes a ULONG count.
        const ULONG chunk = count > 0x40000000 ? 0x40000000 : static_cast<ULONG>(count);
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, p, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            throw std::runtime_error("BCryptGenRandom failed");
        }
        p += chunk;
        count -= chunk;
    }
}

std::string SystemErrorText(int code) {
    char buffer[256] = {};
    if (strerror_s(buffer, sizeof buffer, code) != 0 || buffer[0] == '\0') {
        return "error " + std::to_string(code);
    }
    return buffer;
}

}  // namespace verava
