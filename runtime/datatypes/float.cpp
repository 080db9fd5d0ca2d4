// float!: the IEEE 754 double.
#include "runtime/datatypes/float.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "runtime/datatypes/composite_math.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/vector.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/random_draw.h"
#include "runtime/datatypes/text_loader.h"
#include "runtime/numtext/number_text.h"
#include "runtime/memory/series_tail.h"

namespace qor::float_ {

namespace {
bool pretty = true;
constexpr double epsilon = 2.220446049250313e-16;
}  // namespace

// ---- helpers

Cell* make_at(Cell& cell, double d) {
    set_header(cell, TypeId::float_);
    set_double(cell, d);
    return &cell;
}

Cell* box(double d) { return make_at(*stack::result(), d); }
Cell* push(double d) { return make_at(*stack::push_slot(), d); }
Cell* make_in(Cell& block, double d) { return make_at(*series_tail::block_alloc_tail(block), d); }

bool is_special(double d) { return !std::isfinite(d); }

void set_pretty_mode(bool on) { pretty = on; }

double apply_op(double x, double y, MathOp op) {
    switch (op) {
        case MathOp::add: return x + y;
        case MathOp::subtract: return x - y;
        case MathOp::multiply: return x * y;
        case MathOp::divide: return x / y;
        case MathOp::remainder:
            if (is_special(y)) return std::numeric_limits<double>::quiet_NaN();
            return std::fmod(x, y);
        default: {
            // The bitwise operations have no meaning for doubles.
            const Action a = op == MathOp::or_ ? Action::or_t : op == MathOp::and_ ? Action::and_t : Action::xor_t;
            error::fire(error::Id::cannot_use, {error::WordArg{action_word(a)}, datatype::value(TypeId::float_)});
        }
    }
}

// L op R, where L (the result slot) is an integer!, float!, percent! or
// time!. The result is a time! when either operand is one, else a percent!
// when L is one, else a float!. A money! R hands the operation to money!.
Cell* do_math(MathOp op) {
    Cell* left = stack::arg(0);
    const Cell* right = stack::arg(1);
    const TypeId lt = type_of(*left), rt = type_of(*right);
    // A time! takes part only in tuple! arithmetic (which refuses it).
    if (rt == TypeId::tuple || (composite_math::is_composite(rt) && lt != TypeId::time))
        return composite_math::number_first(op);
    double r;
    switch (rt) {
        case TypeId::integer: r = get_int(*right); break;
        case TypeId::char_:
            if (lt == TypeId::percent || lt == TypeId::time)
                error::fire(error::Id::invalid_type, {datatype::value(rt)});
            r = get_int(*right);
            break;
        case TypeId::float_:
        case TypeId::percent:
        case TypeId::time: r = get_double(*right); break;
        case TypeId::money: return money::do_math(op);
        case TypeId::vector: return vector_type::do_math_scalar_first(op);
        default: error::fire(error::Id::invalid_type, {datatype::value(rt)});
    }
    const double l = lt == TypeId::integer ? double(get_int(*left)) : get_double(*left);
    const TypeId result_type = (lt == TypeId::time || rt == TypeId::time) ? TypeId::time
                               : lt == TypeId::percent                    ? TypeId::percent
                                                                          : TypeId::float_;
    const double v = apply_op(l, r, op);
    set_type_keep_flags(*left, result_type);
    set_double(*left, v);
    return left;
}

Cell* power() {
    Cell* base = stack::arg(0);
    const Cell* exponent = stack::arg(1);
    const TypeId t = type_of(*exponent);
    if (t != TypeId::integer && t != TypeId::float_)
        error::expect_arg(error::WordArg{"power"}, t, error::WordArg{"exponent"});
    const double e = t == TypeId::integer ? double(get_int(*exponent)) : get_double(*exponent);
    set_double(*base, std::pow(get_double(*base), e));
    return base;
}

// Round to the unit: 1.0 (0.01 for a percent!) or |scale|.
Cell* round(Cell* value, const Cell* scale, const RoundFlags& flags) {
    const bool is_percent = type_of(*value) == TypeId::percent;
    double f = is_percent ? 0.01 : 1.0;
    if (scale) {
        switch (type_of(*scale)) {
            case TypeId::money:
                error::fire(error::Id::not_related, {error::WordArg{"round"}, datatype::value(TypeId::money)});
            case TypeId::integer: f = std::fabs(double(get_int(*scale))); break;
            case TypeId::float_:
            case TypeId::percent:
            case TypeId::time: f = std::fabs(get_double(*scale)); break;
            default: error::expect_arg(error::WordArg{"round"}, type_of(*scale), error::WordArg{"scale"});
        }
        if (is_percent) f /= 100.0;
    }
    const double x = get_double(*value);
    double result = x;
    // A unit below the value's precision leaves it as it is, and so does a
    // unit of 0 (as for integers): there is nothing to round to.
    if (f != 0.0 && !(std::fabs(x) * 0x1p-53 > f)) {
        // Units whose reciprocal is not a normal double divide directly.
        int unit_exponent;
        std::frexp(f, &unit_exponent);
        const bool tiny_unit = unit_exponent < -1021;
        const double e = f >= 1.0 || tiny_unit ? x / f : x * (1.0 / f);
        const double a = std::fabs(e), lo = std::floor(a);
        double c;
        if (flags.down) c = std::copysign(lo, e);
        else if (flags.floor) c = std::floor(e);
        else if (flags.ceiling) c = std::ceil(e);
        else if (a < lo + 0.5) c = std::copysign(lo, e);
        else if (a > lo + 0.5) c = std::copysign(std::ceil(a), e);
        else if (flags.even) c = std::copysign(std::fmod(a, 2.0) >= 1.0 ? std::ceil(a) : lo, e);
        else if (flags.half_down) c = std::copysign(lo, e);
        else if (flags.half_ceiling) c = std::ceil(e);
        else c = std::copysign(std::ceil(a), e);
        if (f >= 1.0) {
            result = c * f;
            // A finite value whose rounding leaves the doubles.
            if (std::isfinite(x) && (std::fabs(result) == DBL_MAX || std::isinf(result))) error::fire(error::Id::overflow);
        } else {
            result = tiny_unit ? c * f : c / (1.0 / f);
        }
    }
    if (scale && type_of(*scale) == TypeId::integer) return integer::make_at(*value, integer::from_double_checked(result));
    set_double(*value, result);
    if (scale) set_type_keep_flags(*value, type_of(*scale));
    return value;
}

// Doubles mapped to unsigned keys in their numeric order, so that the
// distance between two keys counts the doubles between them.
static uint64_t ordered_key(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return (bits >> 63) ? 0 - bits : bits | 0x8000000000000000ull;
}

bool almost_equal(double a, double b) {
    if (is_special(a) || is_special(b)) return false;
    if (a == b || std::fabs(a - b) < epsilon) return true;
    const uint64_t ka = ordered_key(a), kb = ordered_key(b);
    return (ka > kb ? ka - kb : kb - ka) <= 10;
}

bool almost_equal32(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return false;
    if (a == b) return true;
    uint32_t ba, bb;
    std::memcpy(&ba, &a, 4);
    std::memcpy(&bb, &b, 4);
    constexpr uint32_t magnitude = 0x7FFFFFFF, largest = 0x7F7FFFFF;
    const uint32_t ma = ba & magnitude, mb = bb & magnitude;
    if (ma >= largest || mb >= largest) {
        const uint32_t d = ma > mb ? ma - mb : mb - ma;
        return (ba >> 31) == (bb >> 31) && d < 0x100000;
    }
    const int64_t oa = (ba >> 31) ? -int64_t(ma) : int64_t(ma);
    const int64_t ob = (bb >> 31) ? -int64_t(mb) : int64_t(mb);
    return (oa > ob ? oa - ob : ob - oa) <= 10;
}

int32_t compare_doubles(double a, double b, CompareOp op) {
    switch (fold_equality(op)) {
        case CompareOp::equal:
        case CompareOp::not_equal: return almost_equal(a, b) ? 0 : 1;
        case CompareOp::strict_equal:
        case CompareOp::find_key: return a == b ? 0 : 1;
        case CompareOp::same: return std::memcmp(&a, &b, sizeof a) == 0 ? 0 : 1;
        default: break;
    }
    // Orderings: an infinity or a NaN makes every ordering test false, and
    // sorts as equal to anything.
    if (is_special(a) || is_special(b)) {
        switch (op) {
            case CompareOp::lesser:
            case CompareOp::lesser_or_equal: return 1;
            case CompareOp::greater:
            case CompareOp::greater_or_equal: return -1;
            default: return 0;
        }
    }
    return (a > b) - (a < b);
}

namespace {

struct KindFormat {
    const char* first;     // printf format of the first formatting
    const char* reformat;  // printf format of the shorter re-formatting
    const char* tiny;      // the text of values below epsilon (pretty mode)
};
constexpr KindFormat kind_formats[6] = {
    {"%.7g", "%.5g", "0.0"},   {"%.16g", "%.14g", "0.0"}, {"%.7g", "%.14g", "0%"},
    {"%.13g", "%.14g", "0%"},  {nullptr, "%.5g", "0.0"},  {"%.7g", "%.5g", "0"},
};

float_text::Text printf_text(const char* format, double x) {
    float_text::Text t;
    const int n = std::snprintf(t.data, sizeof t.data, format, x);
    t.size = static_cast<uint8_t>(n < 0 ? 0 : n >= int(sizeof t.data) ? sizeof t.data - 1 : n);
    return t;
}

// Where the "e" of the text is, or its size when it has none.
size_t exponent_at(const float_text::Text& t) {
    const std::string_view v = t.view();
    const size_t e = v.find('e');
    return e == std::string_view::npos ? v.size() : e;
}

// A text that may show noise digits of the binary value: more than 16
// characters before the exponent (without an exponent, a text starting
// with "0" needs more than 17).
bool is_long(const float_text::Text& t) {
    const std::string_view v = t.view();
    const size_t e = exponent_at(t);
    if (e < v.size()) return e > 16;
    const std::string_view digits = v.substr(v[0] == '-' ? 1 : 0);
    return v.size() > 16 && (digits[0] != '0' || v.size() > 17);
}

}  // namespace

float_text::Text form_by_kind(double x, Kind kind) {
    float_text::Text t;
    if (std::isnan(x)) {
        t.append("1.#NaN");
        return t;
    }
    if (std::isinf(x)) {
        t.append(x < 0 ? "-1.#INF" : "1.#INF");
        return t;
    }
    const KindFormat& k = kind_formats[static_cast<int>(kind)];
    if (pretty && std::fabs(x) < epsilon) {
        t.append(k.tiny);
        return t;
    }
    t = kind == Kind::seconds ? float_text::form(x, 6, false) : printf_text(k.first, x);
    if (pretty && is_long(t)) {
        const size_t e = exponent_at(t);
        const std::string_view last2 = t.view().substr(e - 2, 2);
        if (last2 == "01" || last2 == "99") t = printf_text(k.reformat, x);
    }

    // The exponent loses a "+" and leading zeros: 1e+020 -> 1e20.
    const size_t e = exponent_at(t);
    if (e < t.size) {
        float_text::Text cleaned;
        cleaned.append(t.view().substr(0, e + 1));
        size_t i = e + 1;
        if (t.data[i] == '+') i++;
        else if (t.data[i] == '-') cleaned.push(t.data[i++]);
        while (i + 1 < t.size && t.data[i] == '0') i++;
        cleaned.append(t.view().substr(i));
        t = cleaned;
    }

    if (kind == Kind::single_percent || kind == Kind::percent) {
        t.push('%');
    } else if ((kind == Kind::single || kind == Kind::double_) && t.view().find('.') == std::string_view::npos) {
        const size_t at = exponent_at(t);
        float_text::Text with_point;
        with_point.append(t.view().substr(0, at));
        with_point.append(".0");
        with_point.append(t.view().substr(at));
        t = with_point;
    }
    return t;
}

double float_below(double bound, bool secure) {
    // Two 31-bit draws give a fraction from 0 up to 1.
    const double a = random_draw::next(secure);
    const double b = random_draw::next(secure);
    return (b + a / 2147483647.0) * bound / 2147483648.0;
}

int32_t to_integer_checked(const Cell& c) {
    if (type_of(c) != TypeId::float_) return get_int(c);
    const double d = get_double(c);
    if (!(d >= -2147483648.0 && d <= 2147483647.0)) error::fire(error::Id::out_of_range, {c});
    return static_cast<int32_t>(d);
}

// ---- actions

namespace {

Cell* add() { return do_math(MathOp::add); }
Cell* subtract() { return do_math(MathOp::subtract); }
Cell* multiply() { return do_math(MathOp::multiply); }
Cell* divide() { return do_math(MathOp::divide); }
Cell* remainder() { return do_math(MathOp::remainder); }

Cell* absolute() {
    Cell* v = stack::result();
    set_double(*v, std::fabs(get_double(*v)));
    return v;
}

Cell* negate() {
    Cell* v = stack::result();
    set_double(*v, 0.0 - get_double(*v));
    return v;
}

// Parity of the value truncated to an integer.
Cell* even_q() { return logic::box((integer::from_double_checked(get_double(*stack::result())) & 1) == 0); }
Cell* odd_q() { return logic::box((integer::from_double_checked(get_double(*stack::result())) & 1) != 0); }

Cell* round_action(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
                   bool half_ceiling) {
    return round(value, scale, RoundFlags{even, down, half_down, floor, ceiling, half_ceiling});
}

// With /seed the generator is seeded with the two words of the double
// combined, and the value becomes unset; otherwise the value becomes a
// random double between 0 and itself.
Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(static_cast<int32_t>(value->w2 ^ value->w3));
        set_header(*value, TypeId::unset);
        return value;
    }
    set_double(*value, float_below(get_double(*value), secure));
    return value;
}

