// Time services: sleeping, the UTC time of day, and the calendar date with
// the local zone packed as the `date!` payload word keeps it.
#pragma once

#include <cstdint>

namespace qor::platform {

// Sleeps for the given seconds. Anything below a millisecond (including
// zero, negatives and NaN) sleeps one millisecond; very long waits are
// clamped to 2^31 - 1 milliseconds instead of overflowing.
void wait(double seconds);

// The UTC time of day in seconds; whole seconds unless `precise`, which
// adds the fraction at 100-nanosecond resolution.
[[nodiscard]] double get_time(bool precise);

// The zone field of a packed date for an offset east of UTC in minutes:
// sign in bit 6, whole hours in bits 2-5, quarter hours in bits 0-1.
[[nodiscard]] uint32_t pack_zone(int offset_minutes);

// Year << 17 | month << 12 | day << 7 | zone. In UTC the zone is 0;
// otherwise the local date with the local zone. Bit 16 (time present) is 0.
[[nodiscard]] uint32_t get_date(bool utc);

// Packs a calendar date and zone offset as get_date does.
[[nodiscard]] uint32_t pack_date(int year, int month, int day, int offset_minutes);

}  // namespace qor::platform
