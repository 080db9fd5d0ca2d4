// time!: seconds as a double, shown as hours, minutes and seconds.
#include "runtime/datatypes/time.h"

#include <cmath>
#include <string>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/numtext/number_readers.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/symbol.h"
#include "runtime/core/symbol_ids.h"

namespace qor::time_ {

namespace {

constexpr double seconds_per_hour = 3600.0;
constexpr double seconds_per_minute = 60.0;
// Seconds below this show as "00"; parity tests nudge by it.
constexpr double tiny = 1e-06;

[[noreturn]] void bad_to_arg(const Cell& spec) {
    error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::time), spec});
}

// A whole number of hours or minutes as decimal text (the exponent form
// for hours no integer holds).
void append_whole(Cell& buffer, double whole, int32_t& count) {
    std::string text;
    if (whole < 9.2e18) {
        text = std::to_string(static_cast<int64_t>(whole));
    } else {
        const float_text::Text t = float_text::form(whole, 0, false);
        text.assign(t.view());
    }
    text_buffer::append_ascii(buffer, text);
    count += static_cast<int32_t>(text.size());
}

// The text of the seconds within a minute, 6 significant digits.
float_text::Text seconds_text(double s) {
    float_text::Text t;
    if (s < tiny) {
        t.append("00");
        return t;
    }
    t = float_::form_by_kind(s, float_::Kind::seconds);
    if (t.size == 1 || t.data[1] == '.') {
        float_text::Text padded;
        padded.push('0');
        padded.append(t.view());
        t = padded;
    }
    return t;
}

bool same_field_word(const Cell& word, Sym s) {
    return symbol::resolve_alias(word.w2) == symbol::resolve_alias(to_int(s));
}

}  // namespace

// ---- helpers

Cell* make_at(Cell& cell, double seconds) {
    set_header(cell, TypeId::time);
    set_double(cell, seconds);
    return &cell;
}


int32_t form_seconds(double seconds, Cell& buffer) {
    if (!std::isfinite(seconds)) {
        const float_text::Text t = float_::form_by_kind(seconds, float_::Kind::double_);
        text_buffer::append_ascii(buffer, t.view());
        return t.size;
    }
    int32_t count = 0;
    if (seconds < 0) {
        text_buffer::append_ascii(buffer, "-");
        count++;
        seconds = -seconds;
    }
    double hours = std::floor(seconds / seconds_per_hour);
    double minutes = std::floor(std::fmod(seconds, seconds_per_hour) / seconds_per_minute);
    float_text::Text secs = seconds_text(std::fmod(seconds, seconds_per_minute));
    // Seconds that round up to 60 carry into the minutes, and on into the hours.
    if (secs.view() == "60") {
        secs = seconds_text(0);
        if (++minutes == 60) {
            minutes = 0;
            hours++;
        }
    }
    append_whole(buffer, hours, count);
    text_buffer::append_ascii(buffer, minutes < 10 ? ":0" : ":");
    count += minutes < 10 ? 2 : 1;
    append_whole(buffer, minutes, count);
    text_buffer::append_ascii(buffer, ":");
    text_buffer::append_ascii(buffer, secs.view());
    return count + 1 + secs.size;
}

int32_t field_index(const Cell& element) {
    switch (type_of(element)) {
        case TypeId::integer: {
            const int32_t i = get_int(element);
            return i >= 1 && i <= 3 ? i : 0;
        }
        case TypeId::word:
            if (same_field_word(element, Sym::hour)) return 1;
            if (same_field_word(element, Sym::minute)) return 2;
            if (same_field_word(element, Sym::second)) return 3;
            return 0;
        default: return 0;
    }
}

Cell field_value(double seconds, int32_t field) {
    Cell v{};
    switch (field) {
        case 1: integer::make_at(v, integer::from_double_checked(seconds / seconds_per_hour)); break;
        case 2:
            integer::make_at(v, integer::from_double_checked(
                                    std::floor(std::fmod(std::fabs(seconds), seconds_per_hour) / seconds_per_minute)));
            break;
        default: float_::make_at(v, std::fmod(seconds, seconds_per_minute)); break;
    }
    return v;
}

double assign_field(double t, int32_t field, const Cell& value) {
    const TypeId vt = type_of(value);
    if (vt != TypeId::integer && !(field == 3 && vt == TypeId::float_))
        error::fire(error::Id::invalid_arg, {value});
    const double v = vt == TypeId::integer ? double(get_int(value)) : get_double(value);
    switch (field) {
        case 1: return t - (std::floor(t / seconds_per_hour) - v) * seconds_per_hour;
        case 2: return t - (std::floor(std::fmod(t, seconds_per_hour) / seconds_per_minute) - v) * seconds_per_minute;
        default: return t - (std::fmod(t, seconds_per_minute) - v);
    }
}

// ---- actions

