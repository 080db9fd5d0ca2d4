// integer!: the signed 32-bit integer.
#include "runtime/datatypes/integer.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "runtime/datatypes/composite_math.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/registry.h"
#include "runtime/hash/murmur3.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/vector.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/random_draw.h"
#include "runtime/numtext/number_text.h"
#include "runtime/memory/series_tail.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/symbol.h"

namespace qor::integer {

namespace {
constexpr int32_t int_min = std::numeric_limits<int32_t>::min();
constexpr int32_t int_max = std::numeric_limits<int32_t>::max();

[[noreturn]] void overflow() { error::fire(error::Id::overflow); }
}  // namespace

// ---- helpers

Cell* box(int32_t v) {
    Cell* c = stack::result();
    set_header(*c, TypeId::integer);
    set_int(*c, v);
    return c;
}

Cell* make_at(Cell& cell, int32_t v) {
    set_type_keep_flags(cell, TypeId::integer);
    set_int(cell, v);
    return &cell;
}

Cell* push(int32_t v) {
    Cell* c = stack::push_slot();
    set_header(*c, TypeId::integer);
    set_int(*c, v);
    return c;
}

Cell* make_in(Cell& block, int32_t v) {
    Cell* c = series_tail::block_alloc_tail(block);
    set_header(*c, TypeId::integer);
    set_int(*c, v);
    return c;
}

int32_t absolute_checked(int32_t v) {
    if (v == int_min) overflow();
    return v < 0 ? -v : v;
}

Text form_signed(int32_t v) {
    Text t{};
    // Built right-aligned from the magnitude, which fits 32 unsigned bits.
    char tmp[12];
    int n = 0;
    uint32_t m = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    do {
        tmp[n++] = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m != 0);
    if (v < 0) t.data[t.size++] = '-';
    while (n > 0) t.data[t.size++] = tmp[--n];
    return t;
}

bool float_out_of_range(double d) { return !(d >= -2147483648.0 && d < 2147483648.0); }

int32_t from_double_checked(double d) {
    // Truncation first: -2147483648.9 truncates to a value that fits.
    const double t = std::trunc(d);
    if (float_out_of_range(t)) overflow();
    return static_cast<int32_t>(t);
}

int32_t do_math(int32_t left, int32_t right, MathOp op, Cell* result) {
    int32_t r = 0;
    switch (op) {
        case MathOp::add:
        case MathOp::subtract:
        case MathOp::multiply: {
            bool overflowed = op == MathOp::add        ? __builtin_add_overflow(left, right, &r)
                              : op == MathOp::subtract ? __builtin_sub_overflow(left, right, &r)
                                                       : __builtin_mul_overflow(left, right, &r);
            if (!overflowed) break;
            // No wrapping: the result leaves the integers for a float.
            if (!result) overflow();
            const double l = left, rr = right;
            float_::make_at(*result, op == MathOp::add ? l + rr : op == MathOp::subtract ? l - rr : l * rr);
            return 0;
        }
        case MathOp::divide:
            if (right == 0) error::fire(error::Id::zero_divide);
            if (left == int_min && right == -1) overflow();
            if (result && left % right != 0) {
                float_::make_at(*result, static_cast<double>(left) / right);
                return 0;
            }
            r = left / right;
            break;
        case MathOp::remainder:
            if (right == 0) error::fire(error::Id::zero_divide);
            if (left == int_min && right == -1) overflow();
            r = left % right;
            break;
        case MathOp::or_: r = left | right; break;
        case MathOp::and_: r = left & right; break;
        case MathOp::xor_: r = left ^ right; break;
        default: error::unreachable();
    }
    if (result) set_int(*result, r);
    return r;
}

Cell* do_math_action(MathOp op) {
    Cell* left = stack::arg(0);
    const Cell* right = stack::arg(1);
    switch (type_of(*right)) {
        case TypeId::integer:
        case TypeId::char_:
            do_math(get_int(*left), get_int(*right), op, left);
            return left;
        case TypeId::float_:
        case TypeId::percent:
        case TypeId::time:
            return float_::do_math(op);
        case TypeId::pair:
        case TypeId::tuple:
        case TypeId::point2d:
        case TypeId::point3d:
            return composite_math::number_first(op);
        case TypeId::money:
            return money::do_math(op);
        case TypeId::vector:
            return vector_type::do_math_scalar_first(op);
        case TypeId::date: {
            // n + date is the date n days on; nothing else joins the two.
            if (op != MathOp::add) {
                constexpr Action words[] = {Action::add, Action::subtract, Action::multiply, Action::divide,
                                            Action::remainder, Action::or_t, Action::and_t, Action::xor_t};
                error::fire(error::Id::not_related, {error::WordArg{action_word(words[static_cast<int>(op)])},
                                                     datatype::value(TypeId::integer)});
            }
            std::swap(*left, *stack::arg(1));
            return date::add_subtract(false);
        }
        default:
            error::fire(error::Id::invalid_type, {datatype::value(type_of(*right))});
    }
}

// Round to the unit |scale| (1 without a scale). Rounding away from zero
// raises math overflow when the result does not fit; toward zero always fits.
Cell* round(Cell* value, const Cell* scale, const RoundFlags& f) {
    if (scale && type_of(*scale) == TypeId::money)
        error::fire(error::Id::not_related, {error::WordArg{"round"}, datatype::value(TypeId::money)});
    const int32_t n = get_int(*value);
    uint32_t h = 1;
    if (scale) {
        if (type_of(*scale) != TypeId::integer) {
            float_::make_at(*value, n);
            return float_::round(value, scale, f);
        }
        const int32_t s = get_int(*scale);
        if (s == int_min && n != int_min) overflow();
        h = s < 0 ? 0u - static_cast<uint32_t>(s) : static_cast<uint32_t>(s);
    }
    const uint32_t v = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
    if (h == 0 || v % h == 0) return value;
    // The magnitude 2^31 has no positive counterpart to round in integers:
    // it is rounded as a float, whose integer scale checks the result's range.
    if (n == int_min) {
        float_::make_at(*value, n);
        return float_::round(value, scale, f);
    }

    const uint32_t r = v % h;
    const bool positive = n > 0;
    bool away;
    if (f.down) away = false;
    else if (f.floor) away = !positive;
    else if (f.ceiling) away = positive;
    else if (r < h - r) away = false;
    else if (r > h - r) away = true;
    else if (f.even) away = (v / h) % 2 == 1;
    else if (f.half_down) away = false;
    else if (f.half_ceiling) away = positive;
    else away = true;

    const int64_t magnitude = away ? int64_t(v) + (h - r) : int64_t(v) - r;
    const int64_t result = positive ? magnitude : -magnitude;
    if (result > int_max || result < int_min) overflow();
    set_int(*value, static_cast<int32_t>(result));
    return value;
}

// ---- actions

namespace {

// Exact power by repeated squaring; false when a step overflows.
bool int_power(int32_t base, int32_t exponent, int32_t& out) {
    int32_t result = 1;
    while (exponent != 0) {
        if (exponent & 1)
            if (__builtin_mul_overflow(result, base, &result)) return false;
        exponent >>= 1;
        if (exponent != 0 && __builtin_mul_overflow(base, base, &base)) return false;
    }
    out = result;
    return true;
}

Cell* power() {
    Cell* base = stack::arg(0);
    const Cell* exponent = stack::arg(1);
    const TypeId t = type_of(*exponent);
    if (t != TypeId::integer && t != TypeId::float_)
        error::expect_arg(error::WordArg{"power"}, t, error::WordArg{"exponent"});
    int32_t exact;
    if (t == TypeId::integer && get_int(*exponent) >= 0 && int_power(get_int(*base), get_int(*exponent), exact)) {
        set_int(*base, exact);
        return base;
    }
    float_::make_at(*base, get_int(*base));
    return float_::power();
}

Cell* add() { return do_math_action(MathOp::add); }
Cell* subtract() { return do_math_action(MathOp::subtract); }
Cell* multiply() { return do_math_action(MathOp::multiply); }
Cell* divide() { return do_math_action(MathOp::divide); }
Cell* remainder() { return do_math_action(MathOp::remainder); }
Cell* or_t() { return do_math_action(MathOp::or_); }
Cell* and_t() { return do_math_action(MathOp::and_); }
Cell* xor_t() { return do_math_action(MathOp::xor_); }

Cell* absolute() {
    Cell* v = stack::result();
    set_int(*v, absolute_checked(get_int(*v)));
    return v;
}

Cell* negate() {
    Cell* v = stack::result();
    if (get_int(*v) == int_min) overflow();
    set_int(*v, -get_int(*v));
    return v;
}

Cell* complement() {
    Cell* v = stack::result();
    v->w2 = ~v->w2;
    return v;
}

Cell* even_q() { return logic::box((stack::result()->w2 & 1) == 0); }
Cell* odd_q() { return logic::box((stack::result()->w2 & 1) != 0); }

Cell* round_action(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
                   bool half_ceiling) {
    return round(value, scale, RoundFlags{even, down, half_down, floor, ceiling, half_ceiling});
}

// With /seed the generator is seeded with the value, which becomes unset;
// otherwise a value n other than 0 becomes a random integer from 1 to n
// (or n to -1).
Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(get_int(*value));
        set_header(*value, TypeId::unset);
        return value;
    }
    if (get_int(*value) != 0) set_int(*value, random_draw::below(get_int(*value), secure));
    return value;
}

