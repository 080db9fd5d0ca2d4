// date!: construction, text form, arithmetic, comparison and random; the
// fields and paths are in date_fields.cpp.
#include "runtime/datatypes/date.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/random_draw.h"
#include "runtime/datatypes/registry.h"
#include "runtime/hash/murmur3.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/time.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"

namespace qor::date {

namespace {

MonthNames month_reader = nullptr;

constexpr const char* english_months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Appends the first three characters of the month's name; answers how many.
int32_t append_month(Cell& buffer, int32_t month) {
    if (!month_reader) {
        text_buffer::append_ascii(buffer, english_months[month - 1]);
        return 3;
    }
    const Cell months = month_reader();
    const TypeId t = type_of(months);
    if (t != TypeId::block && t != TypeId::paren && t != TypeId::hash)
        error::fire(error::Id::invalid_months);
    if (series_tail::cell_count(months) < static_cast<uint32_t>(month)) error::fire(error::Id::invalid_months);
    const Cell name = *series_tail::cell_at(months, static_cast<uint32_t>(month - 1));
    if (type_of(name) != TypeId::string) error::fire(error::Id::invalid_months);
    const uint32_t n = std::min<uint32_t>(3, str::length_at(name));
    for (uint32_t i = 0; i < n; i++) text_buffer::append_char(buffer, str::char_at(name, i));
    return static_cast<int32_t>(n);
}

int32_t append_text(Cell& buffer, std::string_view text) {
    text_buffer::append_ascii(buffer, text);
    return static_cast<int32_t>(text.size());
}

}  // namespace

void install_month_names(MonthNames reader) { month_reader = reader; }

[[noreturn]] void invalid_arg(const Cell& value) {
    error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::date), value});
}

double local_time(const Cell& date) {
    const uint32_t w = word_of(date);
    return has_time(w) ? to_local(time_of(date), zone_of(w)) : 0.0;
}

// ---- construction from a block

