// money!: packed decimal digits, the currency list, and the actions.
#include "runtime/datatypes/money.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/random_draw.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/numtext/float_text.h"
#include "runtime/numtext/number_text.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::money {

namespace {

// ---- the amount as a number

// Amounts in units of 0.00001: 22 digits need 74 bits.
using Units = unsigned __int128;
using SignedUnits = __int128;

constexpr Units pow10(int n) {
    Units p = 1;
    while (n-- > 0) p *= 10;
    return p;
}
constexpr Units unit_scale = pow10(fraction_digits);  // 1.00000
constexpr Units limit = pow10(digit_count);           // the first amount that does not fit

struct Amount {
    Units units = 0;
    bool negative = false;  // never set on zero
    uint8_t currency = 0;
};

[[nodiscard]] const uint8_t* payload(const Cell& c) { return reinterpret_cast<const uint8_t*>(&c.w1); }
[[nodiscard]] uint8_t* payload(Cell& c) { return reinterpret_cast<uint8_t*>(&c.w1); }

[[nodiscard]] constexpr uint32_t from_bcd(uint8_t b) { return (b >> 4) * 10u + (b & 15u); }

// The packed byte of each number 0-99.
constexpr std::array<uint8_t, 100> bcd_bytes = [] {
    std::array<uint8_t, 100> t{};
    for (uint32_t n = 0; n < 100; n++) t[n] = static_cast<uint8_t>((n / 10) << 4 | n % 10);
    return t;
}();

// Digits 1-6 are bytes 1-3; digits 7-22, bytes 4-11, are read as one
// big-endian word whose nibbles are folded into binary lane by lane (pairs
// of digits, then fours, eights and all sixteen), without a division.
Amount unpack(const Cell& c) {
    const uint8_t* p = payload(c);
    uint64_t x;
    std::memcpy(&x, p + 4, sizeof x);
    x = __builtin_bswap64(x);
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0Full) * 10 + (x & 0x0F0F0F0F0F0F0F0Full);
    x = ((x >> 8) & 0x00FF00FF00FF00FFull) * 100 + (x & 0x00FF00FF00FF00FFull);
    x = ((x >> 16) & 0x0000FFFF0000FFFFull) * 10000 + (x & 0x0000FFFF0000FFFFull);
    x = (x >> 32) * 100000000 + (x & 0xFFFFFFFFull);
    const uint64_t top = from_bcd(p[1]) * 10000 + from_bcd(p[2]) * 100 + from_bcd(p[3]);
    Amount a;
    a.units = Units{top} * 10'000'000'000'000'000ull + x;
    a.negative = has_flag(c, cell_flag::money_negative) && a.units != 0;
    a.currency = p[0];
    return a;
}

// Writes four digits (0-9999) as two packed bytes.
void put_four(uint8_t* p, uint32_t n) {
    p[0] = bcd_bytes[n / 100];
    p[1] = bcd_bytes[n % 100];
}