[[noreturn]] void bad_to_arg(TypeId target, const Cell& spec) {
    error::fire(error::Id::bad_to_arg, {datatype::value(target), spec});
}

// The double of an item of a [mantissa exponent] block.
double block_item(const Cell& item) {
    switch (type_of(item)) {
        case TypeId::integer: return get_int(item);
        case TypeId::float_: return get_double(item);
        default: bad_to_arg(TypeId::float_, item);
    }
}

// make and to of float! (and of percent!, which comes here with its own
// type id): the prototype cell takes the target type and the number.
const Cell* make(Cell* prototype, Cell* spec, TypeId type) {
    double d = 0.0;
    switch (type_of(*spec)) {
        case TypeId::block: case TypeId::paren: case TypeId::hash: {
            // [mantissa exponent]: mantissa × 10 ^ (exponent truncated).
            if (series_tail::cell_count(*spec) != 2) bad_to_arg(type, *spec);
            const double m = block_item(*series_tail::cell_at(*spec, 0));
            const double e = std::trunc(block_item(*series_tail::cell_at(*spec, 1)));
            d = m * std::pow(10.0, e);
            break;
        }
        case TypeId::string: case TypeId::file: case TypeId::url:
        case TypeId::tag: case TypeId::email: case TypeId::ref: {
            if (type == TypeId::percent) {
                // Loaded as source: "50%" and "0.5" both give 50%.
                Cell loaded;
                if (!text_loader::load_one(*spec, loaded)) bad_to_arg(type, *spec);
                const TypeId lt = type_of(loaded);
                if (lt == TypeId::integer) d = get_int(loaded);
                else if (lt == TypeId::float_ || lt == TypeId::percent) d = get_double(loaded);
                else bad_to_arg(type, *spec);
                break;
            }
            number_text::Status status;
            d = number_text::to_float(text_buffer::chars(*spec), status);
            if (status != number_text::Status::ok) bad_to_arg(type, *spec);
            break;
        }
        case TypeId::char_:
        case TypeId::integer: d = get_int(*spec); break;
        case TypeId::float_:
        case TypeId::percent:
        case TypeId::time: d = get_double(*spec); break;
        case TypeId::money: d = money::to_float(*spec); break;
        case TypeId::binary: {
            // Up to eight bytes from the index, big-endian, as the bits of a
            // double (fewer bytes fill the low end).
            uint8_t b[8];
            const uint32_t n = text_buffer::bytes(*spec, b, 8);
            uint64_t bits = 0;
            for (uint32_t i = 0; i < n; i++) bits = bits << 8 | b[i];
            std::memcpy(&d, &bits, sizeof d);
            break;
        }
        default: bad_to_arg(type, *spec);
    }
    set_header(*prototype, type == TypeId::percent ? TypeId::percent : TypeId::float_);
    set_double(*prototype, d);
    return prototype;
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    const float_text::Text t = form_by_kind(get_double(*value), Kind::double_);
    text_buffer::append_ascii(*buffer, t.view());
    return limit - t.size;
}

