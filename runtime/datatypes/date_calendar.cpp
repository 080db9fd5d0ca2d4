// The calendar under date!: day numbers, weeks, zones and the normalisation
// of times (see date_calendar.h for the packed word).
#include "runtime/datatypes/date_calendar.h"

#include <cmath>
#include <cstdlib>

#include "runtime/datatypes/datatype.h"
#include "runtime/core/error_fire.h"

namespace qor::date {

namespace {

// Divisions that round down, so that negative years count like positive ones.
constexpr int64_t floor_div(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }
constexpr int64_t floor_mod(int64_t a, int64_t b) { return a - floor_div(a, b) * b; }

// Days from day 0 to 1 March of year y.
constexpr int64_t days_before_march(int64_t y) {
    return 365 * y + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400);
}

[[noreturn]] void out_of_range() { error::fire(error::Id::type_limit, {datatype::value(TypeId::date)}); }

// Local times beyond this many hours can hold no date.
constexpr double max_hours = 1e12;

}  // namespace

// ---- zones

uint32_t zone_bits(int32_t hours, int32_t minutes, bool west) {
    const uint32_t h = static_cast<uint32_t>(std::abs(int64_t{hours})) & 15;
    const uint32_t q = static_cast<uint32_t>(std::abs(int64_t{minutes}) / 15) & 3;
    return (west && (h | q) != 0 ? zone_west : 0) | h << 2 | q;
}

int32_t zone_seconds(uint32_t zone) {
    const int32_t shift = static_cast<int32_t>(zone >> 2 & 15) * 3600 + static_cast<int32_t>(zone & 3) * 900;
    return (zone & zone_west) ? -shift : shift;
}

// ---- calendar arithmetic