namespace {

// The values a block gives, read by the state machine of `from_block`.
struct BlockParts {
    int64_t first = 0, month = 0, third = 0;
    double time = 0;       // the time! given, or hours, minutes and seconds summed
    int64_t minute = -1;   // an integer minute given, else -1
    bool time_given = false;
    double zone_time = 0;  // a zone given as a time!
    bool zone_as_time = false;
    int64_t zone_hours = 0, zone_minutes = 0;
    uint32_t count = 0;
};

// Reads the values of the spec: [day month year], or with the year first,
// then a time (a time! or hour, minute, second) and a zone (a time! or
// hours and minutes).
BlockParts read_block(const Cell& spec) {
    BlockParts p;
    int state = 0;
    p.count = series_tail::cell_count(spec);
    for (uint32_t i = 0; i < p.count; i++) {
        const Cell v = *series_tail::cell_at(spec, i);
        const TypeId t = type_of(v);
        const bool is_int = t == TypeId::integer, is_time = t == TypeId::time, is_float = t == TypeId::float_;
        const int64_t n = is_int ? get_int(v) : 0;
        const double d = is_int ? 0.0 : is_time || is_float ? get_double(v) : 0.0;
        int next = -1;
        switch (state) {
            case 0: if (is_int) p.first = n, next = 1; break;
            case 1: if (is_int) p.month = n, next = 2; break;
            case 2: if (is_int) p.third = n, next = 3; break;
            case 3:
                if (is_int) p.time = double(n) * 3600.0, next = 8;
                else if (is_time) p.time = d, next = 4;
                break;
            case 4:
            case 10:
                if (is_int) p.zone_hours = n, next = state + 2;
                else if (is_time) p.zone_time = d, p.zone_as_time = true, next = state + 1;
                break;
            case 6:
            case 12:
                if (is_int) p.zone_minutes = n, next = state + 1;
                break;
            case 8: if (is_int) p.minute = n, p.time += double(n) * 60.0, next = 9; break;
            case 9:
                if (is_int || is_float) p.time += is_int ? double(n) : d, next = 10;
                break;
            default: break;
        }
        if (next < 0) invalid_arg(spec);
        state = next;
    }
    if (p.count < 3) invalid_arg(spec);
    p.time_given = p.count > 3;
    return p;
}

// make and to of a block; `checked` (make) refuses a date that rolled over.
const Cell* from_block(Cell* result, const Cell& spec, bool checked) {
    const BlockParts p = read_block(spec);
    if (!std::isfinite(p.time) || !std::isfinite(p.zone_time)) invalid_arg(spec);
    int64_t day = p.first, year = p.third;
    if (p.first > 99 && p.first > p.third) std::swap(day, year);

    // The zone: hours within 15 and whole minutes, west of UTC when negative.
    int64_t zone_hours = p.zone_hours, zone_minutes = p.zone_minutes;
    bool west = zone_hours < 0;
    if (p.zone_as_time) {
        zone_hours = static_cast<int64_t>(std::trunc(p.zone_time / 3600.0));
        zone_minutes = static_cast<int64_t>(std::floor(std::fmod(std::fabs(p.zone_time), 3600.0) / 60.0));
        west = p.zone_time < 0;
    }
    if (zone_hours < -15 || zone_hours > 15 || zone_minutes < 0 || zone_minutes > 59) invalid_arg(spec);
    const uint32_t zone = zone_bits(static_cast<int32_t>(zone_hours), static_cast<int32_t>(zone_minutes), west);

    if (year < min_year || year > max_year) error::fire(error::Id::type_limit, {datatype::value(TypeId::date)});
    const Ymd ym = carry_month(year, p.month);
    if (ym.year < min_year || ym.year > max_year) error::fire(error::Id::type_limit, {datatype::value(TypeId::date)});
    int64_t days = to_days(ym.year, ym.month, day);

    if (checked) {
        const Ymd got = days_in_range(days) ? ymd_of_days(days) : Ymd{};
        const double hour = std::trunc(p.time / 3600.0);
        const int64_t minutes = static_cast<int64_t>(std::floor(std::fmod(std::fabs(p.time), 3600.0) / 60.0));
        if (got.year != year || got.month != p.month || got.day != day || hour < 0 || hour > 23 ||
            (p.minute >= 0 && minutes != p.minute))
            invalid_arg(spec);
    }

    double time = 0;
    if (p.time_given) {
        time = to_utc(p.time, zone);
        days = normalize(days, time, zone);
    }
    set_header(*result, TypeId::date);
    store(*result, from_days(days, zone, p.time_given), time);
    return result;
}

const Cell* make(Cell* prototype, Cell* spec, TypeId) {
    switch (type_of(*spec)) {
        case TypeId::date: return spec;
        case TypeId::block: case TypeId::paren: case TypeId::hash: return from_block(prototype, *spec, true);
        default: invalid_arg(*spec);
    }
}

const Cell* to(Cell* prototype, Cell* spec, TypeId) {
    switch (type_of(*spec)) {
        case TypeId::date: return spec;
        case TypeId::block: case TypeId::paren: case TypeId::hash: return from_block(prototype, *spec, false);
        case TypeId::integer: return make_from_epoch(*prototype, get_int(*spec), 0.0, 0);  // seconds since 1970
        default: invalid_arg(*spec);
    }
}

// ---- text

// Day, month name and year, "-" between them ("/" for a negative year);
// then "/", the local time and the zone when the date has a time.
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    const uint32_t w = word_of(*value);
    const int32_t year = year_of(w);
    const char separator = year < 0 ? '/' : '-';
    char text[32];
    int n = std::snprintf(text, sizeof text, "%d%c", day_of(w), separator);
    int32_t count = append_text(*buffer, {text, static_cast<size_t>(n)});
    count += append_month(*buffer, month_of(w));
    const int32_t magnitude = year < 0 ? -year : year;
    n = std::snprintf(text, sizeof text, magnitude > 99 ? "%c%s%d" : "%c%s%04d", separator, year < 0 ? "-" : "",
                      magnitude);
    count += append_text(*buffer, {text, static_cast<size_t>(n)});
    if (!has_time(w)) return limit - count;

