// integer!: the signed 32-bit integer (payload word 2).
//
// Its arithmetic never wraps: an add, subtract or multiply that leaves the
// 32-bit range gives a float!, an inexact division a float! quotient, and
// only the cases with no float answer (division by zero, the one quotient
// and remainder that overflow, negate and absolute of -2147483648) raise
// math errors. char! is registered as its child and shares its routines.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/core/cell.h"
#include "runtime/datatypes/math_ops.h"

namespace qor::integer {

Cell* box(int32_t v);
// Keeps the cell's flags (unlike the other helpers).
Cell* make_at(Cell& cell, int32_t v);
Cell* push(int32_t v);
Cell* make_in(Cell& block, int32_t v);
[[nodiscard]] inline int32_t get(const Cell& c) { return get_int(c); }

[[nodiscard]] constexpr int32_t sign(int32_t v) { return (v > 0) - (v < 0); }

// |v|; -2147483648 raises math overflow.
[[nodiscard]] int32_t absolute_checked(int32_t v);

// Decimal text: "-" and digits, "0" for zero.
struct Text {
    char data[12];
    uint8_t size;
    [[nodiscard]] std::string_view view() const { return {data, size}; }
};
[[nodiscard]] Text form_signed(int32_t v);

// The double is beyond the 32-bit range, infinite or NaN.
[[nodiscard]] bool float_out_of_range(double d);

// A double truncated toward zero, or math overflow when it does not fit.
[[nodiscard]] int32_t from_double_checked(double d);

// left op right. With a result cell, only its payload is written, except
// that an overflowing add/subtract/multiply or an inexact divide turns it
// into a float! (and answers 0). Without one, division truncates and an
// overflow raises math overflow.
int32_t do_math(int32_t left, int32_t right, MathOp op, Cell* result);

// The arithmetic actions: result slot op second argument.
Cell* do_math_action(MathOp op);

// The round action of integer! (used per coordinate by other types).
Cell* round(Cell* value, const Cell* scale, const RoundFlags& flags);

void init();  // registers integer!

}  // namespace qor::integer