// The reverse: the 6 top digits split off by a 64-bit division (10^16 is
// 2^16 × 5^16), the 16 others in groups of four.
Cell pack(const Amount& a) {
    Cell c{to_int(TypeId::money) | (a.negative && a.units != 0 ? cell_flag::money_negative : 0u), 0, 0, 0};
    uint8_t* p = payload(c);
    p[0] = a.currency;
    const uint64_t top = static_cast<uint64_t>(a.units >> 16) / 152'587'890'625ull;
    const uint64_t low = static_cast<uint64_t>(a.units - Units{top} * 10'000'000'000'000'000ull);
    const auto high8 = static_cast<uint32_t>(low / 100'000'000), low8 = static_cast<uint32_t>(low % 100'000'000);
    p[1] = bcd_bytes[top / 10000];
    put_four(p + 2, static_cast<uint32_t>(top % 10000));
    put_four(p + 4, high8 / 10000);
    put_four(p + 6, high8 % 10000);
    put_four(p + 8, low8 / 10000);
    put_four(p + 10, low8 % 10000);
    return c;
}

// Digit position 1-22 of a cell.
[[nodiscard]] uint32_t digit_at(const Cell& c, int position) {
    const uint8_t b = payload(c)[1 + (position - 1) / 2];
    return position % 2 ? b >> 4 : b & 15u;
}

[[nodiscard]] SignedUnits signed_units(const Amount& a) {
    return a.negative ? -static_cast<SignedUnits>(a.units) : static_cast<SignedUnits>(a.units);
}

[[noreturn]] void type_limit(TypeId t) { error::fire(error::Id::type_limit, {datatype::value(t)}); }
[[noreturn]] void invalid_type(TypeId t) { error::fire(error::Id::invalid_type, {datatype::value(t)}); }

Amount checked(Units units, bool negative, uint8_t currency) {
    if (units >= limit) type_limit(TypeId::money);
    return Amount{units, negative && units != 0, currency};
}

// ---- conversions

Amount from_integer(int32_t n) {
    const int64_t v = n;
    return Amount{Units(static_cast<uint64_t>(v < 0 ? -v : v)) * unit_scale, v < 0, 0};
}

[[noreturn]] void bad_make_arg(const Cell& v) {
    error::fire(error::Id::bad_make_arg, {datatype::value(TypeId::money), v});
}

// A float (the double of `source`, a float! or percent!) from its shortest
// decimal text, the decimals beyond the fifth dropped. Not a number, an
// infinity, a magnitude of 1e17 or more and one below 1e-5 other than zero
// are refused; in strict mode so is text with seven or more decimals.
Amount from_float(double d, bool strict, const Cell& source) {
    const double m = std::fabs(d);
    if (std::isnan(d) || m >= 1e17 || (m != 0 && m < 1e-5)) bad_make_arg(source);
    if (m == 0) return {};
    const float_text::Digits t = float_text::float_to_digits(d, 0);
    const int count = t.digits.size;
    const int decimals = t.point <= 0 ? count - t.point : std::max(0, count - t.point);
    if (strict && decimals >= 7) bad_make_arg(source);
    uint64_t digits = 0;
    for (int i = 0; i < count; i++) digits = digits * 10 + static_cast<uint64_t>(t.digits.data[i] - '0');
    // The digits stand for digits × 10^(point - count); in units, one more 10^5.
    const int shift = t.point - count + fraction_digits;
    const Units units = shift >= 0 ? Units{digits} * pow10(shift) : Units{digits / static_cast<uint64_t>(pow10(-shift))};
    return checked(units, d < 0, 0);
}

// "[-]digits.ddddd": every digit of the amount, for the float conversion.
std::string plain_text(const Amount& a) {
    std::string text = a.negative ? "-" : "";
    const std::string whole = std::to_string(static_cast<uint64_t>(a.units / unit_scale));
    text += whole;
    text += '.';
    const std::string fraction = std::to_string(static_cast<uint32_t>(a.units % unit_scale));
    text.append(fraction_digits - fraction.size(), '0');
    text += fraction;
    return text;
}

double amount_to_float(const Amount& a) {
    size_t unread = 0;
    const double d = float_text::text_to_float(plain_text(a), 0, unread);
    if (unread != 0) bad_make_arg(pack(a));
    return d;
}

// An arithmetic operand: money!, integer!, float! or percent!.
Amount operand(const Cell& v) {
    switch (type_of(v)) {
        case TypeId::money: return unpack(v);
        case TypeId::integer: return from_integer(get_int(v));
        case TypeId::float_:
        case TypeId::percent: return from_float(get_double(v), false, v);
        default: invalid_type(type_of(v));
    }
}

// ---- the currency list

// The codes the system starts with, by 1-based index: the list until the
// environment's system object holds its own.
constexpr std::string_view initial_currencies[] = {
    "AED", "AFN", "ALL", "AMD", "ANG", "AOA", "ARS", "AUD", "AWG", "AZN", "BAM", "BBD", "BDT", "BTC", "BGN",
    "BHD", "BIF", "BMD", "BND", "BOB", "BRL", "BSD", "BTN", "BWP", "BYN", "BZD", "CAD", "CDF", "CHF", "CKD",
    "CLP", "CNY", "COP", "CRC", "CUC", "CUP", "CVE", "CZK", "DJF", "DKK", "DOP", "DZD", "EGP", "ERN", "ETB",
    "ETH", "EUR", "FJD", "FKP", "FOK", "GBP", "GEL", "GGP", "GHS", "GIP", "GMD", "GNF", "GTQ", "GYD", "HKD",
    "HNL", "HRK", "HTG", "HUF", "IDR", "ILS", "IMP", "INR", "IQD", "IRR", "ISK", "JEP", "JMD", "JOD", "JPY",
    "KES", "KGS", "KHR", "KID", "KMF", "KPW", "KRW", "KWD", "KYD", "KZT", "LAK", "LBP", "LKR", "LRD", "LSL",
    "LYD", "MAD", "MDL", "MGA", "MKD", "MMK", "MNT", "MOP", "MRU", "MUR", "MVR", "MWK", "MXN", "MYR", "MZN",
    "NAD", "NGN", "NIO", "NOK", "NPR", "NZD", "OMR", "PAB", "PEN", "PGK", "PHP", "PKR", "PLN", "PND", "PRB",
    "PYG", "QAR", "QOR", "RON", "RSD", "RUB", "RWF", "SAR", "SBD", "SCR", "SDG", "SEK", "SGD", "SHP", "SLL",
    "SLS", "SOS", "SRD", "SSP", "STN", "SYP", "SZL", "THB", "TJS", "TMT", "TND", "TOP", "TRY", "TTD", "TVD",
    "TWD", "TZS", "UAH", "UGX", "USD", "UYU", "UZS", "VES", "VND", "VUV", "WST", "CFA", "XAF", "XCD", "XOF",
    "CFP", "XPF", "YER", "ZAR", "ZMW"};

SystemLookup system_lookup{nullptr, nullptr};

const Cell* currency_list() {
    const Cell* list = system_lookup.currency_list ? system_lookup.currency_list() : nullptr;
    return list && type_of(*list) == TypeId::block ? list : nullptr;
}

bool same_code(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

// The code at a 1-based index (empty when there is none).
std::string_view currency_code(uint8_t index) {
    if (const Cell* list = currency_list()) {
        if (index > series_tail::cell_count(*list)) return {};
        const Cell& word = *series_tail::cell_at(*list, index - 1u);
        return is_word_like(type_of(word)) ? symbol::spelling(word.w2) : std::string_view{};
    }
    return index <= std::size(initial_currencies) ? initial_currencies[index - 1] : std::string_view{};
}

// The currency of a word, or -1.
int32_t word_currency(const Cell& word) {
    if (!is_word_like(type_of(word))) return -1;
    return currency_index(symbol::spelling(word.w2));
}

// The currency of a result: one absent takes the other; two must agree.
uint8_t merged_currency(uint8_t a, uint8_t b, const Cell& left, const Cell& right) {
    if (a == 0) return b;
    if (b != 0 && b != a) error::fire(error::Id::wrong_denom, {left, right});
    return a;
}

// ---- arithmetic

Amount add(const Amount& a, const Amount& b) {
    const SignedUnits sum = signed_units(a) + signed_units(b);
    return checked(static_cast<Units>(sum < 0 ? -sum : sum), sum < 0, 0);
}

Amount multiply(const Amount& a, const Amount& b) {
    Units product;
    if (__builtin_mul_overflow(a.units, b.units, &product)) type_limit(TypeId::money);
    return checked(product / unit_scale, a.negative != b.negative, 0);
}

Amount divide(const Amount& a, const Amount& b) {
    if (b.units == 0) error::fire(error::Id::zero_divide);
    return checked(a.units * unit_scale / b.units, a.negative != b.negative, 0);
}

Amount remainder(const Amount& a, const Amount& b) {
    if (b.units == 0) error::fire(error::Id::zero_divide);
    return Amount{a.units % b.units, a.negative, 0};
}

// ---- addition in packed decimal

// The digits as two words that order like the numbers they hold: digits
// 1-6 in the low 24 bits of `high`, digits 7-22 in `low` (one per nibble,
// most significant first). Adding and subtracting two money! values works
// on these directly, with no conversion to binary and back.
struct Packed {
    uint64_t high;
    uint64_t low;
    auto operator<=>(const Packed&) const = default;
};

Packed packed_of(const Cell& c) {
    const uint8_t* p = payload(c);
    uint64_t low;
    std::memcpy(&low, p + 4, sizeof low);
    return Packed{uint64_t{p[1]} << 16 | uint64_t{p[2]} << 8 | p[3], __builtin_bswap64(low)};
}

Cell packed_cell(const Packed& d, bool negative, uint8_t currency) {
    const bool zero = d.high == 0 && d.low == 0;
    Cell c{to_int(TypeId::money) | (negative && !zero ? cell_flag::money_negative : 0u), 0, 0, 0};
    uint8_t* p = payload(c);
    p[0] = currency;
    p[1] = static_cast<uint8_t>(d.high >> 16);
    p[2] = static_cast<uint8_t>(d.high >> 8);
    p[3] = static_cast<uint8_t>(d.high);
    const uint64_t low = __builtin_bswap64(d.low);
    std::memcpy(p + 4, &low, sizeof low);
    return c;
}

// Sixteen decimal digits added at once: each nibble is biased by 6 so that
// a decimal carry is a binary one, and the bias is taken back from every
// nibble that did not carry. `carry` tells whether the top digit did.
uint64_t bcd_add(uint64_t a, uint64_t b, bool& carry) {
    const uint64_t t1 = a + 0x6666666666666666ull;
    const uint64_t t2 = t1 + b;
    carry = t2 < t1;
    const uint64_t carries = t2 ^ t1 ^ b;  // the bits a carry came into
    const uint64_t no_carry = ~carries & 0x1111111111111110ull;
    const uint64_t bias = (no_carry >> 2) | (no_carry >> 3) | (carry ? 0 : 0x6000000000000000ull);
    return t2 - bias;
}

// a + b; a result beyond 22 digits raises `type-limit`.
Packed packed_sum(const Packed& a, const Packed& b) {
    bool carry, ignored;
    const uint64_t low = bcd_add(a.low, b.low, carry);
    uint64_t high = bcd_add(a.high, b.high, ignored);
    if (carry) high = bcd_add(high, 1, ignored);
    if (high > 0x999999) type_limit(TypeId::money);
    return Packed{high, low};
}

// a - b for a >= b: a plus the nines' complement of b plus one, the carry
// out of the top digit dropped.
Packed packed_difference(const Packed& a, const Packed& b) {
    bool carry, more, ignored;
    uint64_t low = bcd_add(a.low, 0x9999999999999999ull - b.low, carry);
    low = bcd_add(low, 1, more);
    uint64_t high = bcd_add(a.high, 0x999999 - b.high, ignored);
    if (carry || more) high = bcd_add(high, 1, ignored);
    return Packed{high & 0xFFFFFF, low};
}

// The sum of two money! values with `negate_b` for a difference.
Cell add_money(const Cell& a, const Cell& b, bool negate_b, uint8_t currency) {
    const Packed x = packed_of(a), y = packed_of(b);
    const bool xn = has_flag(a, cell_flag::money_negative), yn = has_flag(b, cell_flag::money_negative) != negate_b;
    if (xn == yn) return packed_cell(packed_sum(x, y), xn, currency);
    return x >= y ? packed_cell(packed_difference(x, y), xn, currency) : packed_cell(packed_difference(y, x), yn, currency);
}

// -1, 0 or 1 by value.
int compare_amounts(const Amount& a, const Amount& b) {
    const SignedUnits x = signed_units(a), y = signed_units(b);
    return (x > y) - (x < y);
}

// ---- text

// The fraction digits shown: system/options/money-digits (2 when it holds
// no integer), from 0 to 5.
int shown_decimals() {
    const Cell* digits = system_lookup.money_digits ? system_lookup.money_digits() : nullptr;
    if (!digits || type_of(*digits) != TypeId::integer) return 2;
    return std::clamp<int32_t>(get_int(*digits), 0, fraction_digits);
}

// "-", the currency code, "$", the integer digits from the first
// significant one, then "." and `decimals` fraction digits (truncated).
// With `grouped`, "'" separates groups of three integer digits and follows
// the third decimal when more are shown.
std::string text_of(const Cell& c, int decimals, bool grouped) {
    const Amount a = unpack(c);
    std::string text = a.negative ? "-" : "";
    if (a.currency != 0) {
        const std::string_view code = currency_code(a.currency);
        text += code.empty() ? std::string_view{"???"} : code;
    }
    text += '$';
    int first = 1;
    while (first < integer_digits && digit_at(c, first) == 0) first++;
    for (int p = first; p <= integer_digits; p++) {
        text += static_cast<char>('0' + digit_at(c, p));
        if (grouped && p < integer_digits && (integer_digits - p) % 3 == 0) text += '\'';
    }
    if (decimals > 0) {
        text += '.';
        for (int k = 1; k <= decimals; k++) {
            text += static_cast<char>('0' + digit_at(c, integer_digits + k));
            if (grouped && k == 3 && decimals > 3) text += '\'';
        }
    }
    return text;
}

// ---- actions

Cell* do_math_action(MathOp op) { return do_math(op); }
Cell* add_action() { return do_math_action(MathOp::add); }
Cell* subtract_action() { return do_math_action(MathOp::subtract); }
Cell* multiply_action() { return do_math_action(MathOp::multiply); }
Cell* divide_action() { return do_math_action(MathOp::divide); }
Cell* remainder_action() { return do_math_action(MathOp::remainder); }

Cell* absolute() {
    stack::result()->header &= ~cell_flag::money_negative;
    return stack::result();
}

Cell* negate() {
    stack::result()->header ^= cell_flag::money_negative;
    return stack::result();
}

Cell* even_q() { return logic::box(digit_at(*stack::result(), integer_digits) % 2 == 0); }
Cell* odd_q() { return logic::box(digit_at(*stack::result(), integer_digits) % 2 == 1); }

// The magnitude of round's scale in units.
Units scale_units(const Cell& scale) {
    switch (type_of(scale)) {
        case TypeId::money: return unpack(scale).units;
        case TypeId::integer: return from_integer(get_int(scale)).units;
        case TypeId::float_: return from_float(get_double(scale), true, scale).units;
        default:
            error::fire(error::Id::not_related, {error::WordArg{"round"}, datatype::value(type_of(scale))});
    }
}

// Rounds the magnitude m to a multiple of the scale s: r = m mod s; the
// lower multiple is m - r, the upper m + (s - r). A tie is r exactly half
// of s; /even then takes the multiple whose quotient by s is even.
Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling) {
    const Amount m = unpack(*value);
    const Units s = scale ? scale_units(*scale) : unit_scale;
    if (m.units == 0 || s == 0) return value;
    const Units r = m.units % s;
    if (r == 0) return value;
    const Units lower = m.units - r, upper = m.units + (s - r);
    const bool positive = !m.negative;
    const bool tie = r * 2 == s;
    const bool nearest_up = r * 2 >= s;
    bool up;
    if (down) up = false;
    else if (floor) up = !positive;
    else if (ceiling) up = positive;
    else if (even && tie) up = (m.units / s) % 2 == 1;
    else if (half_down && tie) up = false;
    else if (half_ceiling && tie) up = positive;
    else up = nearest_up;
    *value = pack(checked(up ? upper : lower, m.negative, m.currency));
    return value;
}

// With /seed the generator is seeded from the payload and the sign and the
// value becomes unset. Otherwise each digit from the most significant is
// drawn below or at the value's own digit until one falls below it, and
// every digit after that is drawn freely: an amount from zero to the value.
Cell* random_action(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(static_cast<int32_t>(value->w1 ^ value->w2 ^ value->w3 ^
                                          (value->header & cell_flag::money_negative ? 1u : 0u)));
        set_header(*value, TypeId::unset);
        return value;
    }
    const Cell original = *value;
    uint8_t digits[digit_count] = {};
    int first = 1;
    while (first <= digit_count && digit_at(original, first) == 0) first++;
    bool free = false;
    for (int p = first; p <= digit_count; p++) {
        const uint32_t bound = digit_at(original, p);
        uint32_t d;
        if (free) {
            d = static_cast<uint32_t>(random_draw::next(secure)) % 10;
        } else {
            // Drawing the bound itself must be confirmed by two further
            // draws agreeing, so the upper end is as rare as the others.
            for (;;) {
                d = static_cast<uint32_t>(random_draw::next(secure)) % (bound + 1);
                if (d < bound) break;
                const int32_t x = random_draw::next(secure), y = random_draw::next(secure);
                if (x % 1000 == y % 1000) break;
            }
            free = d < bound;
        }
        digits[p - 1] = static_cast<uint8_t>(d);
    }
    *value = make(has_flag(original, cell_flag::money_negative), payload(original)[0], digits);
    return value;
}

