// The date reader: every source form of a date, with an optional time and
// zone, checked and packed into a date! cell.
//
// Forms: day-month-year or year-month-day with "-" or "/" (the month as
// digits or an English name of 3 to 9 letters; a year before 1 comes last,
// with its sign), the compact form 20240115T103000Z, ISO weeks 2024-W03-2
// and ordinal days 2024-015; each optionally followed by "/" or "T" and a
// time with a zone.
#include <string_view>

#include "runtime/datatypes/date_calendar.h"
#include "runtime/numtext/float_text.h"
#include "runtime/numtext/number_readers.h"

namespace qor::number_text {

namespace {

[[nodiscard]] bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }

struct Cursor {
    std::string_view t;
    size_t i = 0;

    [[nodiscard]] bool done() const { return i >= t.size(); }
    [[nodiscard]] char peek(size_t k = 0) const { return i + k < t.size() ? t[i + k] : '\0'; }
    bool eat(char c) {
        if (peek() != c) return false;
        i++;
        return true;
    }
    // Reads min..max decimal digits; answers the count read (0 when fewer
    // than min).
    int digits(int min, int max, int32_t& value) {
        int n = 0;
        int32_t v = 0;
        while (n < max && peek(static_cast<size_t>(n)) >= '0' && peek(static_cast<size_t>(n)) <= '9')
            v = v * 10 + (peek(static_cast<size_t>(n)) - '0'), n++;
        if (n < min) return 0;
        i += static_cast<size_t>(n);
        value = v;
        return n;
    }
};

constexpr std::string_view month_names[12] = {"january", "february", "march",     "april",   "may",      "june",
                                              "july",    "august",   "september", "october", "november", "december"};

// A month name: a prefix of 3 to 9 letters of an English month name.
int month_by_name(Cursor& c) {
    size_t n = 0;
    while (n < 10 && ((c.peek(n) | 0x20) >= 'a' && (c.peek(n) | 0x20) <= 'z')) n++;
    if (n < 3 || n > 9) return 0;
    for (int m = 0; m < 12; m++) {
        const std::string_view name = month_names[m];
        if (n > name.size()) continue;
        bool same = true;
        for (size_t k = 0; k < n && same; k++) same = (c.peek(k) | 0x20) == name[k];
        if (same) {
            c.i += n;
            return m + 1;
        }
    }
    return 0;
}

// Seconds of min_digits to 2 digits with an optional fraction after "." or
// ",", read as one decimal number (correctly rounded).
bool read_seconds(Cursor& c, int min_digits, double& seconds) {
    const size_t start = c.i;
    int32_t whole = 0;
    if (!c.digits(min_digits, 2, whole)) return false;
    char text[64];
    size_t n = 0;
    for (size_t k = start; k < c.i; k++) text[n++] = c.t[k];
    if (c.peek() == '.' || c.peek() == ',') {
        c.i++;
        text[n++] = '.';
        const size_t fraction = c.i;
        while (is_digit(c.peek())) {
            if (n < sizeof text) text[n++] = c.t[c.i];
            c.i++;
        }
        if (c.i == fraction) return false;
    }
    size_t unread = 0;
    seconds = float_text::text_to_float({text, n}, 0, unread);
    return unread == 0 && seconds < 60;
}

// "h:m[:s[.f]]".
bool read_clock(Cursor& c, double& seconds) {
    int32_t h = 0, m = 0;
    if (!c.digits(1, 2, h) || !c.eat(':') || !c.digits(1, 2, m)) return false;
    double s = 0;
    if (c.eat(':') && !read_seconds(c, 1, s)) return false;
    if (h > 23 || m > 59) return false;
    seconds = h * 3600.0 + m * 60.0 + s;
    return true;
}

// "Z" or a zone "+h[:mm]" / "-h[:mm]" into zone bits (0 without one).
bool read_zone(Cursor& c, uint32_t& zone, bool& zoned) {
    if (c.eat('Z')) {
        zoned = true;
        return true;
    }
    if (c.peek() != '+' && c.peek() != '-') return true;
    const bool west = c.t[c.i++] == '-';
    int32_t hours = 0, minutes = 0;
    if (!c.digits(1, 2, hours) || hours > 15) return false;
    if (c.eat(':') && !c.digits(2, 2, minutes)) return false;
    if (minutes > 59) return false;
    zone = date::zone_bits(hours, minutes, west);
    zoned = true;
    return true;
}

}  // namespace

