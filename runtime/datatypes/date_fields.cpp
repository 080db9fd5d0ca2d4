// date!: the fourteen fields that paths and pick read, and their
// assignment through paths.
#include <cmath>

#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/time.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/words/symbol.h"
#include "runtime/core/symbol_ids.h"

namespace qor::date {

namespace {

// The field words in index order; `julian` also names `yearday`.
constexpr Sym field_words[field_count] = {
    Sym::date,    Sym::year,    Sym::month,   Sym::day,      Sym::zone, Sym::time,    Sym::hour,
    Sym::minute,  Sym::second,  Sym::weekday, Sym::yearday,  Sym::timezone, Sym::week, Sym::isoweek,
};

Field field_of(int32_t index) { return static_cast<Field>(index); }

// The index an element names: an integer 1-14 or a field word; 0 otherwise.
int32_t element_index(const Cell& element) {
    if (type_of(element) == TypeId::integer) {
        const int32_t i = get_int(element);
        return i >= 1 && i <= field_count ? i : 0;
    }
    if (type_of(element) != TypeId::word) return 0;
    const int32_t i = get_field(element);
    return i < 0 ? 0 : i;
}

Cell time_cell(double seconds) {
    Cell c{};
    time_::make_at(c, seconds);
    return c;
}

Cell integer_cell(int64_t v) {
    Cell c{};
    integer::make_at(c, static_cast<int32_t>(v));
    return c;
}

// The zone a `zone` or `timezone` assignment gives: an integer of hours
// (taken modulo 16) or a time! (its hours modulo 16 and its minutes).
uint32_t zone_of_value(const Cell& v) {
    if (type_of(v) == TypeId::integer) {
        const int32_t hours = get_int(v) % 16;
        return zone_bits(hours, 0, hours < 0);
    }
    if (type_of(v) != TypeId::time || !std::isfinite(get_double(v))) error::fire(error::Id::invalid_arg, {v});
    const double t = get_double(v);
    const double hours = std::trunc(std::fmod(t, 16 * 3600.0) / 3600.0);
    const double minutes = std::floor(std::fmod(std::fabs(t), 3600.0) / 60.0);
    return zone_bits(static_cast<int32_t>(hours), static_cast<int32_t>(minutes), t < 0);
}

int64_t integer_value(const Cell& v) {
    if (type_of(v) != TypeId::integer) error::fire(error::Id::invalid_arg, {v});
    return get_int(v);
}

// Assigns field `index` of the date in place.
void assign(Cell& date, int32_t index, const Cell& v) {
    const uint32_t w = word_of(date);
    const uint32_t kept = w & (time_flag | zone_mask);
    switch (field_of(index)) {
        case Field::date:
            if (type_of(v) != TypeId::date) error::fire(error::Id::invalid_arg, {v});
            date.w1 = (word_of(v) & ~(time_flag | zone_mask)) | kept;
            return;
        case Field::year:
            move_to_day(date, to_days(integer_value(v), month_of(w), day_of(w)));
            return;
        case Field::month: set_month(date, integer_value(v)); return;
        case Field::day: move_to_day(date, to_days(year_of(w), month_of(w), integer_value(v))); return;
        case Field::weekday: set_weekday(date, integer_value(v)); return;
        case Field::yearday: set_yearday(date, integer_value(v)); return;
        case Field::week: {
            const int64_t week = integer_value(v);
            const int64_t jan1 = days_at_year_start(w);
            const int64_t e = (weekday0(jan1) + 1) % 7;  // 1 January's weekday, Sunday = 0
            move_to_day(date, week <= 1 ? jan1 : jan1 + 7 * week - e - 7);
            return;
        }
        case Field::isoweek: set_week(date, integer_value(v)); return;
        case Field::time:
            if (type_of(v) == TypeId::none) {
                store(date, w & ~time_flag, 0.0);
                return;
            }
            if (type_of(v) != TypeId::time) error::fire(error::Id::invalid_arg, {v});
            date.w1 = w | time_flag;
            set_time(date, get_double(v), true);
            return;
        case Field::hour:
        case Field::minute:
        case Field::second: {
            // The local time changes as asked, whatever the zone's quarters.
            const double local = time_::assign_field(local_time(date), index - to_int32(Field::hour) + 1, v);
            date.w1 = w | time_flag;
            set_time(date, local, true);
            return;
        }
        case Field::zone: {
            // The local time stays; the instant moves.
            const double local = local_time(date);
            const uint32_t zone = zone_of_value(v);
            store(date, (w & ~zone_mask) | time_flag | zone, to_utc(local, zone));
            return;
        }
        case Field::timezone: {
            // The instant stays; the local time moves.
            const uint32_t zone = zone_of_value(v);
            double time = time_of(date);
            const int64_t days = normalize(to_days(w), time, zone);
            store(date, from_days(days, zone, true), time);
            return;
        }
    }
}

}  // namespace

int32_t get_field(const Cell& word) {
    const uint32_t sym = symbol::resolve_alias(word.w2);
    if (sym == symbol::resolve_alias(to_int(Sym::julian))) return to_int32(Field::yearday);
    for (int32_t i = 0; i < field_count; i++)
        if (sym == symbol::resolve_alias(to_int(field_words[i]))) return i + 1;
    return -1;
}

Cell field_value(const Cell& date, int32_t index) {
    const uint32_t w = word_of(date);
    switch (field_of(index)) {
        case Field::date: {
            Cell d = date;
            store(d, w & ~(time_flag | zone_mask), 0.0);
            return d;
        }
        case Field::year: return integer_cell(year_of(w));
        case Field::month: return integer_cell(month_of(w));
        case Field::day: return integer_cell(day_of(w));
        case Field::zone:
        case Field::timezone: return has_time(w) ? time_cell(zone_seconds(zone_of(w))) : none::value;
        case Field::time: return has_time(w) ? time_cell(local_time(date)) : none::value;
        case Field::hour: return time_::field_value(local_time(date), 1);
        case Field::minute: return time_::field_value(local_time(date), 2);
        case Field::second: return time_::field_value(local_time(date), 3);
        case Field::weekday: return integer_cell(weekday0(to_days(w)) + 1);
        case Field::yearday: return integer_cell(year_day(w));
        case Field::week: return integer_cell(sunday_week(w));
        case Field::isoweek: return integer_cell(iso_week(w));
    }
    error::unreachable();
}

Cell* eval_path(const actions::EvalPathArgs& a) {
    const int32_t index = element_index(*a.element);
    if (index == 0) error::fire(error::Id::invalid_path, {a.path ? *a.path : *a.element, *a.element});
    if (!a.value) return stack::push(field_value(*a.parent, index));
    assign(*a.parent, index, *a.value);
    return a.parent;
}

const Cell* pick(Cell* date, Cell* index_cell, int32_t) {
    const int32_t index = element_index(*index_cell);
    if (index == 0) error::fire(error::Id::out_of_range, {*index_cell});
    return stack::push(field_value(*date, index));
}

}  // namespace qor::date
