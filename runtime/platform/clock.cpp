// Time services on clock_gettime, localtime_r (with tm_gmtoff) and nanosleep.
#include "runtime/platform/clock.h"

#include "runtime/platform/fault_signals.h"

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
    // A signal (a terminal resize, say) must not cut the wait short; Ctrl-C
    // asking for a halt does.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        if (interrupt_pending) break;
    }
}

ClockReading read_clock() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    ClockReading r;
    r.seconds = now.tv_sec;
    r.nanoseconds = static_cast<int32_t>(now.tv_nsec);
    // tzset first: localtime_r alone keeps the zone it found at its first
    // call, and the process may have changed TZ since.
    tzset();
    tm local{};
    const time_t at = now.tv_sec;
    if (localtime_r(&at, &local) != nullptr) r.offset = static_cast<int32_t>(local.tm_gmtoff);
    return r;
}

}  // namespace qor::platform