[[noreturn]] void bad_to_arg(const Cell& spec) {
    error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::money), spec});
}

const Cell* to(Cell* prototype, Cell* spec, TypeId) {
    switch (type_of(*spec)) {
        case TypeId::money: return spec;
        case TypeId::integer: *prototype = pack(from_integer(get_int(*spec))); return prototype;
        case TypeId::float_: *prototype = pack(from_float(get_double(*spec), true, *spec)); return prototype;
        case TypeId::string: case TypeId::file: case TypeId::url:
        case TypeId::tag: case TypeId::email: case TypeId::ref: {
            number_text::Status status;
            Cell out{};
            number_text::to_money(text_buffer::chars(*spec), status, out);
            if (status != number_text::Status::ok) bad_to_arg(*spec);
            *prototype = out;
            return prototype;
        }
        default: bad_to_arg(*spec);
    }
}

// make: a currency word gives zero in that currency; a block
// [currency? amount fraction?] the amount, where an integer amount may be
// followed by a fraction 0-99999 in units of the fifth decimal. Anything
// else as `to`.
const Cell* make_action(Cell* prototype, Cell* spec, TypeId type) {
    if (type_of(*spec) == TypeId::word) {
        const int32_t currency = word_currency(*spec);
        if (currency < 0) bad_make_arg(*spec);
        *prototype = pack(Amount{0, false, static_cast<uint8_t>(currency)});
        return prototype;
    }
    if (type_of(*spec) != TypeId::block) return to(prototype, spec, type);
    const uint32_t n = series_tail::cell_count(*spec);
    uint32_t i = 0;
    int32_t currency = 0;
    if (i < n && type_of(*series_tail::cell_at(*spec, i)) == TypeId::word) {
        currency = word_currency(*series_tail::cell_at(*spec, i++));
        if (currency < 0) bad_make_arg(*spec);
    }
    if (i >= n) bad_make_arg(*spec);
    const Cell amount = *series_tail::cell_at(*spec, i++);
    Amount a;
    if (type_of(amount) == TypeId::integer) {
        a = from_integer(get_int(amount));
        if (i < n) {
            const Cell fraction = *series_tail::cell_at(*spec, i++);
            if (type_of(fraction) != TypeId::integer || get_int(fraction) < 0 ||
                Units(get_int(fraction)) >= unit_scale)
                bad_make_arg(*spec);
            a.units += static_cast<uint32_t>(get_int(fraction));
            a.negative = get_int(amount) < 0;
        }
    } else if (type_of(amount) == TypeId::float_) {
        a = from_float(get_double(amount), true, amount);
    } else {
        bad_make_arg(*spec);
    }
    if (i < n) bad_make_arg(*spec);
    a.currency = static_cast<uint8_t>(currency);
    *prototype = pack(a);
    return prototype;
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    return text_buffer::put(*buffer, text_of(*value, shown_decimals(), true), limit);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t limit, int32_t) {
    return text_buffer::put(*buffer, text_of(*value, all ? fraction_digits : shown_decimals(), false), limit);
}

