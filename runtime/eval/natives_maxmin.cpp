// The max and min natives: the larger or smaller of two values. Pairs,
// points and tuples combine component by component, also against a number
// (max 1x5 3 is 3x5); everything else is decided by the lesser? comparison
// and one of the two operands answers unchanged, so mixed integer! and
// float! operands keep their own datatype.
#include <algorithm>
#include <cmath>
#include <utility>

#include "runtime/core/compare_ops.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/actions.h"
#include "runtime/eval/natives_impl.h"

namespace qor::natives::impl {

namespace {

bool is_number(TypeId t) { return t == TypeId::integer || t == TypeId::float_ || t == TypeId::percent; }

// A float! or percent! holding a NaN.
bool is_nan(const Cell& v) {
    const TypeId t = type_of(v);
    return (t == TypeId::float_ || t == TypeId::percent) && std::isnan(get_double(v));
}

bool is_composite(TypeId t) {
    return t == TypeId::pair || t == TypeId::point2d || t == TypeId::point3d || t == TypeId::tuple;
}

template <bool max, typename T>
T pick_of(T a, T b) {
    return max ? std::max(a, b) : std::min(a, b);
}

// Coordinates: the other side's when it is larger (smaller), or a NaN.
template <bool max>
float pick_coordinate(float own, float other) {
    return std::isnan(other) || (max ? other > own : other < own) ? other : own;
}

// A point against a number, a pair (point2D! only) or a point of its type:
// coordinate by coordinate. False when the operand is none of those.
template <bool max>
bool point_max_min(Cell& p, const Cell& other) {
    const TypeId t = type_of(p), ot = type_of(other);
    const int n = point::axes(t);
    float o[3];
    if (ot == TypeId::integer) std::fill(o, o + 3, static_cast<float>(get_int(other)));
    else if (ot == TypeId::float_) std::fill(o, o + 3, static_cast<float>(get_double(other)));
    else if (ot == TypeId::pair && t == TypeId::point2d) {
        o[0] = static_cast<float>(pair::x(other));
        o[1] = static_cast<float>(pair::y(other));
    } else if (ot == t) {
        for (int a = 0; a < n; a++) o[a] = point::coordinate(other, a);
    } else {
        return false;
    }
    for (int a = 0; a < n; a++) point::set_coordinate(p, a, pick_coordinate<max>(point::coordinate(p, a), o[a]));
    return true;
}

// A pair against a number, a pair or a point2D!: coordinate by coordinate;
// a float beyond the integers (or a point) turns the pair into a point.
template <bool max>
bool pair_max_min(Cell& p, const Cell& other) {
    switch (type_of(other)) {
        case TypeId::integer:
        case TypeId::float_: {
            int32_t n = 0;
            if (type_of(other) == TypeId::integer) {
                n = get_int(other);
            } else {
                const double t = std::trunc(get_double(other));
                if (integer::float_out_of_range(t)) {
                    pair::to_point2d(p);
                    return point_max_min<max>(p, other);
                }
                n = static_cast<int32_t>(t);
            }
            pair::make_at(p, pick_of<max>(pair::x(p), n), pick_of<max>(pair::y(p), n));
            return true;
        }
        case TypeId::pair:
            pair::make_at(p, pick_of<max>(pair::x(p), pair::x(other)), pick_of<max>(pair::y(p), pair::y(other)));
            return true;
        case TypeId::point2d:
            pair::to_point2d(p);
            return point_max_min<max>(p, other);
        default: return false;
    }
}

// A tuple against a number (truncated and clamped to 0-255) or a tuple of
// the same length: byte by byte.
template <bool max>
bool tuple_max_min(Cell& t, const Cell& other) {
    const uint32_t n = tuple::length_of(t);
    tuple::Bytes a = tuple::bytes_of(t);
    switch (type_of(other)) {
        case TypeId::integer:
        case TypeId::float_: {
            int32_t v;
            if (type_of(other) == TypeId::integer) {
                v = get_int(other);
            } else {
                const double d = std::trunc(get_double(other));
                if (integer::float_out_of_range(d))
                    error::fire(error::Id::type_limit, {datatype::value(TypeId::integer)});
                v = static_cast<int32_t>(d);
            }
            const auto b = static_cast<uint8_t>(std::clamp(v, 0, 255));
            for (uint32_t i = 0; i < n; i++) a[i] = pick_of<max>(a[i], b);
            break;
        }
        case TypeId::tuple: {
            if (tuple::length_of(other) != n) return false;
            const tuple::Bytes b = tuple::bytes_of(other);
            for (uint32_t i = 0; i < n; i++) a[i] = pick_of<max>(a[i], b[i]);
            break;
        }
        default: return false;
    }
    tuple::make_at(t, {a.data(), n});
    return true;
}

template <bool max>
bool composite_max_min(Cell& first, const Cell& second) {
    switch (type_of(first)) {
        case TypeId::pair: return pair_max_min<max>(first, second);
        case TypeId::point2d:
        case TypeId::point3d: return point_max_min<max>(first, second);
        case TypeId::tuple: return tuple_max_min<max>(first, second);
        default: return false;
    }
}

// A NaN against a number wins in either place: no ordering test could
// prefer the number, and losing the NaN would hide a failed computation.
template <bool max>
void n_max_min(bool, std::span<const int32_t>) {
    Cell* first = arg(0);
    Cell* second = arg(1);
    if (is_nan(*first) && is_number(type_of(*second))) return;
    if (is_nan(*second) && is_number(type_of(*first))) {
        *first = *second;
        return;
    }
    // The composite goes first and answers, changed.
    const TypeId t1 = type_of(*first);
    if (is_composite(type_of(*second)) && (t1 == TypeId::integer || t1 == TypeId::float_)) std::swap(*first, *second);
    const Cell original = *first;
    if (composite_max_min<max>(*first, *second)) return;
    *first = original;
    const bool first_less = actions::compare(*first, *second, CompareOp::lesser);
    if (first_less == max) *first = *second;
}

}  // namespace

void install_maxmin(Table& r) {
    r[Native::max] = n_max_min<true>;
    r[Native::min] = n_max_min<false>;
}

}  // namespace qor::natives::impl
