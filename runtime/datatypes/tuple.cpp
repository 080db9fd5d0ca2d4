// tuple!: 3 to 12 bytes inside the cell.
#include "runtime/datatypes/tuple.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/math_actions.h"
#include "runtime/datatypes/random_draw.h"
#include "runtime/datatypes/registry.h"
#include "runtime/hash/murmur3.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/text_loader.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/symbol.h"

namespace qor::tuple {

// ---- helpers

Bytes bytes_of(const Cell& c) {
    Bytes b{};
    std::memcpy(b.data(), &c.w1, max_length);
    return b;
}

Cell* make_at(Cell& cell, std::span<const uint8_t> bytes) {
    const auto n = static_cast<uint32_t>(std::min<size_t>(bytes.size(), max_length));
    Bytes b{};
    std::copy_n(bytes.begin(), n, b.begin());
    cell.header = to_int(TypeId::tuple) | std::max(n, min_length) << cell_flag::tuple_length_shift;
    std::memcpy(&cell.w1, b.data(), max_length);
    return &cell;
}

Cell* push(std::span<const uint8_t> bytes) { return make_at(*stack::push_slot(), bytes); }

bool all_zero(const Cell& c) {
    const Bytes b = bytes_of(c);
    return std::all_of(b.begin(), b.begin() + length_of(c), [](uint8_t x) { return x == 0; });
}

namespace {

// The new length and bytes of a tuple cell; the flags are kept.
void store(Cell& cell, uint32_t length, const Bytes& b) {
    cell.header = (cell.header & ~(cell_flag::type_mask | cell_flag::tuple_length_mask)) | to_int(TypeId::tuple) |
                  length << cell_flag::tuple_length_shift;
    std::memcpy(&cell.w1, b.data(), max_length);
}

uint8_t clamp_byte(int64_t v) { return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255)); }

// A double as a byte: truncated toward zero and clamped; NaN gives 0. The
// clamp comes before the conversion, which is undefined for values beyond
// the integers.
uint8_t clamp_byte(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<uint8_t>(std::trunc(std::clamp(v, 0.0, 255.0)));
}

// The integer operation on one byte; a result beyond 32 bits is 255 when
// positive, else 0.
uint8_t byte_op(int32_t a, int32_t b, MathOp op) {
    if (op == MathOp::add || op == MathOp::subtract || op == MathOp::multiply) {
        Cell r{to_int(TypeId::integer), 0, 0, 0};
        integer::do_math(a, b, op, &r);
        if (type_of(r) != TypeId::integer) return get_double(r) > 0 ? 255 : 0;
        return clamp_byte(int64_t{get_int(r)});
    }
    return clamp_byte(int64_t{integer::do_math(a, b, op, nullptr)});
}

// The hexadecimal digit's value, or -1.
int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// An issue's hexadecimal spelling: 3 digits (each d gives d * 17, so #F80
// is 255.136.0), 6 digits (three bytes) or 8 (four, the last the alpha).
Cell* from_issue(Cell& target, const Cell& issue) {
    const std::string_view s = symbol::spelling(issue.w2);
    uint8_t b[4] = {};
    const bool valid_length = s.size() == 3 || s.size() == 6 || s.size() == 8;
    const size_t n = s.size() == 3 ? 3 : s.size() / 2;
    for (size_t i = 0; valid_length && i < s.size(); i++)
        if (hex_digit(s[i]) < 0) error::fire(error::Id::invalid_data, {issue});
    if (!valid_length) error::fire(error::Id::invalid_data, {issue});
    for (size_t i = 0; i < n; i++)
        b[i] = s.size() == 3 ? static_cast<uint8_t>(hex_digit(s[i]) * 17)
                             : static_cast<uint8_t>(hex_digit(s[2 * i]) << 4 | hex_digit(s[2 * i + 1]));
    return make_at(target, {b, n});
}

// At most 12 bytes of a binary from its index, at least 3.
Cell* from_binary(Cell& target, const Cell& binary) {
    uint8_t b[max_length];
    const uint32_t n = text_buffer::bytes(binary, b, max_length);
    return make_at(target, {b, n});
}

[[noreturn]] void bad_to_arg(const Cell& spec) {
    error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::tuple), spec});
}

