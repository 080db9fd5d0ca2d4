// point2D! and point3D!: two or three 32-bit float coordinates. The two
// types share every routine; the number of axes comes from the value's type.
#include "runtime/datatypes/point.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/math_actions.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/random.h"
#include "runtime/hash/murmur3.h"
#include "runtime/datatypes/text_loader.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/symbol.h"

namespace qor::point {

namespace {

// A double rounded to single precision. Beyond the largest single (and
// the half unit above it that still rounds down to it) the result is an
// infinity, as IEEE rounding gives, without the undefined conversion.
float to_single(double d) {
    constexpr double rounds_to_max = double(FLT_MAX) + 0x1p103;
    constexpr float infinity = std::numeric_limits<float>::infinity();
    if (std::fabs(d) >= rounds_to_max) return d > 0 ? infinity : -infinity;
    return static_cast<float>(d);
}

// A number operand as a single: an integer converted, a float or percent
// rounded.
float single_of(const Cell& v) {
    return type_of(v) == TypeId::integer ? static_cast<float>(get_int(v)) : to_single(get_double(v));
}

// The axis an integer or word names (0-based), or -1.
int axis_of(const Cell& element, int n) {
    switch (type_of(element)) {
        case TypeId::integer: {
            const int32_t i = get_int(element);
            return i >= 1 && i <= n ? i - 1 : -1;
        }
        case TypeId::word: case TypeId::lit_word: case TypeId::get_word: case TypeId::set_word: {
            constexpr Sym axis_words[3] = {Sym::x, Sym::y, Sym::z};
            const uint32_t s = symbol::resolve_alias(element.w2);
            for (int a = 0; a < n; a++)
                if (s == symbol::resolve_alias(to_int(axis_words[a]))) return a;
            return -1;
        }
        default: return -1;
    }
}

}  // namespace

// ---- helpers

Cell* make2d_at(Cell& cell, float x, float y) {
    set_type_keep_flags(cell, TypeId::point2d);
    set_coordinate(cell, 0, x);
    set_coordinate(cell, 1, y);
    cell.w3 = 0;
    return &cell;
}

Cell* make3d_at(Cell& cell, float x, float y, float z) {
    set_type_keep_flags(cell, TypeId::point3d);
    set_coordinate(cell, 0, x);
    set_coordinate(cell, 1, y);
    set_coordinate(cell, 2, z);
    return &cell;
}

Cell* do_math(MathOp op) {
    Cell* left = stack::arg(0);
    const Cell right = *stack::arg(1);
    const TypeId t = type_of(*left), rt = type_of(right);
    const int n = axes(t);
    float operand[3];
    switch (rt) {
        case TypeId::integer:
        case TypeId::float_:
        case TypeId::percent: {
            const float f = single_of(right);
            if (rt != TypeId::integer && (op == MathOp::multiply || op == MathOp::divide)) {
                // Scaling stays in single precision.
                for (int a = 0; a < n; a++) {
                    const float c = coordinate(*left, a);
                    set_coordinate(*left, a, op == MathOp::multiply ? c * f : c / f);
                }
                return left;
            }
            for (float& o : operand) o = f;
            break;
        }
        case TypeId::pair:
            if (t != TypeId::point2d) error::fire(error::Id::invalid_type, {datatype::value(rt)});
            operand[0] = static_cast<float>(get_int(right));
            operand[1] = static_cast<float>(static_cast<int32_t>(right.w3));
            break;
        default:
            if (rt != t) error::fire(error::Id::invalid_type, {datatype::value(rt)});
            for (int a = 0; a < n; a++) operand[a] = coordinate(right, a);
            break;
    }
    for (int a = 0; a < n; a++)
        set_coordinate(*left, a, to_single(float_::apply_op(coordinate(*left, a), operand[a], op)));
    return left;
}

Cell* negate(Cell& point) {
    for (int a = 0; a < axes(type_of(point)); a++) set_coordinate(point, a, 0.0f - coordinate(point, a));
    return &point;
}

// The sign of a difference; 0 for none and for a NaN.
static int32_t sign_of(float d) { return (d > 0.0f) - (d < 0.0f); }

// A pair compares with a point2D! as the point it makes.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
    op = fold_equality(op);
    const TypeId t = type_of(*value1);
    Cell other = *value2;
    if (type_of(other) == TypeId::pair && t == TypeId::point2d &&
        op != CompareOp::strict_equal && op != CompareOp::same && op != CompareOp::find_key)
        make2d_at(other, static_cast<float>(get_int(other)), static_cast<float>(static_cast<int32_t>(other.w3)));
    if (type_of(other) != t) return op == CompareOp::strict_equal || op == CompareOp::find_key ? 1 : -2;
    const int n = axes(t);
    switch (op) {
        case CompareOp::equal:
        case CompareOp::not_equal:
            for (int a = 0; a < n; a++)
                if (!float_::almost_equal32(coordinate(*value1, a), coordinate(other, a))) return 1;
            return 0;
        case CompareOp::strict_equal:
        case CompareOp::find_key:
            for (int a = 0; a < n; a++)
                if (!(coordinate(*value1, a) == coordinate(other, a))) return 1;
            return 0;
        case CompareOp::same:
            return std::memcmp(&value1->w1, &other.w1, sizeof(float) * static_cast<size_t>(n)) == 0 ? 0 : 1;
        default: {
            // Lexicographic: an axis whose difference is almost 0.0 passes
            // the decision to the next one.
            for (int a = 0; a + 1 < n; a++) {
                const float d = coordinate(*value1, a) - coordinate(other, a);
                if (!float_::almost_equal32(d, 0.0f)) return sign_of(d);
            }
            return sign_of(coordinate(*value1, n - 1) - coordinate(other, n - 1));
        }
    }
}

