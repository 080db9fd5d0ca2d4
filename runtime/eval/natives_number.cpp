// Number natives: the sign tests, the bit shift, trigonometry in degrees or
// radians, logarithms, exp and the square root. Each works in place on its
// first argument cell.
#include <cmath>
#include <numbers>

#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/money.h"
#include "runtime/core/error_fire.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/words/word.h"

namespace qor::natives::impl {

namespace {

constexpr double pi = std::numbers::pi;

bool present(std::span<const int32_t> refinements, size_t i) { return i < refinements.size() && refinements[i] >= 0; }

// The argument as a double: an integer converted, a float or percent as it
// is (a percent keeps its double).
double as_double(const Cell& v) {
    switch (type_of(v)) {
        case TypeId::integer: return static_cast<double>(integer::get(v));
        case TypeId::float_: case TypeId::percent: case TypeId::time: return float_::get(v);
        default: return 0.0;
    }
}

[[noreturn]] void refuse(std::string_view native, const Cell& v, std::string_view arg_word) {
    error::expect_arg(word::load(native), type_of(v), word::load(arg_word));
}

// An angle in degrees reduced into the range where the function is exact at
// its special points, then turned into radians (multiplied first).
double degrees_to_radians(double x, int mode) {
    x = std::fmod(x, 360.0);
    if (x > 180.0 || x < -180.0) x += x >= 0 ? -360.0 : 360.0;
    if (x > 90.0 || x < -90.0) {
        if (mode == 0) x += x >= 0 ? -180.0 : 180.0;
        else if (mode == 2) x = x >= 0 ? 180.0 - x : -180.0 - x;
    }
    return x * pi / 180.0;
}

// -1, 0 or 1 for the numeric types; expect-arg for the others.
int sign_of(const Cell& v, std::string_view native) {
    switch (type_of(v)) {
        case TypeId::integer: {
            const int32_t i = integer::get(v);
            return i < 0 ? -1 : i > 0 ? 1 : 0;
        }
        case TypeId::float_: case TypeId::percent: case TypeId::time: {
            const double d = float_::get(v);
            return d < 0.0 ? -1 : d > 0.0 ? 1 : 0;  // a NaN is neither
        }
        case TypeId::money: return money::sign(v);
        default: refuse(native, v, "number");
    }
}

void n_negative(bool, std::span<const int32_t>) { logic::box(sign_of(*arg(0), "negative?") < 0); }
void n_positive(bool, std::span<const int32_t>) { logic::box(sign_of(*arg(0), "positive?") > 0); }
void n_sign(bool, std::span<const int32_t>) { integer::box(sign_of(*arg(0), "sign?")); }

void n_zero(bool, std::span<const int32_t>) {
    const Cell v = *arg(0);
    bool zero = false;
    switch (type_of(v)) {
        case TypeId::integer: case TypeId::char_: zero = v.w2 == 0; break;
        case TypeId::float_: case TypeId::percent: case TypeId::time: zero = float_::get(v) == 0.0; break;
        case TypeId::pair: zero = v.w2 == 0 && v.w3 == 0; break;
        case TypeId::tuple: zero = tuple::all_zero(v); break;
        case TypeId::point2d: case TypeId::point3d:
            zero = true;
            for (int a = 0; a < point::axes(type_of(v)); a++) zero = zero && point::coordinate(v, a) == 0.0f;
            break;
        case TypeId::money: zero = money::is_zero(v); break;
        default: break;
    }
    logic::box(zero);
}

void n_nan(bool, std::span<const int32_t>) {
    const Cell v = *arg(0);
    logic::box(type_of(v) != TypeId::integer && std::isnan(as_double(v)));
}

// Counts of 32 or more shift every bit out; negative counts shift nothing.
void n_shift(bool, std::span<const int32_t> refinements) {
    const int32_t data = integer::get(*arg(0));
    int32_t bits = integer::get(*arg(1));
    if (bits < 0) bits = 0;
    const uint32_t u = static_cast<uint32_t>(data);
    int32_t result;
    if (present(refinements, 0)) result = bits >= 32 ? 0 : static_cast<int32_t>(u << bits);
    else if (present(refinements, 1)) result = bits >= 32 ? 0 : static_cast<int32_t>(u >> bits);
    else result = bits >= 32 ? (data < 0 ? -1 : 0) : data >> bits;
    integer::box(result);
}

// sine and cosine: results below the machine epsilon are 0.0, so sine 180
// is exactly 0.
template <int Mode>
void n_sin_cos(bool, std::span<const int32_t> refinements) {
    double x = as_double(*arg(0));
    if (!present(refinements, 0)) x = degrees_to_radians(x, Mode);
    double r = Mode == 2 ? std::sin(x) : std::cos(x);
    if (std::fabs(r) < 2.220446049250313e-16) r = 0.0;
    float_::box(r);
}

void n_tangent(bool, std::span<const int32_t> refinements) {
    double x = as_double(*arg(0));
    if (!present(refinements, 0)) x = degrees_to_radians(x, 0);
    const double half = pi / 2.0;
    float_::box(x == half ? HUGE_VAL : x == -half ? -HUGE_VAL : std::tan(x));
}

template <double (*F)(double)>
void n_arc(bool, std::span<const int32_t> refinements) {
    double r = F(as_double(*arg(0)));
    if (!present(refinements, 0)) r = r * 180.0 / pi;
    float_::box(r);
}

void n_arctangent2(bool, std::span<const int32_t> refinements) {
    double r = std::atan2(as_double(*arg(0)), as_double(*arg(1)));
    if (!present(refinements, 0)) r = r * 180.0 / pi;
    float_::box(r);
}

double log_2(double x) { return std::log(x) / 0.6931471805599453; }
double exp_e(double x) { return std::pow(2.718281828459045, x); }
double log_10(double x) { return std::log10(x); }
double log_e(double x) { return std::log(x); }
double square_root(double x) { return std::sqrt(x); }
double arc_sine(double x) { return std::asin(x); }
double arc_cosine(double x) { return std::acos(x); }
double arc_tangent(double x) { return std::atan(x); }

// Domain errors give the function's IEEE result (NaN, -infinity).
template <double (*F)(double)>
void n_float_fn(bool, std::span<const int32_t>) {
    float_::box(F(as_double(*arg(0))));
}

}  // namespace

void install_number(Table& r) {
    r[Native::negative_q] = n_negative;
    r[Native::positive_q] = n_positive;
    r[Native::shift] = n_shift;
    r[Native::sine] = n_sin_cos<2>;
    r[Native::cosine] = n_sin_cos<1>;
    r[Native::tangent] = n_tangent;
    r[Native::arcsine] = n_arc<arc_sine>;
    r[Native::arccosine] = n_arc<arc_cosine>;
    r[Native::arctangent] = n_arc<arc_tangent>;
    r[Native::arctangent2] = n_arctangent2;
    r[Native::nan_q] = n_nan;
    r[Native::log_2] = n_float_fn<log_2>;
    r[Native::log_10] = n_float_fn<log_10>;
    r[Native::log_e] = n_float_fn<log_e>;
    r[Native::exp] = n_float_fn<exp_e>;
    r[Native::square_root] = n_float_fn<square_root>;
    r[Native::sign_q] = n_sign;
    r[Native::zero_q] = n_zero;
}

}  // namespace qor::natives::impl