bool read_date(std::string_view text, Cell& out) {
    Cursor c{text};
    int32_t year = 0, month = 0, day = 0;
    bool has_time = false, zoned = false;
    double seconds = 0;
    uint32_t zone = 0;

    const bool compact = text.size() > 8 && text[8] == 'T' &&
                         text.substr(0, 8).find_first_not_of("0123456789") == std::string_view::npos;
    if (compact) {
        c.digits(4, 4, year);
        c.digits(2, 2, month);
        c.digits(2, 2, day);
        c.i++;  // "T"
        int32_t h = 0, m = 0;
        if (!c.digits(2, 2, h) || !c.digits(2, 2, m)) return false;
        double s = 0;
        if (is_digit(c.peek()) && !read_seconds(c, 2, s)) return false;
        if (h > 23 || m > 59) return false;
        seconds = h * 3600.0 + m * 60.0 + s;
        has_time = true;
        if (!read_zone(c, zone, zoned) || !zoned) return false;
    } else {
        int32_t f1 = 0;
        const int n1 = c.digits(1, 4, f1);
        if (n1 == 0) return false;
        const char sep = c.peek();
        if (sep != '-' && sep != '/') return false;
        c.i++;
        if (sep == '-' && c.peek() == 'W') {
            // ISO week: year-Wweek[-weekday].
            c.i++;
            int32_t week = 0, weekday = 1;
            if (!c.digits(1, 2, week) || week < 1 || week > 53) return false;
            if (c.eat('-') && (!c.digits(1, 1, weekday) || weekday < 1 || weekday > 7)) return false;
            const date::Ymd d = date::ymd_of_days(date::iso_week_start(f1).monday + 7 * week - 7 + weekday - 1);
            year = static_cast<int32_t>(d.year), month = d.month, day = d.day;
        } else if (sep == '-' && is_digit(c.peek(0)) && is_digit(c.peek(1)) && is_digit(c.peek(2)) &&
                   !is_digit(c.peek(3)) && c.peek(3) != '-') {
            // Ordinal day: year-ddd.
            int32_t yday = 0;
            c.digits(3, 3, yday);
            if (yday < 1 || yday > (date::leap_year(f1) ? 366 : 365)) return false;
            const date::Ymd d = date::ymd_of_days(date::to_days(f1, 1, 1) + yday - 1);
            year = static_cast<int32_t>(d.year), month = d.month, day = d.day;
        } else {
            if (c.peek() >= '0' && c.peek() <= '9') {
                if (!c.digits(1, 2, month)) return false;
            } else {
                month = month_by_name(c);
                if (month == 0) return false;
            }
            if (!c.eat(sep)) return false;
            // A year before 1 is written last, with its sign: 1/Jan/-0044.
            const bool negative = c.eat('-');
            int32_t f3 = 0;
            const int n3 = c.digits(1, 4, f3);
            if (n3 == 0) return false;
            if (negative) {
                day = f1, year = -f3;
            } else {
                int year_digits;
                if (f1 > 99 && f3 <= 31) year = f1, day = f3, year_digits = n1;
                else day = f1, year = f3, year_digits = n3;
                if (year_digits <= 2) year += year < 50 ? 2000 : 1900;
            }
        }
        if (!c.done()) {
            if (c.peek() != '/' && c.peek() != 'T') return false;
            c.i++;
            if (!read_clock(c, seconds) || !read_zone(c, zone, zoned)) return false;
            has_time = true;
        }
    }
    if (!c.done()) return false;
    if (month < 1 || month > 12 || year < -9999 || year > 9999 || day < 1 || day > date::days_in_month(year, month))
        return false;
    date::make_at(out, year, month, day, seconds, zone, has_time);
    return true;
}

}  // namespace qor::number_text