// The three-way order of currencies for sort: none first, then by code.
int compare_currencies(uint8_t a, uint8_t b) {
    if (a == b) return 0;
    if (a == 0 || b == 0) return a == 0 ? -1 : 1;
    const std::string_view x = currency_code(a), y = currency_code(b);
    for (size_t i = 0; i < std::min(x.size(), y.size()); i++) {
        const int cx = x[i] | 0x20, cy = y[i] | 0x20;
        if (cx != cy) return cx < cy ? -1 : 1;
    }
    return (x.size() > y.size()) - (x.size() < y.size());
}

// Against money!: orderings need compatible currencies (one absent, or the
// same); sorting puts currencies first; the equality tests find values
// unequal whose currencies differ, one absent included, as the hash of a
// key does. Against integer! and float! the
// number is converted: a float too small to show compares as zero, one of
// 1e17 or more beyond every amount on its side of zero.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
    op = fold_equality(op);
    const TypeId t2 = type_of(*value2);
    if ((op == CompareOp::strict_equal || op == CompareOp::same || op == CompareOp::find_key) &&
        t2 != TypeId::money)
        return 1;
    const Amount a = unpack(*value1);
    Amount b;
    switch (t2) {
        case TypeId::money: {
            b = unpack(*value2);
            const bool both = a.currency != 0 && b.currency != 0;
            if (is_ordering_test(op)) {
                if (both && a.currency != b.currency) error::fire(error::Id::wrong_denom, {*value1, *value2});
            } else if (is_sort_order(op)) {
                if (const int c = compare_currencies(a.currency, b.currency)) return c;
            } else if (a.currency != b.currency) {
                return 1;
            }
            break;
        }
        case TypeId::integer: b = from_integer(get_int(*value2)); break;
        case TypeId::float_: {
            const double d = get_double(*value2);
            if (std::isnan(d)) return -2;
            if (std::fabs(d) >= 1e17) return d > 0 ? -1 : 1;
            if (std::fabs(d) >= 1e-5) b = from_float(d, true, *value2);
            break;
        }
        default: return -2;
    }
    return compare_amounts(a, b);
}

