// Time services: sleeping, and one reading of the real-time clock together
// with the local zone in force at that instant.
#pragma once

#include <cstdint>

namespace qor::platform {

// Sleeps for the given seconds. Anything below a millisecond (including
// zero, negatives and NaN) sleeps one millisecond; very long waits are
// clamped to 2^31 - 1 milliseconds instead of overflowing.
void wait(double seconds);

// The time since 1970-01-01 UTC, and the local zone's offset east of UTC
// in seconds at that time. Reading both at once keeps a date and its time
// of day consistent across midnight and across a change of the zone.
struct ClockReading {
    int64_t seconds = 0;
    int32_t nanoseconds = 0;  // 0-999,999,999
    int32_t offset = 0;
};
[[nodiscard]] ClockReading read_clock();
// The same reading without the local zone (offset 0): no zone look-up, for
// callers that only measure intervals.
[[nodiscard]] ClockReading read_utc_clock();

}  // namespace qor::platform
