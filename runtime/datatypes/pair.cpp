// pair!: two signed 32-bit integers.
#include "runtime/datatypes/pair.h"

#include <cmath>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/math_actions.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/random_draw.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/text_loader.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/symbol.h"

namespace qor::pair {

namespace {

// A float! coordinate truncated toward zero; NaN, infinities and values
// beyond the 32-bit integers have no coordinate and raise `invalid-arg`.
int32_t truncated(const Cell& f) {
    const double t = std::trunc(get_double(f));
    if (integer::float_out_of_range(t)) error::fire(error::Id::invalid_arg, {f});
    return static_cast<int32_t>(t);
}

// One coordinate: the integer! arithmetic; false when an add, subtract or
// multiply leaves the integers. Division truncates.
bool coordinate_op(int32_t a, int32_t b, MathOp op, int32_t& out) {
    if (op == MathOp::add || op == MathOp::subtract || op == MathOp::multiply) {
        Cell r{to_int(TypeId::integer), 0, 0, 0};
        integer::do_math(a, b, op, &r);
        if (type_of(r) != TypeId::integer) return false;
        out = get_int(r);
        return true;
    }
    out = integer::do_math(a, b, op, nullptr);
    return true;
}

// The coordinate an index names: 1 or x, 2 or y; 0 for an integer out of
// range, -1 for any other value.
int axis_of(const Cell& index) {
    switch (type_of(index)) {
        case TypeId::integer: return get_int(index) == 1 ? 1 : get_int(index) == 2 ? 2 : 0;
        case TypeId::word: case TypeId::lit_word: case TypeId::get_word: case TypeId::set_word: {
            const uint32_t s = symbol::resolve_alias(index.w2);
            if (s == symbol::resolve_alias(to_int(Sym::x))) return 1;
            if (s == symbol::resolve_alias(to_int(Sym::y))) return 2;
            return -1;
        }
        default: return -1;
    }
}

// An index that names no coordinate: out-of-range for an integer,
// cannot-use for a word, invalid-path for anything else in a path.
[[noreturn]] void bad_index(const Cell& index, const Cell* path) {
    if (type_of(index) == TypeId::integer) error::fire(error::Id::out_of_range, {index});
    if (is_word_like(type_of(index)) || !path)
        error::fire(error::Id::cannot_use, {index, datatype::value(TypeId::pair)});
    error::fire(error::Id::invalid_path, {*path, index});
}

}  // namespace

// ---- helpers

Cell* make_at(Cell& cell, int32_t x, int32_t y) {
    set_type_keep_flags(cell, TypeId::pair);
    cell.w1 = 0;
    cell.w2 = static_cast<uint32_t>(x);
    cell.w3 = static_cast<uint32_t>(y);
    return &cell;
}

void to_point2d(Cell& cell) { point::make2d_at(cell, static_cast<float>(x(cell)), static_cast<float>(y(cell))); }

Cell* do_math(MathOp op) {
    Cell* left = stack::arg(0);
    Cell* right = stack::arg(1);
    int32_t ox, oy;
    switch (type_of(*right)) {
        case TypeId::integer: ox = oy = get_int(*right); break;
        case TypeId::pair:
            ox = x(*right);
            oy = y(*right);
            break;
        case TypeId::float_:
        case TypeId::percent:
            if (op == MathOp::multiply || op == MathOp::divide) {
                // Scaled by a float, the pair becomes a point.
                if (float_::is_special(get_double(*right))) error::fire(error::Id::invalid_arg, {*right});
                to_point2d(*left);
                return point::do_math(op);
            }
            ox = oy = truncated(*right);
            break;
        case TypeId::point2d:
            to_point2d(*left);
            return point::do_math(op);
        default: error::fire(error::Id::invalid_type, {datatype::value(type_of(*right))});
    }
    int32_t rx, ry;
    if (!coordinate_op(x(*left), ox, op, rx) || !coordinate_op(y(*left), oy, op, ry)) {
        // Beyond the integers: the same operation on points.
        to_point2d(*left);
        point::make2d_at(*right, static_cast<float>(ox), static_cast<float>(oy));
        return point::do_math(op);
    }
    return make_at(*left, rx, ry);
}

Cell* negate(Cell& pair) {
    if (x(pair) == INT32_MIN || y(pair) == INT32_MIN) error::fire(error::Id::overflow);
    return make_at(pair, -x(pair), -y(pair));
}

// ---- actions

namespace {

Cell* absolute() {
    Cell* v = stack::result();
    return make_at(*v, integer::absolute_checked(x(*v)), integer::absolute_checked(y(*v)));
}

Cell* negate_action() { return negate(*stack::result()); }

const Cell* reverse(Cell* series, const Cell*, const Cell*) { return make_at(*series, y(*series), x(*series)); }

// One coordinate rounded by integer!'s round; a scale that makes it a
// float! (a float or percent unit) is truncated back to an integer.
int32_t round_coordinate(int32_t c, const Cell* scale, const RoundFlags& flags) {
    Cell v = unset_cell;
    integer::make_at(v, c);
    integer::round(&v, scale, flags);
    return type_of(v) == TypeId::integer ? get_int(v) : integer::from_double_checked(get_double(v));
}

// A pair scale rounds x by its x and y by its y.
Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling) {
    const RoundFlags flags{even, down, half_down, floor, ceiling, half_ceiling};
    if (scale && type_of(*scale) == TypeId::money)
        error::fire(error::Id::not_related, {error::WordArg{"round"}, datatype::value(TypeId::money)});
    Cell sx = unset_cell, sy = unset_cell;
    const Cell* scale_x = scale;
    const Cell* scale_y = scale;
    if (scale && type_of(*scale) == TypeId::pair) {
        scale_x = integer::make_at(sx, x(*scale));
        scale_y = integer::make_at(sy, y(*scale));
    }
    const int32_t rx = round_coordinate(x(*value), scale_x, flags);
    const int32_t ry = round_coordinate(y(*value), scale_y, flags);
    return make_at(*value, rx, ry);
}

// /seed: the generator is seeded with x xor y and the value becomes unset;
// otherwise each coordinate other than 0 becomes a random integer up to it.
Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(x(*value) ^ y(*value));
        set_header(*value, TypeId::unset);
        return value;
    }
    const int32_t rx = x(*value) != 0 ? random_draw::below(x(*value), secure) : 0;
    const int32_t ry = y(*value) != 0 ? random_draw::below(y(*value), secure) : 0;
    return make_at(*value, rx, ry);
}