namespace {

// [hours minutes seconds]: integers, the seconds also a float; only the
// hours may be negative, and then the whole time is.
double from_block(const Cell& spec) {
    const uint32_t n = series_tail::cell_count(spec);
    if (n > 3) bad_to_arg(spec);
    double sum = 0;
    bool negative = false;
    for (uint32_t i = 0; i < n; i++) {
        const Cell v = *series_tail::cell_at(spec, i);
        double x;
        if (type_of(v) == TypeId::integer) x = get_int(v);
        else if (i == 2 && type_of(v) == TypeId::float_) x = get_double(v);
        else bad_to_arg(spec);
        if (x < 0) {
            if (i > 0) bad_to_arg(spec);
            negative = true;
            x = -x;
        }
        sum += x * (i == 0 ? seconds_per_hour : i == 1 ? seconds_per_minute : 1.0);
    }
    return negative ? -sum : sum;
}

// Time text, as the lexer reads it, with white space around it.
double from_text(const Cell& spec) {
    const std::u32string chars = text_buffer::chars(spec);
    size_t first = 0, last = chars.size();
    while (first < last && chars[first] <= ' ') first++;
    while (last > first && chars[last - 1] <= ' ') last--;
    std::string text;
    for (size_t i = first; i < last; i++) {
        if (chars[i] > 0x7F) bad_to_arg(spec);
        text.push_back(static_cast<char>(chars[i]));
    }
    const bool has_exponent = text.find_first_of("eE") != std::string::npos;
    double seconds = 0;
    if (!number_text::read_time(text, has_exponent, seconds)) bad_to_arg(spec);
    return seconds;
}

const Cell* make(Cell* prototype, Cell* spec, TypeId) {
    double seconds;
    switch (type_of(*spec)) {
        case TypeId::time: seconds = get_double(*spec); break;
        case TypeId::block: case TypeId::paren: case TypeId::hash: seconds = from_block(*spec); break;
        case TypeId::string: case TypeId::file: case TypeId::url:
        case TypeId::tag: case TypeId::email: case TypeId::ref: seconds = from_text(*spec); break;
        case TypeId::integer: seconds = get_int(*spec); break;
        case TypeId::float_: case TypeId::percent: seconds = get_double(*spec); break;
        default: bad_to_arg(*spec);
    }
    return make_at(*prototype, seconds);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    return limit - form_seconds(get_double(*value), *buffer);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

Cell* eval_path(const actions::EvalPathArgs& a) {
    const int32_t field = field_index(*a.element);
    if (field == 0) error::fire(error::Id::invalid_path, {a.path ? *a.path : *a.element, *a.element});
    const double t = get_double(*a.parent);
    if (!a.value) return stack::push(field_value(t, field));
    set_double(*a.parent, assign_field(t, field, *a.value));
    return a.parent;
}

Cell* add() {
    if (type_of(*stack::arg(1)) != TypeId::date) return float_::do_math(MathOp::add);
    // time + date is the date plus the time.
    std::swap(*stack::arg(0), *stack::arg(1));
    return date::add_subtract(false);
}

Cell* subtract() {
    if (type_of(*stack::arg(1)) == TypeId::date)
        error::fire(error::Id::not_related, {error::WordArg{"subtract"}, datatype::value(TypeId::time)});
    return float_::do_math(MathOp::subtract);
}

Cell* multiply() {
    if (type_of(*stack::arg(1)) == TypeId::time)
        error::fire(error::Id::not_related, {error::WordArg{"multiply"}, datatype::value(TypeId::time)});
    return float_::do_math(MathOp::multiply);
}

// A time divided by a time is a ratio.
Cell* divide() {
    const bool ratio = type_of(*stack::arg(1)) == TypeId::time;
    Cell* r = float_::do_math(MathOp::divide);
    if (ratio) set_type_keep_flags(*r, TypeId::float_);
    return r;
}

Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling) {
    if (scale && type_of(*scale) == TypeId::money)
        error::fire(error::Id::not_related, {error::WordArg{"round"}, datatype::value(TypeId::money)});
    Cell* r = float_::round(value, scale, RoundFlags{even, down, half_down, floor, ceiling, half_ceiling});
    const double seconds = type_of(*r) == TypeId::integer ? double(get_int(*r)) : get_double(*r);
    return make_at(*r, seconds);
}

// Parity of the whole seconds within the minute.
int32_t whole_second(double t) {
    const double nudged = t + std::copysign(tiny, t);
    return integer::from_double_checked(std::fmod(nudged, seconds_per_minute));
}
Cell* even_q() { return logic::box(whole_second(get_double(*stack::result())) % 2 == 0); }
Cell* odd_q() { return logic::box(whole_second(get_double(*stack::result())) % 2 != 0); }

const Cell* pick(Cell* value, Cell* index_cell, int32_t) {
    const int32_t field = field_index(*index_cell);
    if (field == 0) {
        if (type_of(*index_cell) == TypeId::word) error::fire(error::Id::cannot_use, {*index_cell, *value});
        error::fire(error::Id::out_of_range, {*index_cell});
    }
    return stack::push(field_value(get_double(*value), field));
}

}  // namespace

// ---- registration

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::to>(make).own<Action::form>(form).own<Action::mold>(mold);
    row.own<Action::eval_path>(eval_path).own<Action::add>(add).own<Action::subtract>(subtract);
    row.own<Action::multiply>(multiply).own<Action::divide>(divide).own<Action::round>(round);
    row.own<Action::even_q>(even_q).own<Action::odd_q>(odd_q).own<Action::pick>(pick);
    for (Action a : {Action::random, Action::compare, Action::absolute, Action::negate, Action::remainder})
        row.inherit(a);
    datatype::register_type(TypeId::time, TypeId::float_, "time!", row);
}

}  // namespace qor::time_
