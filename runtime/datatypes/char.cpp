// char!: one Unicode code point.
#include "runtime/datatypes/char.h"

#include <cmath>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"
#include "runtime/datatypes/vector.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"

namespace qor::char_ {

// ---- helpers

Cell* make_at(Cell& cell, uint32_t code_point) {
    set_header(cell, TypeId::char_);
    cell.w2 = code_point;
    return &cell;
}

Cell* push(uint32_t code_point) { return make_at(*stack::push_slot(), code_point); }
Cell* make_in(Cell& block, uint32_t code_point) { return make_at(*series_tail::block_alloc_tail(block), code_point); }

namespace {

// The letters after the caret for the control characters 0-31 (30 is
// written in hexadecimal instead).
constexpr char control_escapes[32] = {
    '@', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '-', '/', 'K', 'L', 'M', 'N', 'O',
    'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', '[', '\\', ']', 0, '_',
};

}  // namespace

Escaped mold_escape(uint32_t c, bool all) {
    Escaped e{};
    auto put = [&](char32_t x) { e.data[e.size++] = x; };
    if (c == 30 || (c >= 128 && c <= 159) || (all && c > 127)) {
        put(U'^');
        put(U'(');
        char hex[8];
        int n = 0;
        do {
            hex[n++] = "0123456789ABCDEF"[c & 0xF];
            c >>= 4;
        } while (c != 0);
        while (n > 0) put(static_cast<char32_t>(hex[--n]));
        put(U')');
    } else if (c < 32) {
        put(U'^');
        put(static_cast<char32_t>(control_escapes[c]));
    } else if (c == '"' || c == '^') {
        put(U'^');
        put(c);
    } else if (c == 127) {
        put(U'^');
        put(U'~');
    } else {
        put(c);
    }
    return e;
}

// The code point op the second operand, which must stay a code point.
Cell* do_math(MathOp op) {
    Cell* left = stack::arg(0);
    const Cell* right = stack::arg(1);
    int32_t value;
    switch (type_of(*right)) {
        case TypeId::char_:
        case TypeId::integer: value = get_int(*right); break;
        case TypeId::float_: value = integer::from_double_checked(get_double(*right)); break;
        case TypeId::vector: return vector_type::do_math_scalar_first(op);
        default: error::fire(error::Id::invalid_type, {datatype::value(type_of(*right))});
    }
    // Division truncates: no result cell, so no float quotient.
    Cell scratch = unset_cell;
    const int32_t r = integer::do_math(get_int(*left), value, op, op == MathOp::divide ? nullptr : &scratch);
    if ((op != MathOp::divide && type_of(scratch) != TypeId::unset) || r < 0 ||
        static_cast<uint32_t>(r) > max_code_point)
        error::fire(error::Id::overflow);
    left->w2 = static_cast<uint32_t>(r);
    return left;
}

// ---- actions

namespace {

Cell* add() { return do_math(MathOp::add); }
Cell* subtract() { return do_math(MathOp::subtract); }
Cell* multiply() { return do_math(MathOp::multiply); }
Cell* divide() { return do_math(MathOp::divide); }
Cell* remainder() { return do_math(MathOp::remainder); }
Cell* or_t() { return do_math(MathOp::or_); }
Cell* and_t() { return do_math(MathOp::and_); }
Cell* xor_t() { return do_math(MathOp::xor_); }

[[noreturn]] void bad_to_arg(const Cell& spec) {
    error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::char_), spec});
}

// A number as a code point: out of range raises out-of-range.
uint32_t checked_code_point(int64_t v, const Cell& spec) {
    if (v < 0 || v > max_code_point) error::fire(error::Id::out_of_range, {spec});
    return static_cast<uint32_t>(v);
}