    count += append_text(*buffer, "/");
    count += time_::form_seconds(local_time(*value), *buffer);
    const uint32_t zone = zone_of(w);
    if (zone != 0) {
        n = std::snprintf(text, sizeof text, "%c%02u:%02u", (zone & zone_west) ? '-' : '+', zone >> 2 & 15,
                          (zone & 3) * 15);
        count += append_text(*buffer, {text, static_cast<size_t>(n)});
    }
    return limit - count;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

// ---- comparison

// By the instant: the same moment written in two zones is equal. Equality
// allows for the rounding of a stored time shifted by a zone (a few units
// in the last place of two days' seconds); strict equality and keys ask
// for the same instant exactly, same? for identical bits.
int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
    constexpr double tolerance = 1e-10;
    if (type_of(*b) != TypeId::date) return -2;
    op = fold_equality(op);
    if (op == CompareOp::same) return a->w1 == b->w1 && a->w2 == b->w2 && a->w3 == b->w3 ? 0 : 1;
    const Instant x = utc_instant(word_of(*a), time_of(*a));
    const Instant y = utc_instant(word_of(*b), time_of(*b));
    if (op == CompareOp::strict_equal || op == CompareOp::find_key)
        return x.day == y.day && x.time == y.time ? 0 : 1;
    const double apart = static_cast<double>(x.day - y.day) * seconds_per_day + (x.time - y.time);
    if (std::fabs(apart) <= tolerance) return 0;
    if (op == CompareOp::equal || op == CompareOp::not_equal) return 1;
    return apart < 0 ? -1 : 1;
}

// ---- random

Cell* random(Cell* value, bool seed, bool secure, bool) {
    const uint32_t w = word_of(*value);
    if (seed) {
        const double t = std::trunc(time_of(*value));
        const int64_t whole = std::isfinite(t) && std::fabs(t) < 2147483648.0 ? static_cast<int64_t>(t) : 0;
        random::seed(static_cast<int32_t>(static_cast<uint32_t>(w) + static_cast<uint32_t>(whole)));
        set_header(*value, TypeId::unset);
        return value;
    }
    const int64_t days = random_draw::below(static_cast<int32_t>(to_days(w)), secure) - 1;
    if (!has_time(w)) {
        value->w1 = from_days(days, zone_of(w), false);
        return value;
    }
    uint32_t zone = static_cast<uint32_t>(random_draw::next(secure)) & zone_mask;
    if ((zone & ~zone_west) == 0) zone = 0;  // no sign without an offset
    double time = to_utc(random_draw::next(secure) / 2147483648.0 * seconds_per_day, zone);
    store(*value, from_days(normalize(days, time, zone), zone, true), time);
    return value;
}

}  // namespace

// ---- arithmetic

Cell* add_subtract(bool subtract) {
    Cell* d = stack::arg(0);
    const Cell other = *stack::arg(1);
    const uint32_t w = word_of(*d);
    const uint32_t zone = zone_of(w);
    bool with_time = has_time(w);
    int64_t days = 0;
    double seconds = 0;
    switch (type_of(other)) {
        case TypeId::integer: days = get_int(other); break;
        case TypeId::time:
            seconds = get_double(other);
            with_time = true;
            break;
        case TypeId::date:
            if (!subtract)
                error::fire(error::Id::not_related, {error::WordArg{"add"}, datatype::value(TypeId::date)});
            days = to_days(word_of(other));
            seconds = time_of(other);
            break;
        default: error::fire(error::Id::invalid_type, {datatype::value(type_of(other))});
    }
    int64_t n = to_days(w) + (subtract ? -days : days);
    double t = time_of(*d) + (subtract ? -seconds : seconds);
    if (type_of(other) == TypeId::date) {
        // Whole days between the two instants, rounded down.
        n = normalize(n, t, 0);
        d->w1 = d->w3 = 0;
        return integer::make_at(*d, static_cast<int32_t>(n));
    }
    if (with_time) n = normalize(n, t, zone);
    store(*d, from_days(n, zone, with_time), t);
    return d;
}

namespace {

Cell* add() { return add_subtract(false); }
Cell* subtract() { return add_subtract(true); }

}  // namespace

// ---- registration

namespace {

// Dates that are equal denote the same instant, whatever their zones: the hash is that of the instant.
uint32_t hash_date_key(const Cell& key) {
    const date::Instant at = date::utc_instant(date::word_of(key), date::time_of(key));
    uint32_t words[3] = {static_cast<uint32_t>(at.day), 0, 0};
    std::memcpy(&words[1], &at.time, sizeof at.time);
    return hash::murmur3(words, sizeof words);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::random>(random).own<Action::to>(to);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::eval_path>(eval_path);
    row.own<Action::compare>(compare).own<Action::add>(add).own<Action::subtract>(subtract);
    row.own<Action::pick>(pick);
    row.hash(&hash_date_key);
    datatype::register_type(TypeId::date, TypeId::none_id, row);
}

}  // namespace qor::date
