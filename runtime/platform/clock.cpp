// Time services on clock_gettime, localtime_r (with tm_gmtoff) and nanosleep.
#include "runtime/platform/clock.h"

#include <time.h>

#include <cerrno>
#include <cmath>

namespace qor::platform {

namespace {
constexpr double max_wait_ms = 2147483647.0;
}

void wait(double seconds) {
    double ms = seconds * 1000.0;
    // NaN fails every comparison, so it lands on the one-millisecond floor.
    if (!(ms >= 1.0)) ms = 1.0;
    if (ms > max_wait_ms) ms = max_wait_ms;
    auto whole_ms = static_cast<int64_t>(ms);  // truncated, as the clock counts
    timespec left{static_cast<time_t>(whole_ms / 1000), static_cast<long>((whole_ms % 1000) * 1000000)};
    // A signal (a terminal resize, say) must not cut the wait short.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

double get_time(bool precise) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    double seconds = static_cast<double>(now.tv_sec % 86400);
    if (precise) seconds += static_cast<double>(now.tv_nsec / 100 * 100) / 1e9;
    return seconds;
}

uint32_t pack_zone(int offset_minutes) {
    // The sign is kept separately from the magnitude, so an offset of less
    // than an hour west of UTC (-0:30) keeps its sign.
    bool negative = offset_minutes < 0;
    int magnitude = negative ? -offset_minutes : offset_minutes;
    uint32_t hours = static_cast<uint32_t>(magnitude / 60) & 0x0F;
    uint32_t quarters = static_cast<uint32_t>((magnitude % 60) / 15) & 0x03;
    return (negative ? 0x40u : 0u) | hours << 2 | quarters;
}

uint32_t pack_date(int year, int month, int day, int offset_minutes) {
    return static_cast<uint32_t>(year) << 17 | static_cast<uint32_t>(month) << 12 |
           static_cast<uint32_t>(day) << 7 | pack_zone(offset_minutes);
}

uint32_t get_date(bool utc) {
    time_t now = time(nullptr);
    tm parts{};
    if (utc) {
        gmtime_r(&now, &parts);
        return pack_date(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, 0);
    }
    localtime_r(&now, &parts);
    return pack_date(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                     static_cast<int>(parts.tm_gmtoff / 60));
}

}  // namespace qor::platform
