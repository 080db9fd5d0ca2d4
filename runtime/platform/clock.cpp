// Time services on clock_gettime, localtime_r (with tm_gmtoff) and nanosleep.
#include "runtime/platform/clock.h"

#include "runtime/platform/fault_signals.h"

#include <time.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace qor::platform {

namespace {
constexpr double max_wait_ms = 2147483647.0;

// localtime_r keeps the zone tzset found, and the process may change TZ
// later; tzset reads the zone files, so it runs again only when TZ changed.
void follow_zone_changes() {
    static bool known = false;
    static bool had_tz = false;
    static std::string last_tz;
    const char* tz = std::getenv("TZ");
    if (known && had_tz == (tz != nullptr) && (!tz || last_tz == tz)) return;
    tzset();
    known = true;
    had_tz = tz != nullptr;
    last_tz = tz ? tz : "";
}
}  // namespace

void wait(double seconds) {
    double ms = seconds * 1000.0;
    // NaN fails every comparison, so it lands on the one-millisecond floor.
    if (!(ms >= 1.0)) ms = 1.0;
    if (ms > max_wait_ms) ms = max_wait_ms;
    auto whole_ms = static_cast<int64_t>(ms);  // truncated, as the clock counts
    timespec left{static_cast<time_t>(whole_ms / 1000), static_cast<long>((whole_ms % 1000) * 1000000)};
    // A signal (a terminal resize, say) must not cut the wait short; Ctrl-C
    // asking for a halt does.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        if (interrupt_pending) break;
    }
}

ClockReading read_utc_clock() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    ClockReading r;
    r.seconds = now.tv_sec;
    r.nanoseconds = static_cast<int32_t>(now.tv_nsec);
    return r;
}

ClockReading read_clock() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    ClockReading r;
    r.seconds = now.tv_sec;
    r.nanoseconds = static_cast<int32_t>(now.tv_nsec);
    follow_zone_changes();
    tm local{};
    const time_t at = now.tv_sec;
    if (localtime_r(&at, &local) != nullptr) r.offset = static_cast<int32_t>(local.tm_gmtoff);
    return r;
}

}  // namespace qor::platform
