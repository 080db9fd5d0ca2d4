// float!: the IEEE 754 double (payload words 2-3). percent! and time! share
// its layout and are registered as its children; its helpers (the
// arithmetic body, the text formats, the near-equality test) serve them and
// the other numeric datatypes.
//
// Arithmetic follows IEEE with every exception masked: dividing by 0.0 gives
// an infinity or a NaN, never an error.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/core/compare_ops.h"
#include "runtime/datatypes/math_ops.h"
#include "runtime/numtext/float_text.h"

namespace qor::float_ {

[[nodiscard]] inline double get(const Cell& c) { return get_double(c); }
Cell* box(double d);
Cell* make_at(Cell& cell, double d);
Cell* push(double d);
Cell* make_in(Cell& block, double d);

// An infinity or a NaN.
[[nodiscard]] bool is_special(double d);

// x op y for the codes add to remainder; a remainder by an infinity or NaN
// is NaN. Other codes raise `cannot-use`.
[[nodiscard]] double apply_op(double x, double y, MathOp op);

// The arithmetic actions of float-like values: result slot (integer!,
// float!, percent! or time!) op second argument.
Cell* do_math(MathOp op);

// float! power on the result slot (also integer! power's float case).
Cell* power();

// The round action of float! (integer! hands non-integer scales here).
Cell* round(Cell* value, const Cell* scale, const RoundFlags& flags);

// Near-equality: within 2.220446049250313e-16 or 10 units in the last
// place; never for an infinity or a NaN.
[[nodiscard]] bool almost_equal(double a, double b);
[[nodiscard]] bool almost_equal32(float a, float b);

// The float! comparison of two doubles for an operator code (the types
// have been checked by the caller).
[[nodiscard]] int32_t compare_doubles(double a, double b, CompareOp op);

// Format kinds of `form_by_kind`.
enum class Kind : uint8_t {
    single = 0,          // "%.7g", ".0" added
    double_ = 1,         // "%.16g", ".0" added: float! form
    single_percent = 2,  // "%.7g", "%" appended
    percent = 3,         // "%.13g", "%" appended: percent! form
    seconds = 4,         // shortest with 6 digits, no ".0"
    coordinate = 5,      // "%.7g", no ".0", zero as "0"
};
[[nodiscard]] float_text::Text form_by_kind(double x, Kind kind);

// The pretty rules of `form_by_kind` (on at start): tiny values form as
// zero, and long texts ending in 01 or 99 are formatted with fewer digits.
void set_pretty_mode(bool on);

// A random double between 0 and the bound.
[[nodiscard]] double float_below(double bound, bool secure);

// A number cell as an integer: a float! out of the 32-bit range or NaN
// raises script `out-of-range`, else it is truncated toward zero; any other
// cell answers its integer payload.
[[nodiscard]] int32_t to_integer_checked(const Cell& c);

void init();  // registers float!

}  // namespace qor::float_