const Cell* pick(Cell* series, Cell* index_cell, int32_t) {
    const int axis = axis_of(*index_cell);
    if (axis <= 0) bad_index(*index_cell, nullptr);
    return integer::make_at(*series, axis == 1 ? x(*series) : y(*series));
}

// p/x reads a coordinate; p/x: n stores the integer n in the pair cell,
// which the path walk writes back where the pair lives.
Cell* eval_path(const actions::EvalPathArgs& args) {
    Cell* p = args.parent;
    const int axis = axis_of(*args.element);
    if (axis <= 0) bad_index(*args.element, args.path);
    if (!args.value) return integer::make_at(*p, axis == 1 ? x(*p) : y(*p));
    if (type_of(*args.value) != TypeId::integer)
        error::fire(error::Id::invalid_type, {datatype::value(type_of(*args.value))});
    if (axis == 1) p->w2 = args.value->w2;
    else p->w3 = args.value->w2;
    return args.value;
}

// By x, then by y; against a point2D! as the point the pair makes.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
    const TypeId t2 = type_of(*value2);
    if (t2 == TypeId::point2d) {
        op = fold_equality(op);
        if (op == CompareOp::strict_equal || op == CompareOp::same || op == CompareOp::find_key) return 1;
        Cell p = *value1;
        to_point2d(p);
        return point::compare(&p, value2, op);
    }
    if (t2 != TypeId::pair) return -2;
    const int64_t a = x(*value1), b = x(*value2);
    if (a != b) return a < b ? -1 : 1;
    const int64_t c = y(*value1), d = y(*value2);
    return (c > d) - (c < d);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    limit = text_buffer::put(*buffer, integer::form_signed(x(*value)).view(), limit);
    limit = text_buffer::put(*buffer, "x", limit);
    return text_buffer::put(*buffer, integer::form_signed(y(*value)).view(), limit);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

[[noreturn]] void bad_to_arg(const Cell& spec) {
    error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::pair), spec});
}

// A block item: an integer, or a float truncated.
int32_t block_coordinate(const Cell& item, const Cell& spec) {
    if (type_of(item) == TypeId::integer) return get_int(item);
    if (type_of(item) != TypeId::float_) error::fire(error::Id::malconstruct, {spec});
    return truncated(item);
}

// make and to: a pair, an integer (n x n), a float (truncated), a block of
// two numbers, a text holding a pair, or a point2D! whose coordinates fit.
const Cell* make(Cell* prototype, Cell* spec, TypeId) {
    int32_t px, py;
    switch (type_of(*spec)) {
        case TypeId::pair: return spec;
        case TypeId::integer: px = py = get_int(*spec); break;
        case TypeId::float_: px = py = truncated(*spec); break;
        case TypeId::block: case TypeId::paren: case TypeId::hash: {
            if (series_tail::cell_count(*spec) < 2) error::fire(error::Id::malconstruct, {*spec});
            px = block_coordinate(*series_tail::cell_at(*spec, 0), *spec);
            py = block_coordinate(*series_tail::cell_at(*spec, 1), *spec);
            break;
        }
        case TypeId::string: case TypeId::file: case TypeId::url:
        case TypeId::tag: case TypeId::email: case TypeId::ref: {
            Cell loaded;
            if (!text_loader::load_one(*spec, loaded) || type_of(loaded) != TypeId::pair) bad_to_arg(*spec);
            *prototype = loaded;
            return prototype;
        }
        case TypeId::point2d: {
            const double fx = std::trunc(double(point::coordinate(*spec, 0)));
            const double fy = std::trunc(double(point::coordinate(*spec, 1)));
            if (integer::float_out_of_range(fx) || integer::float_out_of_range(fy))
                error::fire(error::Id::invalid_arg, {*spec});
            px = static_cast<int32_t>(fx);
            py = static_cast<int32_t>(fy);
            break;
        }
        default: bad_to_arg(*spec);
    }
    set_header(*prototype, TypeId::pair);
    return make_at(*prototype, px, py);
}

}  // namespace

// ---- registration

namespace {

// Pairs hash by their two numbers.
uint32_t hash_pair_key(const Cell& key) {
    return hashtable::hash_cell_words(key, 2, 3);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::to>(make).own<Action::random>(random);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::eval_path>(eval_path);
    row.own<Action::compare>(compare).own<Action::absolute>(absolute).own<Action::negate>(negate_action);
    row.own<Action::round>(round);
    datatype::own_arithmetic<do_math>(row);
    datatype::own_bitwise<do_math>(row);
    row.own<Action::pick>(pick).own<Action::reverse>(reverse);
    row.hash(&hash_pair_key);
    datatype::register_type(TypeId::pair, TypeId::none_id, row);
}

}  // namespace qor::pair