// A block of at most 12 integers, chars or floats (truncated), each 0-255.
Cell* from_block(Cell& target, const Cell& spec) {
    const uint32_t n = series_tail::cell_count(spec);
    if (n > max_length) bad_to_arg(spec);
    uint8_t b[max_length];
    for (uint32_t i = 0; i < n; i++) {
        const Cell item = *series_tail::cell_at(spec, i);
        double v;
        switch (type_of(item)) {
            case TypeId::integer: case TypeId::char_: v = get_int(item); break;
            case TypeId::float_: v = std::trunc(get_double(item)); break;
            default: bad_to_arg(spec);
        }
        if (!(v >= 0.0 && v <= 255.0)) bad_to_arg(spec);
        b[i] = static_cast<uint8_t>(v);
    }
    return make_at(target, {b, n});
}

}  // namespace

Cell* do_math(MathOp op) {
    Cell* result = stack::arg(0);
    Cell a = *stack::arg(0);
    Cell b = *stack::arg(1);
    if (type_of(a) != TypeId::tuple) {
        if (op == MathOp::subtract || op == MathOp::divide) {
            const Action act = op == MathOp::subtract ? Action::subtract : Action::divide;
            error::fire(error::Id::not_related, {error::WordArg{action_word(act)}, datatype::value(type_of(a))});
        }
        std::swap(a, b);
    }
    const uint32_t la = length_of(a);
    Bytes x = bytes_of(a);
    uint32_t length = la;
    switch (type_of(b)) {
        case TypeId::integer:
            for (uint32_t i = 0; i < la; i++) x[i] = byte_op(x[i], get_int(b), op);
            break;
        case TypeId::float_:
        case TypeId::percent:
            for (uint32_t i = 0; i < la; i++) x[i] = clamp_byte(float_::apply_op(x[i], get_double(b), op));
            break;
        case TypeId::tuple: {
            // The longer length; missing bytes count as 0.
            const Bytes y = bytes_of(b);
            length = std::max(la, length_of(b));
            for (uint32_t i = 0; i < length; i++) x[i] = byte_op(x[i], y[i], op);
            break;
        }
        default: error::fire(error::Id::invalid_type, {datatype::value(type_of(b))});
    }
    *result = a;
    store(*result, length, x);
    return result;
}

// ---- actions

namespace {

Cell* complement() {
    Cell* v = stack::result();
    Bytes b = bytes_of(*v);
    for (uint32_t i = 0; i < length_of(*v); i++) b[i] = static_cast<uint8_t>(255 - b[i]);
    store(*v, length_of(*v), b);
    return v;
}

int32_t length(const Cell* series) { return static_cast<int32_t>(length_of(*series)); }

// The byte at a 1-based index as an integer!; out-of-range for any other.
Cell* byte_at(Cell& tuple, const Cell& index) {
    const int32_t i = type_of(index) == TypeId::integer ? get_int(index) : 0;
    if (i < 1 || static_cast<uint32_t>(i) > length_of(tuple)) error::fire(error::Id::out_of_range, {index});
    return integer::make_at(tuple, bytes_of(tuple)[static_cast<uint32_t>(i) - 1]);
}

const Cell* pick(Cell* series, Cell* index_cell, int32_t) { return byte_at(*series, *index_cell); }

// t/2 reads a byte; t/2: n stores n clamped to 0-255; t/2: none cuts the
// tuple before byte 2 (never below 3 bytes). The path walk writes the
// changed tuple back where it lives.
Cell* eval_path(const actions::EvalPathArgs& args) {
    Cell* t = args.parent;
    const Cell& element = *args.element;
    if (type_of(element) != TypeId::integer) error::fire(error::Id::invalid_type, {datatype::value(type_of(element))});
    if (!args.value) return byte_at(*t, element);
    const TypeId vt = type_of(*args.value);
    if (vt != TypeId::integer && vt != TypeId::none) error::fire(error::Id::invalid_type, {datatype::value(vt)});
    const int32_t i = get_int(element);
    const uint32_t n = length_of(*t);
    if (i < 1 || static_cast<uint32_t>(i) > n) error::fire(error::Id::out_of_range, {element});
    const auto at = static_cast<uint32_t>(i) - 1;
    Bytes b = bytes_of(*t);
    if (vt == TypeId::integer) {
        b[at] = clamp_byte(int64_t{get_int(*args.value)});
        store(*t, n, b);
    } else {
        std::fill(b.begin() + at, b.end(), uint8_t{0});
        store(*t, std::max(at, min_length), b);
    }
    return args.value;
}

// A refinement argument that must be an integer!.
int32_t refinement_integer(const Cell& arg, std::string_view word) {
    if (type_of(arg) != TypeId::integer) error::fire(error::Id::invalid_refine_arg, {error::WordArg{word}, arg});
    return get_int(arg);
}

// The first `part` bytes reversed, in records of `skip` bytes that each
// keep their inner order.
const Cell* reverse(Cell* series, const Cell* part, const Cell* skip) {
    const uint32_t n = length_of(*series);
    uint32_t count = n;
    if (part) {
        const int32_t p = refinement_integer(*part, "part");
        if (p < 0) error::fire(error::Id::out_of_range, {*part});
        count = std::min(static_cast<uint32_t>(p), n);
    }
    uint32_t size = 1;
    if (skip) {
        const int32_t s = refinement_integer(*skip, "skip");
        if (s < 1) error::fire(error::Id::out_of_range, {*skip});
        size = static_cast<uint32_t>(s);
        if (size > count || count % size != 0) error::fire(error::Id::invalid_refine_arg, {error::WordArg{"skip"}, *skip});
    }
    const Bytes b = bytes_of(*series);
    Bytes r = b;
    const uint32_t records = count / size;
    for (uint32_t k = 0; k < records; k++)
        std::copy_n(b.begin() + (records - 1 - k) * size, size, r.begin() + k * size);
    store(*series, n, r);
    return series;
}

// /seed: the generator is seeded with the three payload words combined
// and the value becomes unset; otherwise each byte b becomes a random
// number from 0 to b.
Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(static_cast<int32_t>(value->w1 ^ value->w2 ^ value->w3));
        set_header(*value, TypeId::unset);
        return value;
    }
    Bytes b = bytes_of(*value);
    for (uint32_t i = 0; i < length_of(*value); i++)
        b[i] = static_cast<uint8_t>(random_draw::below(b[i] + 1, secure) - 1);
    store(*value, length_of(*value), b);
    return value;
}