// ---- actions

namespace {

Cell* absolute() {
    Cell* v = stack::result();
    for (int a = 0; a < axes(type_of(*v)); a++) set_coordinate(*v, a, std::fabs(coordinate(*v, a)));
    return v;
}

Cell* negate_action() { return negate(*stack::result()); }

// point2D! swaps x and y, point3D! x and z.
const Cell* reverse(Cell* series, const Cell*, const Cell*) {
    const int last = axes(type_of(*series)) - 1;
    const float first = coordinate(*series, 0);
    set_coordinate(*series, 0, coordinate(*series, last));
    set_coordinate(*series, last, first);
    return series;
}

// One coordinate rounded by float!'s round with the scale and flags; an
// integer scale makes float! answer an integer!, taken back as a float.
float round_coordinate(float c, const Cell* scale, const RoundFlags& flags) {
    Cell v = unset_cell;
    float_::make_at(v, c);
    float_::round(&v, scale, flags);
    return type_of(v) == TypeId::integer ? static_cast<float>(get_int(v)) : to_single(get_double(v));
}

// A pair or point scale rounds each axis by its own component (a point2D!
// scale of a point3D! leaves z a scale of 0.0, which keeps it as it is);
// any other scale is float!'s, for every axis.
Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling) {
    const RoundFlags flags{even, down, half_down, floor, ceiling, half_ceiling};
    const TypeId t = type_of(*value);
    const int n = axes(t);
    const TypeId st = scale ? type_of(*scale) : TypeId::none_id;
    if (st == TypeId::money)
        error::fire(error::Id::not_related, {error::WordArg{"round"}, datatype::value(TypeId::money)});
    const bool per_axis = st == TypeId::point2d || st == TypeId::point3d || (st == TypeId::pair && t == TypeId::point2d);
    for (int a = 0; a < n; a++) {
        Cell axis_scale = unset_cell;
        const Cell* s = scale;
        if (per_axis) {
            if (st == TypeId::pair) integer::make_at(axis_scale, static_cast<int32_t>(a == 0 ? scale->w2 : scale->w3));
            else float_::make_at(axis_scale, a < axes(st) ? coordinate(*scale, a) : 0.0);
            s = &axis_scale;
        }
        set_coordinate(*value, a, round_coordinate(coordinate(*value, a), s, flags));
    }
    return value;
}

// /seed: the generator is seeded with the hash of the coordinates' bytes
// and the value becomes unset; otherwise every coordinate other than 0
// becomes a random float below it.
Cell* random(Cell* value, bool seed, bool secure, bool) {
    const int n = axes(type_of(*value));
    if (seed) {
        random::seed(static_cast<int32_t>(hash::murmur3(&value->w1, sizeof(float) * static_cast<size_t>(n))));
        set_header(*value, TypeId::unset);
        return value;
    }
    for (int a = 0; a < n; a++) {
        const float c = coordinate(*value, a);
        if (c != 0.0f) set_coordinate(*value, a, to_single(float_::float_below(c, secure)));
    }
    return value;
}

const Cell* pick(Cell* series, Cell* index_cell, int32_t) {
    const int a = axis_of(*index_cell, axes(type_of(*series)));
    if (a < 0) error::fire(error::Id::out_of_range, {*index_cell});
    return float_::make_at(*series, coordinate(*series, a));
}