[[noreturn]] void bad_to_arg(const Cell& spec) {
    error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::integer), spec});
}

// An issue's spelling read as hexadecimal: up to 8 digits, the 32 bits as
// they stand (#FFFFFFFF is -1); more digits are invalid-data.
int32_t hex_of_issue(const Cell& issue) {
    const std::string digits(symbol::spelling(issue.w2));
    if (digits.empty()) bad_to_arg(issue);
    if (digits.size() > 8) error::fire(error::Id::invalid_data, {issue});
    uint32_t u = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else bad_to_arg(issue);
        u = u << 4 | static_cast<uint32_t>(d);
    }
    return static_cast<int32_t>(u);
}

// to: the given value converted to an integer in the prototype cell.
const Cell* to(Cell* prototype, Cell* spec, TypeId) {
    int32_t v = 0;
    switch (type_of(*spec)) {
        case TypeId::integer: return spec;
        case TypeId::string: case TypeId::file: case TypeId::url:
        case TypeId::tag: case TypeId::email: case TypeId::ref: {
            number_text::Status status;
            v = number_text::to_integer(text_buffer::chars(*spec), status);
            if (status != number_text::Status::ok) bad_to_arg(*spec);
            break;
        }
        case TypeId::char_: v = get_int(*spec); break;
        case TypeId::issue: v = hex_of_issue(*spec); break;
        case TypeId::float_:
        case TypeId::percent: {
            const double d = get_double(*spec);
            if (float_out_of_range(std::trunc(d)))
                error::fire(error::Id::type_limit, {datatype::value(TypeId::integer)});
            v = static_cast<int32_t>(std::trunc(d));
            break;
        }
        case TypeId::binary: {
            // Up to four bytes from the index, big-endian.
            uint8_t b[4];
            const uint32_t n = text_buffer::bytes(*spec, b, 4);
            uint32_t u = 0;
            for (uint32_t i = 0; i < n; i++) u = u << 8 | b[i];
            v = static_cast<int32_t>(u);
            break;
        }
        case TypeId::time: v = from_double_checked(get_double(*spec) + 0.5); break;
        case TypeId::money: v = money::to_integer(*spec); break;
        case TypeId::date: {
            // Seconds since 1970-01-01; dates beyond the integers' reach are refused.
            const int64_t seconds = date::to_epoch(date::word_of(*spec), date::time_of(*spec));
            if (seconds < INT32_MIN || seconds > INT32_MAX)
                error::fire(error::Id::type_limit, {datatype::value(TypeId::integer)});
            v = static_cast<int32_t>(seconds);
            break;
        }
        default: bad_to_arg(*spec);
    }
    return make_at(*prototype, v);
}