bool is_word(const Cell& v, Sym s) {
    return is_word_like(type_of(v)) && symbol::resolve_alias(v.w2) == symbol::resolve_alias(to_int(s));
}

// The currency as a word (none without one), or the amount without it.
void field(Cell& value, bool code) {
    const Amount a = unpack(value);
    if (!code) {
        value = pack(Amount{a.units, a.negative, 0});
        return;
    }
    if (a.currency == 0) {
        value = none::value;
    } else if (const Cell* list = currency_list(); list && a.currency <= series_tail::cell_count(*list)) {
        value = *series_tail::cell_at(*list, a.currency - 1u);
        clear_new_line(value);
    } else {
        value = word::load(currency_code(a.currency));
    }
}

Cell* eval_path(const actions::EvalPathArgs& a) {
    const Cell path = a.path ? *a.path : none::value;
    if (a.value) error::fire(error::Id::bad_path_set, {path, *a.element});
    const bool code = is_word(*a.element, Sym::code);
    if (!code && !is_word(*a.element, Sym::amount)) error::fire(error::Id::invalid_path, {path, *a.element});
    field(*a.parent, code);
    return a.parent;
}

const Cell* pick(Cell* value, Cell* index_cell, int32_t index) {
    if (index != 1 && index != 2) error::fire(error::Id::out_of_range, {*index_cell});
    field(*value, index == 1);
    return value;
}

}  // namespace