// Decodes one UTF-8 sequence: the code point, or U+FFFE when the bytes are
// not a valid sequence (bad lead or continuation byte, overlong form,
// surrogate, beyond U+10FFFF, or cut short).
uint32_t decode_utf8(const uint8_t* b, uint32_t n) {
    constexpr uint32_t invalid = 0xFFFE;
    if (n == 0) return invalid;
    const uint8_t lead = b[0];
    uint32_t length, cp, min;
    if (lead < 0x80) return lead;
    if ((lead & 0xE0) == 0xC0) length = 2, cp = lead & 0x1F, min = 0x80;
    else if ((lead & 0xF0) == 0xE0) length = 3, cp = lead & 0x0F, min = 0x800;
    else if ((lead & 0xF8) == 0xF0) length = 4, cp = lead & 0x07, min = 0x10000;
    else return invalid;
    if (n < length) return invalid;
    for (uint32_t i = 1; i < length; i++) {
        if ((b[i] & 0xC0) != 0x80) return invalid;
        cp = cp << 6 | (b[i] & 0x3F);
    }
    if (cp < min || cp > max_code_point || (cp >= 0xD800 && cp <= 0xDFFF)) return invalid;
    return cp;
}

// make and to: the given value as a code point in the prototype cell.
const Cell* make(Cell* prototype, Cell* spec, TypeId) {
    uint32_t cp = 0;
    switch (type_of(*spec)) {
        case TypeId::string: case TypeId::file: case TypeId::url:
        case TypeId::tag: case TypeId::email: case TypeId::ref: {
            if (text_buffer::length(*spec) == 0) bad_to_arg(*spec);
            cp = text_buffer::char_at(*spec, 0);
            break;
        }
        case TypeId::char_:
        case TypeId::integer: cp = checked_code_point(get_int(*spec), *spec); break;
        case TypeId::float_:
        case TypeId::percent: {
            const double t = std::trunc(get_double(*spec));
            if (!(t >= 0.0 && t <= max_code_point)) error::fire(error::Id::out_of_range, {*spec});
            cp = static_cast<uint32_t>(t);
            break;
        }
        case TypeId::binary: {
            uint8_t b[4];
            const uint32_t n = text_buffer::bytes(*spec, b, 4);
            // An empty binary holds no character.
            if (n == 0) bad_to_arg(*spec);
            cp = decode_utf8(b, n);
            break;
        }
        default: bad_to_arg(*spec);
    }
    return make_at(*prototype, cp);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    text_buffer::append_char(*buffer, value->w2);
    return limit - 1;
}

// #"a", with the escapes of molded text inside the quotes.
int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t limit, int32_t) {
    text_buffer::append_ascii(*buffer, "#\"");
    const Escaped e = mold_escape(value->w2, all);
    for (uint8_t i = 0; i < e.size; i++) text_buffer::append_char(*buffer, e.data[i]);
    text_buffer::append_ascii(*buffer, "\"");
    return limit - 3 - e.size;
}

// By code point, with integers too (no case folding).
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
    op = fold_equality(op);
    const TypeId t2 = type_of(*value2);
    if ((op == CompareOp::strict_equal || op == CompareOp::same || op == CompareOp::find_key) &&
        t2 != TypeId::char_)
        return 1;
    if (t2 != TypeId::char_ && t2 != TypeId::integer) return -2;
    const int32_t a = get_int(*value1), b = get_int(*value2);
    return (a > b) - (a < b);
}

}  // namespace

// ---- registration

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::to>(make);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(compare);
    row.own<Action::add>(add).own<Action::divide>(divide).own<Action::multiply>(multiply);
    row.own<Action::remainder>(remainder).own<Action::subtract>(subtract);
    row.own<Action::and_t>(and_t).own<Action::or_t>(or_t).own<Action::xor_t>(xor_t);
    row.inherit(Action::random).inherit(Action::absolute).inherit(Action::even_q).inherit(Action::odd_q);
    datatype::register_type(TypeId::char_, TypeId::integer, row);
}

}  // namespace qor::char_