bool leap_year(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int32_t days_in_month(int64_t year, int32_t month) {
    static constexpr int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leap_year(year) ? 29 : days[month - 1];
}

int64_t to_days(int64_t year, int32_t month, int64_t day) {
    const int64_t m = (month + 9) % 12;  // March is 0, February 11
    const int64_t y = year - m / 10;     // January and February count to the year before
    return days_before_march(y) + (306 * m + 5) / 10 + (day - 1);
}

int64_t to_days(uint32_t w) { return to_days(year_of(w), month_of(w), day_of(w)); }

Ymd ymd_of_days(int64_t days) {
    int64_t y = floor_div(10000 * days + 14780, 3652425);
    int64_t r = days - days_before_march(y);
    if (r < 0) {
        y--;
        r = days - days_before_march(y);
    }
    const int64_t mi = (100 * r + 52) / 3060;
    return {y + (mi + 2) / 12, static_cast<int32_t>((mi + 2) % 12 + 1),
            static_cast<int32_t>(r - (mi * 306 + 5) / 10 + 1)};
}

bool days_in_range(int64_t days) {
    static const int64_t first = to_days(min_year, 1, 1), last = to_days(max_year, 12, 31);
    return days >= first && days <= last;
}

uint32_t from_days(int64_t days, uint32_t zone, bool time) {
    if (!days_in_range(days)) out_of_range();
    const Ymd d = ymd_of_days(days);
    return static_cast<uint32_t>(d.year) << 17 | static_cast<uint32_t>(d.month) << 12 |
           static_cast<uint32_t>(d.day) << 7 | (time ? time_flag : 0) | (zone & zone_mask);
}

int64_t days_at_year_start(uint32_t w) { return to_days(year_of(w), 1, 1); }

int32_t year_day(uint32_t w) { return static_cast<int32_t>(to_days(w) - days_at_year_start(w) + 1); }

int32_t weekday0(int64_t days) { return static_cast<int32_t>(floor_mod(days + 2, 7)); }

IsoWeekStart iso_week_start(int64_t year) {
    const int64_t jan1 = to_days(year, 1, 1);
    const int32_t b = weekday0(jan1);
    // 1 January on Friday to Sunday belongs to the previous year's last week.
    return {jan1 - b + (b >= 4 ? 7 : 0), b + 1};
}

int32_t iso_week(uint32_t w) {
    const int64_t year = year_of(w);
    const int64_t g = to_days(w);
    const IsoWeekStart s = iso_week_start(year);
    if (g < s.monday) {
        // The last week of the previous year: 53 weeks when that year began
        // on a Thursday, or on a Wednesday in a leap year.
        switch (s.jan1_weekday) {
            case 5: return 53;
            case 6: return leap_year(year - 1) ? 53 : 52;
            default: return 52;
        }
    }
    if (g < iso_week_start(year + 1).monday) return static_cast<int32_t>((g - s.monday) / 7 + 1);
    return 1;
}

int32_t sunday_week(uint32_t w) {
    const int64_t e = floor_mod(days_at_year_start(w) + 3, 7);  // 1 January's weekday, Sunday = 0
    const int64_t d = year_day(w);
    return static_cast<int32_t>(d <= 7 - e ? 1 : (d + e - 1) / 7 + 1);
}

// ---- times and zones

int64_t to_epoch(uint32_t w, double seconds) {
    const double rounded = std::floor(seconds + 0.5);
    const int64_t whole = std::isfinite(rounded) && std::fabs(rounded) < 1e15 ? static_cast<int64_t>(rounded) : 0;
    return (to_days(w) - epoch_day) * 86400 + whole;
}

double apply_zone(double seconds, uint32_t zone, bool backwards) {
    const double shift = zone_seconds(zone);
    return backwards ? seconds - shift : seconds + shift;
}

int64_t normalize(int64_t days, double& time, uint32_t zone) {
    const double zone_hours = zone_seconds(zone) / 3600.0;
    const double local_hours = time / 3600.0 + zone_hours;
    if (!(std::fabs(local_hours) <= max_hours)) out_of_range();
    const int64_t whole_days = static_cast<int64_t>(std::trunc(local_hours)) / 24;
    time -= static_cast<double>(whole_days) * seconds_per_day;
    days += whole_days;
    if (zone_hours * 3600.0 + time < 0) {
        time += seconds_per_day;
        days--;
    }
    return days;
}

Instant utc_instant(uint32_t w, double seconds) {
    const int64_t days = to_days(w);
    if (!(std::fabs(seconds) <= max_hours * 3600.0)) return {days, seconds};
    int64_t q = static_cast<int64_t>(std::floor(seconds / seconds_per_day));
    double r = seconds - static_cast<double>(q) * seconds_per_day;
    // The division may round across a day's edge; the remainder says which.
    if (r < 0) {
        r += seconds_per_day;
        q--;
    }
    if (r >= seconds_per_day) {
        r -= seconds_per_day;
        q++;
    }
    return {days + q, r + 0.0};  // -0.0 becomes 0.0
}

// ---- date cells

void store(Cell& date, uint32_t w, double time) {
    date.w1 = w;
    set_double(date, time);
}

void move_to_day(Cell& date, int64_t days) {
    const uint32_t w = word_of(date);
    date.w1 = from_days(days, zone_of(w), has_time(w));
}

void set_time(Cell& date, double time, bool convert) {
    const uint32_t w = word_of(date);
    if (convert) time = to_utc(time, zone_of(w));
    const int64_t days = normalize(to_days(w), time, zone_of(w));
    store(date, from_days(days, zone_of(w), has_time(w)), time);
}

void difference(Cell& a, const Cell& b) {
    const double seconds = static_cast<double>(to_days(word_of(a)) - to_days(word_of(b))) * seconds_per_day +
                           (time_of(a) - time_of(b));
    set_header(a, TypeId::time);
    a.w1 = 0;
    set_double(a, seconds);
}

void set_week(Cell& date, int64_t v) {
    move_to_day(date, iso_week_start(year_of(word_of(date))).monday + 7 * v - 7);
}

void set_weekday(Cell& date, int64_t v) {
    const int64_t g = to_days(word_of(date));
    move_to_day(date, g + v - weekday0(g) - 1);
}

void set_yearday(Cell& date, int64_t v) { move_to_day(date, days_at_year_start(word_of(date)) + v - 1); }

Ymd carry_month(int64_t year, int64_t v) {
    const int64_t months = year * 12 + (v - 1);
    return {floor_div(months, 12), static_cast<int32_t>(floor_mod(months, 12) + 1), 0};
}

void set_month(Cell& date, int64_t v) {
    const uint32_t w = word_of(date);
    const Ymd ym = carry_month(year_of(w), v);
    if (ym.year < min_year || ym.year > max_year) out_of_range();
    move_to_day(date, to_days(ym.year, ym.month, day_of(w)));
}

// ---- constructors

uint32_t zone_of_offset(int32_t seconds) {
    constexpr int64_t max_offset = 15 * 3600 + 45 * 60;
    int64_t rounded = floor_div(static_cast<int64_t>(seconds) + 450, 900) * 900;
    if (rounded > max_offset) rounded = max_offset;
    if (rounded < -max_offset) rounded = -max_offset;
    const int64_t magnitude = rounded < 0 ? -rounded : rounded;
    return zone_bits(static_cast<int32_t>(magnitude / 3600), static_cast<int32_t>(magnitude % 3600 / 60),
                     rounded < 0);
}

Cell* make_from_epoch(Cell& cell, int64_t seconds, double fraction, uint32_t zone) {
    const int64_t days = epoch_day + floor_div(seconds + zone_seconds(zone), 86400);
    set_header(cell, TypeId::date);
    store(cell, from_days(days, zone, true), static_cast<double>(seconds - (days - epoch_day) * 86400) + fraction);
    return &cell;
}

Cell* make_at(Cell& cell, int32_t year, int32_t month, int32_t day, double time, uint32_t zone, bool with_time) {
    set_header(cell, TypeId::date);
    uint32_t w = static_cast<uint32_t>(year) << 17 | static_cast<uint32_t>(month & 15) << 12 |
                 static_cast<uint32_t>(day & 31) << 7 | (zone & zone_mask);
    if (with_time) w |= time_flag;
    store(cell, w, with_time ? to_utc(time, zone) : 0.0);
    return &cell;
}

Cell* make_at_hms(Cell& cell, int32_t year, int32_t month, int32_t day, int32_t hours, int32_t minutes,
                  double seconds, int64_t nanoseconds) {
    set_header(cell, TypeId::date);
    const uint32_t w = static_cast<uint32_t>(year) << 17 | static_cast<uint32_t>(month & 15) << 12 |
                       static_cast<uint32_t>(day & 31) << 7 | time_flag;
    store(cell, w, 3600.0 * hours + 60.0 * minutes + seconds + 1e-9 * static_cast<double>(nanoseconds));
    return &cell;
}

}  // namespace qor::date