// ---- helpers for the rest of the runtime

void install_system_lookup(SystemLookup lookup) { system_lookup = lookup; }

int32_t currency_index(std::string_view code) {
    if (const Cell* list = currency_list()) {
        const uint32_t n = series_tail::cell_count(*list);
        for (uint32_t i = 0; i < n; i++) {
            const Cell& word = *series_tail::cell_at(*list, i);
            if (is_word_like(type_of(word)) && same_code(symbol::spelling(word.w2), code))
                return static_cast<int32_t>(i + 1);
        }
        return -1;
    }
    for (size_t i = 0; i < std::size(initial_currencies); i++)
        if (same_code(initial_currencies[i], code)) return static_cast<int32_t>(i + 1);
    return -1;
}

Cell make(bool negative, uint8_t currency, const uint8_t (&digits)[digit_count]) {
    Cell c{to_int(TypeId::money) | (negative ? cell_flag::money_negative : 0u), 0, 0, 0};
    uint8_t* p = payload(c);
    p[0] = currency;
    for (int k = 0; k < 11; k++) p[1 + k] = bcd_bytes[digits[2 * k] * 10 + digits[2 * k + 1]];
    return c;
}

bool is_zero(const Cell& m) { return (m.w1 >> 8) == 0 && m.w2 == 0 && m.w3 == 0; }