// Byte by byte up to the longer length, a missing byte counting as 0, so
// 1.2.3 equals 1.2.3.0 (also strictly).
int32_t compare(const Cell* value1, const Cell* value2, CompareOp) {
    if (type_of(*value2) != TypeId::tuple) return -2;
    const Bytes a = bytes_of(*value1), b = bytes_of(*value2);
    const uint32_t n = std::max(length_of(*value1), length_of(*value2));
    for (uint32_t i = 0; i < n; i++)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    const Bytes b = bytes_of(*value);
    for (uint32_t i = 0; i < length_of(*value); i++) {
        if (i > 0) limit = text_buffer::put(*buffer, ".", limit);
        limit = text_buffer::put(*buffer, integer::form_signed(b[i]).view(), limit);
    }
    return limit;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

// make and to: from a block of bytes, a text holding a tuple, an issue's
// hexadecimal spelling, a binary's bytes, or a tuple.
const Cell* make(Cell* prototype, Cell* spec, TypeId) {
    switch (type_of(*spec)) {
        case TypeId::block: case TypeId::paren: case TypeId::hash: return from_block(*prototype, *spec);
        case TypeId::string: case TypeId::file: case TypeId::url:
        case TypeId::tag: case TypeId::email: case TypeId::ref: {
            Cell loaded;
            if (!text_loader::load_one(*spec, loaded) || type_of(loaded) != TypeId::tuple) bad_to_arg(*spec);
            *prototype = loaded;
            return prototype;
        }
        case TypeId::issue: return from_issue(*prototype, *spec);
        case TypeId::binary: return from_binary(*prototype, *spec);
        case TypeId::tuple: return spec;
        default: bad_to_arg(*spec);
    }
}

}  // namespace

// ---- registration

namespace {

// Tuples hash by the bytes they use.
uint32_t hash_tuple_key(const Cell& key) {
    const uint32_t length = (key.header & cell_flag::tuple_length_mask) >> cell_flag::tuple_length_shift;
    return hash::murmur3(&key.w1, std::min<uint32_t>(length, 12));
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::to>(make).own<Action::random>(random);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::eval_path>(eval_path);
    row.own<Action::compare>(compare).own<Action::complement>(complement);
    datatype::own_arithmetic<do_math>(row);
    datatype::own_bitwise<do_math>(row);
    row.own<Action::length_q>(length).own<Action::pick>(pick).own<Action::reverse>(reverse);
    row.hash(&hash_tuple_key);
    datatype::register_type(TypeId::tuple, TypeId::none_id, row);
}

}  // namespace qor::tuple