// p/x reads a coordinate as a float!; p/x: v stores v (an integer! or
// float!) in the point cell, which the path walk writes back where the
// point lives.
Cell* eval_path(const actions::EvalPathArgs& args) {
    Cell* point = args.parent;
    const int a = axis_of(*args.element, axes(type_of(*point)));
    if (a < 0) error::fire(error::Id::invalid_path, {args.path ? *args.path : *args.element, *args.element});
    if (!args.value) return float_::make_at(*point, coordinate(*point, a));
    const TypeId vt = type_of(*args.value);
    if (vt != TypeId::integer && vt != TypeId::float_) error::fire(error::Id::invalid_type, {datatype::value(vt)});
    set_coordinate(*point, a, single_of(*args.value));
    return args.value;
}

// "(x, y)": each coordinate with seven significant digits, no ".0".
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    limit = text_buffer::put(*buffer, "(", limit);
    for (int a = 0; a < axes(type_of(*value)); a++) {
        if (a > 0) limit = text_buffer::put(*buffer, ", ", limit);
        const float_text::Text t = float_::form_by_kind(coordinate(*value, a), float_::Kind::coordinate);
        limit = text_buffer::put(*buffer, t.view(), limit);
    }
    return text_buffer::put(*buffer, ")", limit);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

[[noreturn]] void bad_to_arg(TypeId type, const Cell& spec) {
    error::fire(error::Id::bad_to_arg, {datatype::value(type), spec});
}

// make and to: a block of at least two (three) numbers, a text holding a
// point of the type, a number for every axis, a pair, or a point2D! for a
// point3D! (z 0).
const Cell* make(Cell* prototype, Cell* spec, TypeId type) {
    const int n = axes(type);
    float c[3] = {0.0f, 0.0f, 0.0f};
    switch (type_of(*spec)) {
        case TypeId::block: case TypeId::paren: case TypeId::hash: {
            if (series_tail::cell_count(*spec) < static_cast<uint32_t>(n))
                error::fire(error::Id::malconstruct, {*spec});
            for (int a = 0; a < n; a++) {
                const Cell item = *series_tail::cell_at(*spec, static_cast<uint32_t>(a));
                if (type_of(item) != TypeId::integer && type_of(item) != TypeId::float_)
                    error::fire(error::Id::malconstruct, {*spec});
                c[a] = single_of(item);
            }
            break;
        }
        case TypeId::string: case TypeId::file: case TypeId::url:
        case TypeId::tag: case TypeId::email: case TypeId::ref: {
            Cell loaded;
            if (!text_loader::load_one(*spec, loaded) || type_of(loaded) != type) bad_to_arg(type, *spec);
            *prototype = loaded;
            return prototype;
        }
        case TypeId::integer:
        case TypeId::float_:
            c[0] = c[1] = c[2] = single_of(*spec);
            break;
        case TypeId::pair:
            c[0] = static_cast<float>(get_int(*spec));
            c[1] = static_cast<float>(static_cast<int32_t>(spec->w3));
            break;
        case TypeId::point2d:
            c[0] = coordinate(*spec, 0);
            c[1] = coordinate(*spec, 1);
            break;
        case TypeId::point3d:
            if (type != TypeId::point3d) bad_to_arg(type, *spec);
            return spec;
        default: bad_to_arg(type, *spec);
    }
    set_header(*prototype, type);
    return n == 3 ? make3d_at(*prototype, c[0], c[1], c[2]) : make2d_at(*prototype, c[0], c[1]);
}

}  // namespace

// ---- registration

namespace {

// Points hash by their two or three numbers.
uint32_t hash_point2d_key(const Cell& key) { return hashtable::hash_cell_words(key, 1, 2); }
uint32_t hash_point3d_key(const Cell& key) { return hashtable::hash_cell_words(key, 1, 3); }

}  // namespace

void init() {
    for (TypeId t : {TypeId::point2d, TypeId::point3d}) {
        datatype::ActionRow row;
        row.own<Action::make>(make).own<Action::to>(make).own<Action::random>(random);
        row.own<Action::form>(form).own<Action::mold>(mold).own<Action::eval_path>(eval_path);
        row.own<Action::compare>(compare).own<Action::absolute>(absolute).own<Action::negate>(negate_action);
        row.own<Action::round>(round);
        datatype::own_arithmetic<do_math>(row);
        row.own<Action::pick>(pick).own<Action::reverse>(reverse);
        row.hash(t == TypeId::point2d ? &hash_point2d_key : &hash_point3d_key);
        datatype::register_type(t, TypeId::none_id, row);
    }
}

}  // namespace qor::point