int sign(const Cell& m) {
    if (is_zero(m)) return 0;
    return has_flag(m, cell_flag::money_negative) ? -1 : 1;
}

// The first argument (the result slot) op the second, one of them money!.
// A number divided by money! and money! times money! have no meaning;
// money! divided by money! is the ratio as a float!.
Cell* do_math(MathOp op) {
    Cell* left = stack::arg(0);
    const Cell* right = stack::arg(1);
    const bool left_money = type_of(*left) == TypeId::money, right_money = type_of(*right) == TypeId::money;
    if (op > MathOp::remainder || (op == MathOp::multiply && left_money && right_money) ||
        (op == MathOp::divide && !left_money))
        invalid_type(TypeId::money);
    if (left_money && right_money && op <= MathOp::subtract) {
        *left = add_money(*left, *right, op == MathOp::subtract,
                          merged_currency(payload(*left)[0], payload(*right)[0], *left, *right));
        return left;
    }
    const Amount a = operand(*left), b = operand(*right);
    const uint8_t currency = merged_currency(a.currency, b.currency, *left, *right);
    Amount r;
    switch (op) {
        case MathOp::add: r = add(a, b); break;
        case MathOp::subtract: r = add(a, Amount{b.units, !b.negative && b.units != 0, 0}); break;
        case MathOp::multiply: r = multiply(a, b); break;
        case MathOp::divide:
            r = divide(a, b);
            if (right_money) return float_::make_at(*left, amount_to_float(r));
            break;
        default: r = remainder(a, b); break;
    }
    r.currency = currency;
    *left = pack(r);
    return left;
}

