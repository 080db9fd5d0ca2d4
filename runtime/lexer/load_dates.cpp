// The date loader: every source form of a date, with an optional time and
// zone, checked and packed into a date! cell.
//
// Forms: day-month-year or year-month-day with "-" or "/" (the month as
// digits or an English name of 3 to 9 letters), the compact form
// 20240115T103000Z, ISO weeks 2024-W03-2 and ordinal days 2024-015; each
// optionally followed by "/" or "T" and a time with a zone.
#include <cmath>
#include <cstring>
#include <string_view>

#include "runtime/lexer/lex_record.h"
#include "runtime/lexer/number_loaders.h"

namespace qor::lexer {

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

[[nodiscard]] bool leap_year(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

[[nodiscard]] int days_in_month(int32_t y, int32_t m) {
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap_year(y) ? 29 : days[m - 1];
}

// Day number since 0000-03-01.
[[nodiscard]] int64_t to_days(int64_t y, int64_t m, int64_t d) {
    const int64_t mm = (m + 9) % 12;
    y -= mm / 10;
    return 365 * y + y / 4 - y / 100 + y / 400 + (306 * mm + 5) / 10 + (d - 1);
}

void from_days(int64_t g, int32_t& year, int32_t& month, int32_t& day) {
    int64_t y = static_cast<int64_t>((10000.0 * static_cast<double>(g) + 14780.0) / 3652425.0);
    int64_t r = g - (365 * y + y / 4 - y / 100 + y / 400);
    if (r < 0) {
        y--;
        r = g - (365 * y + y / 4 - y / 100 + y / 400);
    }
    const int64_t mi = (100 * r + 52) / 3060;
    month = static_cast<int32_t>((mi + 2) % 12 + 1);
    year = static_cast<int32_t>(y + (mi + 2) / 12);
    day = static_cast<int32_t>(r - (mi * 306 + 5) / 10 + 1);
}

// "h:m[:s[.f]]" then an optional "Z" or zone.
bool read_clock(Cursor& c, double& seconds) {
    int32_t h = 0, m = 0, s = 0;
    if (!c.digits(1, 2, h) || !c.eat(':') || !c.digits(1, 2, m)) return false;
    double frac = 0;
    if (c.eat(':')) {
        if (!c.digits(1, 2, s)) return false;
        if (c.peek() == '.' || c.peek() == ',') {
            c.i++;
            double scale = 0.1;
            size_t n = 0;
            while (c.peek() >= '0' && c.peek() <= '9') frac += (c.t[c.i++] - '0') * scale, scale /= 10, n++;
            if (n == 0) return false;
        }
    }
    if (h > 23 || m > 59 || s + frac >= 60) return false;
    seconds = h * 3600.0 + m * 60.0 + s + frac;
    return true;
}

bool read_zone(Cursor& c, int32_t& zone_h, int32_t& zone_m, bool& zoned) {
    if (c.eat('Z')) {
        zoned = true;
        return true;
    }
    if (c.peek() != '+' && c.peek() != '-') return true;
    const bool west = c.t[c.i++] == '-';
    if (!c.digits(1, 2, zone_h) || zone_h > 15) return false;
    if (c.eat(':') && !c.digits(2, 2, zone_m)) return false;
    if (zone_m > 59) return false;
    if (west) zone_h = -zone_h;
    zoned = true;
    return true;
}

// The packed word and the time of a date, as the date constructor makes it:
// the time is kept in UTC when a zone is given.
Cell pack(int32_t y, int32_t m, int32_t d, bool has_time, double seconds, int32_t zh, int32_t zm) {
    uint32_t word = static_cast<uint32_t>(y) << 17 | static_cast<uint32_t>(m & 15) << 12 |
                    static_cast<uint32_t>(d & 31) << 7;
    const uint32_t zone = ((static_cast<uint32_t>(std::abs(zh)) << 2) & 0x7F) | static_cast<uint32_t>(zm / 15) |
                          (zh < 0 ? 0x40u : 0u);
    word |= zone & 0x7F;
    Cell c{to_int(TypeId::date), 0, 0, 0};
    if (has_time) {
        word |= 1u << 16;
        const double shift = (zh < 0 ? -1 : 1) * (std::abs(zh) * 3600.0 + (zm / 15) * 900.0);
        set_double(c, seconds - shift);
    }
    c.w1 = word;
    return c;
}

}  // namespace

bool read_date(std::string_view text, Cell& out) {
    Cursor c{text};
    int32_t year = 0, month = 0, day = 0;
    bool has_time = false, zoned = false;
    double seconds = 0;
    int32_t zh = 0, zm = 0;

    const bool compact = text.size() > 8 && text[8] == 'T' &&
                         text.substr(0, 8).find_first_not_of("0123456789") == std::string_view::npos;
    if (compact) {
        c.digits(4, 4, year);
        c.digits(2, 2, month);
        c.digits(2, 2, day);
        c.i++;  // "T"
        int32_t h = 0, m = 0, s = 0;
        if (!c.digits(2, 2, h) || !c.digits(2, 2, m)) return false;
        double frac = 0;
        if (c.digits(2, 2, s) && (c.peek() == '.' || c.peek() == ',')) {
            c.i++;
            double scale = 0.1;
            size_t n = 0;
            while (c.peek() >= '0' && c.peek() <= '9') frac += (c.t[c.i++] - '0') * scale, scale /= 10, n++;
            if (n == 0) return false;
        }
        if (h > 23 || m > 59 || s + frac >= 60) return false;
        seconds = h * 3600.0 + m * 60.0 + s + frac;
        has_time = true;
        if (!read_zone(c, zh, zm, zoned) || !zoned) return false;
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
            const int64_t jan1 = to_days(f1, 1, 1);
            const int64_t b = ((jan1 + 2) % 7 + 7) % 7;
            const int64_t monday1 = jan1 - b + (b >= 4 ? 7 : 0);
            from_days(monday1 + 7 * week - 7 + weekday - 1, year, month, day);
        } else if (sep == '-' && is_digit(c.peek(0)) && is_digit(c.peek(1)) && is_digit(c.peek(2)) &&
                   !is_digit(c.peek(3)) && c.peek(3) != '-') {
            // Ordinal day: year-ddd.
            int32_t yday = 0;
            c.digits(3, 3, yday);
            if (yday < 1 || yday > (leap_year(f1) ? 366 : 365)) return false;
            from_days(to_days(f1, 1, 1) + yday - 1, year, month, day);
        } else {
            if (c.peek() >= '0' && c.peek() <= '9') {
                if (!c.digits(1, 2, month)) return false;
            } else {
                month = month_by_name(c);
                if (month == 0) return false;
            }
            if (!c.eat(sep)) return false;
            int32_t f3 = 0;
            const int n3 = c.digits(1, 4, f3);
            if (n3 == 0) return false;
            int year_digits;
            if (f1 > 99 && f3 <= 31) year = f1, day = f3, year_digits = n1;
            else day = f1, year = f3, year_digits = n3;
            if (year_digits <= 2) year += year < 50 ? 2000 : 1900;
        }
        if (!c.done()) {
            if (c.peek() != '/' && c.peek() != 'T') return false;
            c.i++;
            if (!read_clock(c, seconds) || !read_zone(c, zh, zm, zoned)) return false;
            has_time = true;
        }
    }
    if (!c.done()) return false;
    if (month < 1 || month > 12 || year > 9999 || day < 1 || day > days_in_month(year, month)) return false;
    out = pack(year, month, day, has_time, seconds, zh, zm);
    return true;
}

namespace scanners {

void load_date(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end;
    Cell c{};
    if (!read_date({reinterpret_cast<const char*>(r.input + start), end - start}, c))
        invalid(r, start, end, TypeId::date);
    if (load) push_value(r, c);
}

}  // namespace scanners

}  // namespace qor::lexer