// All the shortest digits, plain for decimal exponents -6 to 17.
int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell*, int32_t limit, int32_t) {
    const float_text::Text t = float_text::layout(get_double(*value), 0, true, -6, 17);
    text_buffer::append_ascii(*buffer, t.view());
    return limit - t.size;
}

int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
    op = fold_equality(op);
    const TypeId t2 = type_of(*value2);
    if ((op == CompareOp::strict_equal || op == CompareOp::same || op == CompareOp::find_key) &&
        t2 != type_of(*value1))
        return 1;
    double b;
    switch (t2) {
        case TypeId::integer: b = get_int(*value2); break;
        case TypeId::float_:
        case TypeId::percent:
        case TypeId::time: b = get_double(*value2); break;
        case TypeId::money: return money::compare_number(*value1, *value2, op);
        default: return -2;
    }
    return compare_doubles(get_double(*value1), b, op);
}

}  // namespace

// ---- registration

namespace {

// Floats hash by their bits.
uint32_t hash_float_key(const Cell& key) {
    return hashtable::hash_cell_words(key, 2, 3);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::random>(random).own<Action::to>(make);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(compare);
    row.own<Action::absolute>(absolute).own<Action::add>(add).own<Action::divide>(divide);
    row.own<Action::multiply>(multiply).own<Action::negate>(negate).own<Action::power>(power);
    row.own<Action::remainder>(remainder).own<Action::round>(round_action).own<Action::subtract>(subtract);
    row.own<Action::even_q>(even_q).own<Action::odd_q>(odd_q);
    row.hash(&hash_float_key);
    datatype::register_type(TypeId::float_, TypeId::none_id, row);
}

}  // namespace qor::float_