int32_t compare_number(const Cell& number, const Cell& m, CompareOp op) {
    const int32_t r = compare(&m, &number, op);
    if (r == -2 || is_equality_test(op)) return r;
    return -r;
}

int32_t to_integer(const Cell& m) {
    const Amount a = unpack(m);
    const Units whole = a.units / unit_scale;
    if (whole > (a.negative ? Units{2147483648u} : Units{2147483647u})) type_limit(TypeId::integer);
    const int64_t v = static_cast<int64_t>(whole);
    return static_cast<int32_t>(a.negative ? -v : v);
}

double to_float(const Cell& m) { return amount_to_float(unpack(m)); }

Cell as_money(const Cell& currency_word, const Cell& amount) {
    const int32_t currency = word_currency(currency_word);
    if (currency < 0) error::fire(error::Id::bad_denom, {currency_word});
    Amount a = type_of(amount) == TypeId::integer ? from_integer(get_int(amount))
                                                  : from_float(get_double(amount), false, amount);
    a.currency = static_cast<uint8_t>(currency);
    return pack(a);
}

// ---- registration

namespace {

// Money hashes by its whole cell with the header cut to the type and the sign; a zero (all digits 0,
// the currency aside) has no sign.
uint32_t hash_money_key(const Cell& key) {
    Cell c = key;
    c.header &= cell_flag::type_mask | cell_flag::money_negative;
    if ((c.w1 >> 8) == 0 && c.w2 == 0 && c.w3 == 0) c.header &= ~cell_flag::money_negative;
    return hashtable::hash_cell_words(c, 0, 3);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make_action).own<Action::random>(random_action).own<Action::to>(to);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::eval_path>(eval_path);
    row.own<Action::compare>(compare).own<Action::absolute>(absolute).own<Action::add>(add_action);
    row.own<Action::divide>(divide_action).own<Action::multiply>(multiply_action).own<Action::negate>(negate);
    row.own<Action::remainder>(remainder_action).own<Action::round>(round).own<Action::subtract>(subtract_action);
    row.own<Action::even_q>(even_q).own<Action::odd_q>(odd_q).own<Action::pick>(pick);
    row.hash(&hash_money_key);
    datatype::register_type(TypeId::money, TypeId::none_id, row);
}

bool currency_known(uint8_t index) { return index == 0 || !currency_code(index).empty(); }

}  // namespace qor::money
