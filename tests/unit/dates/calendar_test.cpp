// The calendar under date!: day numbers both ways over every day a packed
// word holds, weeks, zones and the normalisation of times.
#include <gtest/gtest.h>

#include <utility>

#include "runtime/datatypes/date_calendar.h"

namespace qor {
namespace {

uint32_t word(int32_t y, int32_t m, int32_t d) {
    return static_cast<uint32_t>(y) << 17 | static_cast<uint32_t>(m) << 12 | static_cast<uint32_t>(d) << 7;
}

TEST(Calendar, DayNumbersRoundTripOverEveryPackedDay) {
    // Every day from the first to the last year a word holds, years 1 to
    // 9999 among them: the date of a day number gives the number back, and
    // consecutive numbers are consecutive calendar days.
    const int64_t first = date::to_days(date::min_year, 1, 1), last = date::to_days(date::max_year, 12, 31);
    date::Ymd previous = date::ymd_of_days(first - 1);
    for (int64_t g = first; g <= last; g++) {
        const date::Ymd d = date::ymd_of_days(g);
        ASSERT_EQ(date::to_days(d.year, d.month, d.day), g) << d.year << "-" << d.month << "-" << d.day;
        ASSERT_TRUE(d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= date::days_in_month(d.year, d.month));
        const bool next_in_month = d.year == previous.year && d.month == previous.month && d.day == previous.day + 1;
        const bool next_month = d.day == 1 && previous.day == date::days_in_month(previous.year, previous.month) &&
                                ((d.month == previous.month + 1 && d.year == previous.year) ||
                                 (d.month == 1 && previous.month == 12 && d.year == previous.year + 1));
        ASSERT_TRUE(next_in_month || next_month) << g;
        previous = d;
    }
    EXPECT_TRUE(date::days_in_range(first) && date::days_in_range(last));
    EXPECT_FALSE(date::days_in_range(first - 1) || date::days_in_range(last + 1));
}

TEST(Calendar, FixedPoints) {
    EXPECT_EQ(date::to_days(0, 3, 1), 0);
    EXPECT_EQ(date::to_days(word(1970, 1, 1)), date::epoch_day);
    EXPECT_EQ(date::weekday0(0), 2);  // day 0 is a Wednesday
    EXPECT_FALSE(date::leap_year(1900));
    EXPECT_TRUE(date::leap_year(2000));
    EXPECT_TRUE(date::leap_year(2024));
    EXPECT_TRUE(date::leap_year(0));
    EXPECT_TRUE(date::leap_year(-4));
    EXPECT_FALSE(date::leap_year(-1));
    EXPECT_EQ(date::year_day(word(2024, 12, 31)), 366);
    EXPECT_EQ(date::to_epoch(word(1970, 1, 2), 0), 86400);
    // The stored time rounds to the nearest second, below zero too.
    EXPECT_EQ(date::to_epoch(word(1970, 1, 2), -1.0), 86399);
    EXPECT_EQ(date::to_epoch(word(1970, 1, 2), -0.6), 86399);
    EXPECT_EQ(date::to_epoch(word(1970, 1, 2), 0.5), 86401);
}

TEST(Calendar, IsoWeekStart) {
    const date::IsoWeekStart y2021 = date::iso_week_start(2021);
    EXPECT_EQ(y2021.monday, date::to_days(2021, 1, 4));
    EXPECT_EQ(y2021.jan1_weekday, 5);  // a Friday
    const date::IsoWeekStart y2024 = date::iso_week_start(2024);
    EXPECT_EQ(y2024.monday, date::to_days(2024, 1, 1));
    EXPECT_EQ(y2024.jan1_weekday, 1);
}

TEST(Calendar, ZoneBits) {
    // Sign in bit 6, hours in bits 2-5, quarter hours in bits 0-1.
    struct Case {
        int32_t hours, minutes;
        bool west;
        uint32_t bits;
        int32_t seconds;
    };
    const Case table[] = {
        {0, 0, false, 0, 0},
        {0, 0, true, 0, 0},                     // no sign without an offset
        {3, 30, true, 0x40 | 3 << 2 | 2, -12600},
        {0, 30, true, 0x40 | 0 << 2 | 2, -1800},  // less than an hour west keeps its sign
        {3, 15, true, 0x40 | 3 << 2 | 1, -11700},
        {5, 45, false, 5 << 2 | 3, 20700},
        {5, 30, false, 5 << 2 | 2, 19800},
        {1, 0, false, 1 << 2, 3600},
        {14, 0, false, 14 << 2, 50400},
        {5, 40, false, 5 << 2 | 2, 19800},     // minutes count in whole quarters
    };
    for (const Case& c : table) {
        EXPECT_EQ(date::zone_bits(c.hours, c.minutes, c.west), c.bits) << c.hours << ":" << c.minutes;
        EXPECT_EQ(date::zone_seconds(c.bits), c.seconds) << c.hours << ":" << c.minutes;
    }
    // 10:00 local at +5:30 is 4:30 UTC.
    EXPECT_EQ(date::to_utc(36000, date::zone_bits(5, 30, false)), 16200);
}

TEST(Calendar, NormalizeBringsTheLocalTimeIntoTheDay) {
    const int64_t n = date::to_days(2024, 6, 15);
    double t = 23 * 3600.0;  // 23:00 UTC at +2:00 is 1:00 on the next day
    EXPECT_EQ(date::normalize(n, t, date::zone_bits(2, 0, false)), n + 1);
    EXPECT_EQ(t, -3600.0);
    t = 3600.0;  // 1:00 UTC at -3:00 is 22:00 on the day before
    EXPECT_EQ(date::normalize(n, t, date::zone_bits(3, 0, true)), n - 1);
    EXPECT_EQ(t, 25 * 3600.0);
    t = -30 * 3600.0;
    EXPECT_EQ(date::normalize(n, t, 0), n - 2);
    EXPECT_EQ(t, 18 * 3600.0);
}

TEST(Calendar, OneInstantHasOneUtcForm) {
    // 1:00 on 2 January at +2:00 and 23:00 on 1 January in UTC.
    const date::Instant a = date::utc_instant(word(2024, 1, 2) | date::zone_bits(2, 0, false), -3600.0);
    const date::Instant b = date::utc_instant(word(2024, 1, 1), 23 * 3600.0);
    EXPECT_EQ(a.day, b.day);
    EXPECT_EQ(a.time, b.time);
    const date::Instant c = date::utc_instant(word(2024, 1, 1), 0.25);
    const date::Instant d = date::utc_instant(word(2024, 1, 2), 0.25 - 86400.0);
    EXPECT_EQ(c.day, d.day);
    EXPECT_EQ(c.time, d.time);
}

TEST(Calendar, ZoneOfAnOffsetInSeconds) {
    const std::pair<int32_t, uint32_t> table[] = {
        {0, 0},
        {3600, 1 << 2},
        {19800, 5 << 2 | 2},               // +5:30
        {-12600, 0x40 | 3 << 2 | 2},       // -3:30
        {-1800, 0x40 | 2},                 // -0:30
        {561, 1},                          // +0:09:21 rounds to a quarter hour
        {-449, 0},
        {50400, 14 << 2},                  // +14:00
        {86399, 15 << 2 | 3},              // beyond 15:45 stays there
        {-86399, 0x40 | 15 << 2 | 3},
    };
    for (auto [seconds, bits] : table) EXPECT_EQ(date::zone_of_offset(seconds), bits) << seconds;
}

TEST(Calendar, AnInstantSeenInAZoneAcrossMidnight) {
    // 23:30 UTC on 31 December 2023 is 0:30 on 1 January at +1:00, and 0:30
    // UTC on 1 January 2024 is 23:30 on 31 December at -1:00: the local date
    // and the local time come from one instant.
    const int64_t new_year = (date::to_days(2024, 1, 1) - date::epoch_day) * 86400;
    struct Case {
        int64_t seconds;
        uint32_t zone;
        uint32_t w;
        double local;
    };
    const uint32_t east = date::zone_bits(1, 0, false), west = date::zone_bits(1, 0, true);
    const Case table[] = {
        {new_year - 1800, east, word(2024, 1, 1), 1800},
        {new_year + 1800, west, word(2023, 12, 31), 84600},
        {new_year - 1800, 0, word(2023, 12, 31), 84600},
        {new_year - 1, 0, word(2023, 12, 31), 86399},
        {new_year, 0, word(2024, 1, 1), 0},
        {-1, 0, word(1969, 12, 31), 86399},
    };
    for (const Case& c : table) {
        Cell d{};
        date::make_from_epoch(d, c.seconds, 0.25, c.zone);
        EXPECT_EQ(d.w1, c.w | c.zone | date::time_flag) << c.seconds;
        EXPECT_EQ(date::to_local(date::time_of(d), c.zone), c.local + 0.25) << c.seconds;
        EXPECT_EQ(date::to_epoch(d.w1, date::time_of(d) - 0.25), c.seconds);
    }
}

TEST(Calendar, MonthsCarryIntoTheYear) {
    struct Case {
        int64_t v;
        int64_t year;
        int32_t month;
    };
    const Case table[] = {{1, 2024, 1},   {12, 2024, 12}, {13, 2025, 1},  {25, 2026, 1},
                          {0, 2023, 12},  {-1, 2023, 11}, {-11, 2023, 1}, {-12, 2022, 12},
                          {-13, 2022, 11}, {-23, 2022, 1}, {-24, 2021, 12}};
    for (const Case& c : table) {
        const date::Ymd r = date::carry_month(2024, c.v);
        EXPECT_EQ(r.year, c.year) << c.v;
        EXPECT_EQ(r.month, c.month) << c.v;
    }
}

}  // namespace
}  // namespace qor
