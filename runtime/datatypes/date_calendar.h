// The calendar under date!: the packed date word, day numbers of the
// proleptic Gregorian calendar, ISO weeks, zone shifts and the normalisation
// of a time into one day. The lexer's date loader, file dates, `now`, the
// set natives and the date! and time! datatypes all build on it.
//
// A date! cell keeps the packed word in payload word 1:
//
//   bits 17-31  year, signed (read with an arithmetic shift)
//   bit  16     a time of day is present
//   bits 12-15  month, 1-12
//   bits  7-11  day, 1-31
//   bit   6     zone sign (west of UTC)
//   bits  2-5   zone hours, 0-15
//   bits  0-1   zone quarter hours, 0-3
//
// and the time in seconds, as a double, in words 2-3: 0 without a time;
// with a time, the UTC time counted from midnight of the date in the word,
// which is the local date. The stored time may thus lie outside 0-24 hours
// while the local time (stored time plus the zone) lies inside. The instant
// a date denotes is day number × 86400 + stored time.
//
// A day number counts the days since 0000-03-01 (day 0, a Wednesday). All
// divisions round down, so the years before 1 follow the same calendar.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"

namespace qor::date {

inline constexpr uint32_t time_flag = 1u << 16;
inline constexpr uint32_t zone_mask = 0x7F;
inline constexpr uint32_t zone_west = 0x40;
inline constexpr double seconds_per_day = 86400.0;

// The years a packed word can hold.
inline constexpr int32_t min_year = -16384;
inline constexpr int32_t max_year = 16383;

// Day number of 1970-01-01.
inline constexpr int64_t epoch_day = 719468;

// ---- the packed word

[[nodiscard]] constexpr int32_t year_of(uint32_t w) { return static_cast<int32_t>(w) >> 17; }
[[nodiscard]] constexpr int32_t month_of(uint32_t w) { return static_cast<int32_t>(w >> 12 & 15); }
[[nodiscard]] constexpr int32_t day_of(uint32_t w) { return static_cast<int32_t>(w >> 7 & 31); }
[[nodiscard]] constexpr bool has_time(uint32_t w) { return (w & time_flag) != 0; }
[[nodiscard]] constexpr uint32_t zone_of(uint32_t w) { return w & zone_mask; }

// The zone bits of an offset given as whole hours and minutes (the minutes
// count in whole quarters) and its side of UTC. The sign is kept apart, so
// an offset of less than an hour west of UTC keeps it; a zero offset has none.
[[nodiscard]] uint32_t zone_bits(int32_t hours, int32_t minutes, bool west);

// The zone's offset east of UTC in seconds.
[[nodiscard]] int32_t zone_seconds(uint32_t zone);

// ---- calendar arithmetic

[[nodiscard]] bool leap_year(int64_t year);
[[nodiscard]] int32_t days_in_month(int64_t year, int32_t month);

// The day number of a calendar date (month 1-12; any day, counted on from
// day 1 of the month).
[[nodiscard]] int64_t to_days(int64_t year, int32_t month, int64_t day);
[[nodiscard]] int64_t to_days(uint32_t w);

struct Ymd {
    int64_t year;
    int32_t month;
    int32_t day;
};
[[nodiscard]] Ymd ymd_of_days(int64_t days);

// Whether a day number lies within the years a packed word holds.
[[nodiscard]] bool days_in_range(int64_t days);

// The packed word of a day number with the given zone bits and time flag.
// A day outside the packed years raises script `type-limit` with date!.
[[nodiscard]] uint32_t from_days(int64_t days, uint32_t zone, bool time);

// Day number of 1 January of the word's year, and the day of the year
// (1-based).
[[nodiscard]] int64_t days_at_year_start(uint32_t w);
[[nodiscard]] int32_t year_day(uint32_t w);

// Monday = 0 ... Sunday = 6.
[[nodiscard]] int32_t weekday0(int64_t days);

// The day number of the Monday that starts ISO week 1 of a year, and the
// weekday of its 1 January (1 = Monday ... 7 = Sunday).
struct IsoWeekStart {
    int64_t monday;
    int32_t jan1_weekday;
};
[[nodiscard]] IsoWeekStart iso_week_start(int64_t year);

// The ISO 8601 week number of a day, and the week number counted from
// Sundays with week 1 holding 1 January.
[[nodiscard]] int32_t iso_week(uint32_t w);
[[nodiscard]] int32_t sunday_week(uint32_t w);

// ---- times and zones

// Seconds since 1970-01-01 of a word and its stored time, rounded to the
// nearest second.
[[nodiscard]] int64_t to_epoch(uint32_t w, double seconds);

// Shifts a time by the zone: forwards turns UTC into local time, backwards
// local time into UTC.
[[nodiscard]] double apply_zone(double seconds, uint32_t zone, bool backwards);
[[nodiscard]] inline double to_local(double seconds, uint32_t zone) { return apply_zone(seconds, zone, false); }
[[nodiscard]] inline double to_utc(double seconds, uint32_t zone) { return apply_zone(seconds, zone, true); }

// Brings a stored (UTC) time into the day whose local time it is: moves
// whole days from the time into the day number and answers the day number.
// A time that no day number can hold raises `type-limit` with date!.
[[nodiscard]] int64_t normalize(int64_t days, double& time, uint32_t zone);

// The instant of a date as its UTC day and a time within it (0 up to
// 86400): one form for every way of writing the same instant, which
// comparison and hashing use.
struct Instant {
    int64_t day;
    double time;
};
[[nodiscard]] Instant utc_instant(uint32_t w, double seconds);

// ---- date cells

// A date cell's packed word and stored time.
[[nodiscard]] inline uint32_t word_of(const Cell& c) { return c.w1; }
[[nodiscard]] inline double time_of(const Cell& c) { return get_double(c); }

// Writes a date cell's packed word and stored time.
void store(Cell& date, uint32_t w, double time);

// Moves the date to another day number, keeping zone, time flag and stored
// time.
void move_to_day(Cell& date, int64_t days);

// Sets the date's time: with `convert` the time is local and becomes UTC
// with the date's zone; then day and time are normalised, keeping the zone
// bits and the time flag.
void set_time(Cell& date, double time, bool convert);

// Turns `a` into the time! a − b, the distance between the two instants.
void difference(Cell& a, const Cell& b);

// Moves the date to another day of the calendar, keeping zone, time flag
// and stored time: the Monday of ISO week v, weekday v (1 = Monday) of the
// same week, day v of the year, and month v of the year with the months
// beyond 1-12 carried into the year.
void set_week(Cell& date, int64_t v);
void set_weekday(Cell& date, int64_t v);
void set_yearday(Cell& date, int64_t v);
void set_month(Cell& date, int64_t v);

// The year and month that month v of a year falls in, months beyond 1-12
// carried into the year (13 is January of the next year, 0 December of the
// previous one).
[[nodiscard]] Ymd carry_month(int64_t year, int64_t v);

// The zone bits of an offset east of UTC in seconds, rounded to the
// nearest quarter hour and kept within the 15:45 a zone holds.
[[nodiscard]] uint32_t zone_of_offset(int32_t seconds);

// The date and time of an instant given as seconds since 1970-01-01 UTC
// and a fraction of a second, seen in the zone: its local date, and the UTC
// time counted from that date's midnight.
Cell* make_from_epoch(Cell& cell, int64_t seconds, double fraction, uint32_t zone);

// The constructors. make_at takes a checked calendar date and the time as
// local time in the zone; without the time flag the date has no time.
// make_at_hms makes a UTC date with a time and no zone.
Cell* make_at(Cell& cell, int32_t year, int32_t month, int32_t day, double time, uint32_t zone, bool with_time);
Cell* make_at_hms(Cell& cell, int32_t year, int32_t month, int32_t day, int32_t hours, int32_t minutes,
                  double seconds, int64_t nanoseconds);

}  // namespace qor::date
