#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "objects/platform_system.h"

namespace verava {

LocalDateTime SystemNowLocal() {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm local {};
    LocalDateTime t;
    if (localtime_r(&ts.tv_sec, &local) == nullptr) return t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
    t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    t.utcOffsetMinutes = static_cast<int>(local.tm_gmtoff / 60);
    return t;
}

void SystemRandomBytes(void* out, size_t count) {
    auto* p = static_cast<unsigned char*>(out);
    while (count > 0) {
        ssize_t got = getrandom(p, count, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("getrandom failed");
        }
        p += got;
        count -= static_cast<size_t>(got);
    }
}

std::string SystemErrorText(int code) {
    char buffer[256] = {};
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return text != nullptr ? text : "error " + std::to_string(code);
}

}  // namespace verava
