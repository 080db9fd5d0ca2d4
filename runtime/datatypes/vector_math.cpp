// vector!: element-wise math. A vector with a scalar changes in place (the
// scalar may stand on either side: `v - 10` and `10 - v`); a vector with a
// vector makes a new vector as long as the shorter one, with the larger
// element size.
//
// Integer elements wrap: an add, subtract or multiply that leaves 32 bits
// keeps the low 32 bits, and the low 1, 2 or 4 bytes are stored back.
// Division by zero and the one overflowing quotient raise the integer
// math errors; they are checked before any element changes, so a failing
// operation leaves the vector as it was. Float elements follow IEEE.
#include <cmath>
#include <cstring>
#include <limits>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/vector.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"

namespace qor::vector_type {

namespace {

constexpr int32_t int_min = std::numeric_limits<int32_t>::min();

// ---- one pair of integers

[[noreturn]] void zero_divide() { error::fire(error::Id::zero_divide); }
[[noreturn]] void overflow() { error::fire(error::Id::overflow); }

// a op b in 32 bits; add, subtract and multiply wrap. The divisor checks
// are the caller's.
[[nodiscard]] inline int32_t wrapped(int32_t a, int32_t b, MathOp op) {
    const uint32_t x = static_cast<uint32_t>(a), y = static_cast<uint32_t>(b);
    switch (op) {
        case MathOp::add: return static_cast<int32_t>(x + y);
        case MathOp::subtract: return static_cast<int32_t>(x - y);
        case MathOp::multiply: return static_cast<int32_t>(x * y);
        case MathOp::divide: return a / b;
        case MathOp::remainder: return a % b;
        case MathOp::or_: return a | b;
        case MathOp::and_: return a & b;
        default: return a ^ b;
    }
}

[[nodiscard]] constexpr bool divides(MathOp op) { return op == MathOp::divide || op == MathOp::remainder; }

// The divisor checks of one pair.
void check_divisor(int32_t a, int32_t b, MathOp op) {
    if (!divides(op)) return;
    if (b == 0) zero_divide();
    if (a == int_min && b == -1) overflow();
}

// ---- loops over the elements of one unit

template <typename T>
[[nodiscard]] inline int32_t load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return static_cast<int32_t>(v);
}

template <typename T>
inline void store(uint8_t* p, int32_t v) {
    const T t = static_cast<T>(v);
    std::memcpy(p, &t, sizeof(T));
}

// Every element e of n at p becomes f(e), read and stored as T.
template <typename T, typename F>
void each_int(uint8_t* p, uint32_t n, F f) {
    for (uint32_t i = 0; i < n; i++) store<T>(p + size_t{i} * sizeof(T), f(load<T>(p + size_t{i} * sizeof(T))));
}

template <typename T>
void int_scalar_loop(uint8_t* p, uint32_t n, int32_t s, MathOp op, bool scalar_first) {
    switch (op) {
        case MathOp::add: each_int<T>(p, n, [s](int32_t e) { return wrapped(e, s, MathOp::add); }); return;
        case MathOp::multiply: each_int<T>(p, n, [s](int32_t e) { return wrapped(e, s, MathOp::multiply); }); return;
        case MathOp::or_: each_int<T>(p, n, [s](int32_t e) { return e | s; }); return;
        case MathOp::and_: each_int<T>(p, n, [s](int32_t e) { return e & s; }); return;
        case MathOp::xor_: each_int<T>(p, n, [s](int32_t e) { return e ^ s; }); return;
        default: break;
    }
    if (op == MathOp::subtract) {
        if (scalar_first) each_int<T>(p, n, [s](int32_t e) { return wrapped(s, e, MathOp::subtract); });
        else each_int<T>(p, n, [s](int32_t e) { return wrapped(e, s, MathOp::subtract); });
    } else if (scalar_first) {
        each_int<T>(p, n, [s, op](int32_t e) { return wrapped(s, e, op); });
    } else {
        each_int<T>(p, n, [s, op](int32_t e) { return wrapped(e, s, op); });
    }
}

// The divisor checks of a whole scalar operation, made before anything
// changes.
template <typename T>
void check_scalar_divisors(const uint8_t* p, uint32_t n, int32_t s, MathOp op, bool scalar_first) {
    if (!divides(op)) return;
    if (!scalar_first) {
        if (s == 0) zero_divide();
        if (s != -1) return;
    }
    for (uint32_t i = 0; i < n; i++) {
        const int32_t e = load<T>(p + size_t{i} * sizeof(T));
        if (scalar_first) check_divisor(s, e, op);
        else check_divisor(e, s, op);
    }
}

template <typename T>
void int_scalar(uint8_t* p, uint32_t n, int32_t s, MathOp op, bool scalar_first) {
    check_scalar_divisors<T>(p, n, s, op, scalar_first);
    int_scalar_loop<T>(p, n, s, op, scalar_first);
}

template <typename T>
void float_scalar(uint8_t* p, uint32_t n, double s, MathOp op, bool scalar_first) {
    auto each = [p, n](auto f) {
        for (uint32_t i = 0; i < n; i++) {
            T v;
            std::memcpy(&v, p + size_t{i} * sizeof(T), sizeof(T));
            const T r = static_cast<T>(f(static_cast<double>(v)));
            std::memcpy(p + size_t{i} * sizeof(T), &r, sizeof(T));
        }
    };
    switch (op) {
        case MathOp::add: each([s](double e) { return e + s; }); return;
        case MathOp::multiply: each([s](double e) { return e * s; }); return;
        case MathOp::subtract:
            if (scalar_first) each([s](double e) { return s - e; });
            else each([s](double e) { return e - s; });
            return;
        case MathOp::divide:
            if (scalar_first) each([s](double e) { return s / e; });
            else each([s](double e) { return e / s; });
            return;
        default:
            if (scalar_first) each([s, op](double e) { return float_::apply_op(s, e, op); });
            else each([s, op](double e) { return float_::apply_op(e, s, op); });
    }
}

// ---- the scalar

[[noreturn]] void not_done() { error::fire(error::Id::not_done); }

// The scalar of an integer-element operation: integers and chars as they
// are, floats and percents truncated toward zero.
int32_t int_scalar_of(const Cell& s) {
    switch (type_of(s)) {
        case TypeId::integer:
        case TypeId::char_: return get_int(s);
        case TypeId::float_:
        case TypeId::percent: return integer::from_double_checked(get_double(s));
        default: not_done();
    }
}

double float_scalar_of(const Cell& s) {
    switch (type_of(s)) {
        case TypeId::integer:
        case TypeId::char_: return get_int(s);
        case TypeId::float_:
        case TypeId::percent: return get_double(s);
        default: not_done();
    }
}

// The vector in place: each element from the position combined with the
// scalar.
void with_scalar(MathOp op, const Cell& v, const Cell& scalar, bool scalar_first) {
    series::Buffer* b = series::buffer(v.w2);
    const uint32_t length = b->length();
    const uint32_t n = v.w1 < length ? length - v.w1 : 0;
    uint8_t* p = b->at(std::min(v.w1, length));
    const uint32_t unit = b->unit();
    if (is_float_kind(element_type(v))) {
        const double s = float_scalar_of(scalar);
        if (op >= MathOp::or_) (void)float_::apply_op(0.0, s, op);  // raises cannot-use
        // Adding 0 or multiplying by 1 changes nothing.
        if (!scalar_first && (((op == MathOp::add || op == MathOp::subtract) && s == 0.0) ||
                              ((op == MathOp::multiply || op == MathOp::divide) && s == 1.0)))
            return;
        if (unit == 4) float_scalar<float>(p, n, s, op, scalar_first);
        else float_scalar<double>(p, n, s, op, scalar_first);
        return;
    }
    const int32_t s = int_scalar_of(scalar);
    if (!scalar_first && (((op == MathOp::add || op == MathOp::subtract) && s == 0) ||
                          ((op == MathOp::multiply || op == MathOp::divide) && s == 1)))
        return;
    if (element_type(v) == TypeId::char_ && unit < 4) {
        // char! elements read unsigned, as everywhere else.
        if (unit == 1) int_scalar<uint8_t>(p, n, s, op, scalar_first);
        else int_scalar<uint16_t>(p, n, s, op, scalar_first);
    } else if (unit == 1) {
        int_scalar<int8_t>(p, n, s, op, scalar_first);
    } else if (unit == 2) {
        int_scalar<int16_t>(p, n, s, op, scalar_first);
    } else {
        int_scalar<int32_t>(p, n, s, op, scalar_first);
    }
}

// ---- vector with vector

// r[i] = f(a[i], b[i]) over n elements read and stored as T.
template <typename T, typename F>
void each_pair(const uint8_t* a, const uint8_t* b, uint8_t* r, uint32_t n, F f) {
    for (uint32_t i = 0; i < n; i++) {
        T x, y;
        std::memcpy(&x, a + size_t{i} * sizeof(T), sizeof(T));
        std::memcpy(&y, b + size_t{i} * sizeof(T), sizeof(T));
        const T z = f(x, y);
        std::memcpy(r + size_t{i} * sizeof(T), &z, sizeof(T));
    }
}

template <typename T>
void int_pairs(MathOp op, const uint8_t* a, const uint8_t* b, uint8_t* r, uint32_t n) {
    if (divides(op))
        for (uint32_t i = 0; i < n; i++) check_divisor(load<T>(a + size_t{i} * sizeof(T)), load<T>(b + size_t{i} * sizeof(T)), op);
    switch (op) {
        case MathOp::add: each_pair<T>(a, b, r, n, [](T x, T y) { return T(wrapped(x, y, MathOp::add)); }); return;
        case MathOp::subtract: each_pair<T>(a, b, r, n, [](T x, T y) { return T(wrapped(x, y, MathOp::subtract)); }); return;
        case MathOp::multiply: each_pair<T>(a, b, r, n, [](T x, T y) { return T(wrapped(x, y, MathOp::multiply)); }); return;
        default: each_pair<T>(a, b, r, n, [op](T x, T y) { return T(wrapped(x, y, op)); }); return;
    }
}

template <typename T>
void float_pairs(MathOp op, const uint8_t* a, const uint8_t* b, uint8_t* r, uint32_t n) {
    switch (op) {
        case MathOp::add: each_pair<T>(a, b, r, n, [](T x, T y) { return T(double(x) + double(y)); }); return;
        case MathOp::subtract: each_pair<T>(a, b, r, n, [](T x, T y) { return T(double(x) - double(y)); }); return;
        case MathOp::multiply: each_pair<T>(a, b, r, n, [](T x, T y) { return T(double(x) * double(y)); }); return;
        case MathOp::divide: each_pair<T>(a, b, r, n, [](T x, T y) { return T(double(x) / double(y)); }); return;
        default: each_pair<T>(a, b, r, n, [op](T x, T y) { return T(float_::apply_op(x, y, op)); }); return;
    }
}

// Both operands and the result of one element size: one typed loop.
void same_unit(MathOp op, TypeId element, uint32_t unit, const uint8_t* a, const uint8_t* b, uint8_t* r, uint32_t n) {
    if (is_float_kind(element)) {
        if (unit == 4) float_pairs<float>(op, a, b, r, n);
        else float_pairs<double>(op, a, b, r, n);
    } else if (element == TypeId::char_) {
        // char! elements read unsigned, as everywhere else.
        if (unit == 1) int_pairs<uint8_t>(op, a, b, r, n);
        else if (unit == 2) int_pairs<uint16_t>(op, a, b, r, n);
        else int_pairs<int32_t>(op, a, b, r, n);
    } else {
        if (unit == 1) int_pairs<int8_t>(op, a, b, r, n);
        else if (unit == 2) int_pairs<int16_t>(op, a, b, r, n);
        else int_pairs<int32_t>(op, a, b, r, n);
    }
}

// A new vector in `out`: element i is a[i] op b[i], min(len a, len b) of
// them, in the larger element size.
void with_vector(MathOp op, const Cell& a, const Cell& b, Cell& out) {
    if (element_type(a) != element_type(b)) error::fire(error::Id::not_same_type);
    const TypeId element = element_type(a);
    auto length_from = [](const Cell& v) {
        const uint32_t n = series::buffer(v.w2)->length();
        return v.w1 < n ? n - v.w1 : 0u;
    };
    const uint32_t n = std::min(length_from(a), length_from(b));
    const uint32_t unit = std::max(series::buffer(a.w2)->unit(), series::buffer(b.w2)->unit());
    if (is_float_kind(element) && op >= MathOp::or_) (void)float_::apply_op(0.0, 0.0, op);  // raises cannot-use
    make_at(out, n, element, unit);
    // Buffers are reached again after the allocation, which may have moved them.
    const series::Buffer* ba = series::buffer(a.w2);
    const series::Buffer* bb = series::buffer(b.w2);
    series::Buffer* r = series::buffer(out.w2);
    const uint32_t ua = ba->unit(), ub = bb->unit();
    const uint8_t* pa = ba->at(a.w1);
    const uint8_t* pb = bb->at(b.w1);
    uint8_t* pr = r->data();
    if (ua == ub && ua == unit) {
        same_unit(op, element, unit, pa, pb, pr, n);
    } else if (is_float_kind(element)) {
        for (uint32_t i = 0; i < n; i++) {
            const double x = read_float(pa + size_t{i} * ua, ua), y = read_float(pb + size_t{i} * ub, ub);
            const double z = float_::apply_op(x, y, op);
            if (unit == 4) {
                const float f = static_cast<float>(z);
                std::memcpy(pr + size_t{i} * 4, &f, 4);
            } else {
                std::memcpy(pr + size_t{i} * 8, &z, 8);
            }
        }
    } else {
        for (uint32_t i = 0; i < n; i++) {
            const int32_t x = read_int(pa + size_t{i} * ua, ua, element);
            const int32_t y = read_int(pb + size_t{i} * ub, ub, element);
            check_divisor(x, y, op);
            const int32_t z = wrapped(x, y, op);
            if (unit == 1) store<int8_t>(pr + i, z);
            else if (unit == 2) store<int16_t>(pr + size_t{i} * 2, z);
            else store<int32_t>(pr + size_t{i} * 4, z);
        }
    }
    r->set_tail_units(n);
}

}  // namespace

Cell* do_math(MathOp op) {
    Cell* v = stack::arg(0);
    const Cell* other = stack::arg(1);
    if (type_of(*other) == TypeId::vector) {
        Cell* fresh = stack::push(unset_cell);
        with_vector(op, *v, *other, *fresh);
        *v = *fresh;
        stack::pop();
        return v;
    }
    with_scalar(op, *v, *other, false);
    return v;
}

Cell* do_math_scalar_first(MathOp op) {
    Cell* scalar = stack::arg(0);
    const Cell* v = stack::arg(1);
    with_scalar(op, *v, *scalar, true);
    *scalar = *v;
    return scalar;
}

}  // namespace qor::vector_type