// make: a logic gives 1 or 0; anything else as `to`.
const Cell* make(Cell* prototype, Cell* spec, TypeId type) {
    if (type_of(*spec) == TypeId::logic) return make_at(*prototype, spec->w1 != 0 ? 1 : 0);
    return to(prototype, spec, type);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    const Text t = form_signed(get_int(*value));
    text_buffer::append_ascii(*buffer, t.view());
    return limit - t.size;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

// Integers compare by value with chars and (as doubles) with floats.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
    op = fold_equality(op);
    const TypeId t2 = type_of(*value2);
    if ((op == CompareOp::strict_equal || op == CompareOp::same || op == CompareOp::find_key) &&
        t2 != TypeId::integer)
        return 1;
    switch (t2) {
        case TypeId::integer:
        case TypeId::char_: {
            const int32_t a = get_int(*value1), b = get_int(*value2);
            return (a > b) - (a < b);
        }
        case TypeId::float_:
        case TypeId::percent:
        case TypeId::time:
            return float_::compare_doubles(get_int(*value1), get_double(*value2), op);
        case TypeId::money:
            return money::compare_number(*value1, *value2, op);
        default:
            return -2;
    }
}

}  // namespace

// ---- registration

namespace {

// Integers hash by value.
uint32_t hash_integer_key(const Cell& key) {
    return hash::mix32(key.w2);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::random>(random).own<Action::to>(to);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(compare);
    row.own<Action::absolute>(absolute).own<Action::add>(add).own<Action::divide>(divide);
    row.own<Action::multiply>(multiply).own<Action::negate>(negate).own<Action::power>(power);
    row.own<Action::remainder>(remainder).own<Action::round>(round_action).own<Action::subtract>(subtract);
    row.own<Action::even_q>(even_q).own<Action::odd_q>(odd_q);
    row.own<Action::and_t>(and_t).own<Action::complement>(complement).own<Action::or_t>(or_t).own<Action::xor_t>(xor_t);
    row.hash(&hash_integer_key);
    datatype::register_type(TypeId::integer, TypeId::none_id, row);
}

}  // namespace qor::integer
