// pair!: two signed 32-bit integers written XxY (10x20), for sizes and
// positions; x in payload word 2, y in word 3.
//
// Arithmetic is integer! arithmetic per coordinate. Where it would leave the
// integers (an add, subtract or multiply that overflows, a multiply or
// divide by a float!) the result is a point2D! instead, so no coordinate is
// ever wrapped or truncated silently.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/datatypes/math_ops.h"

namespace qor::pair {

[[nodiscard]] inline int32_t x(const Cell& c) { return static_cast<int32_t>(c.w2); }
[[nodiscard]] inline int32_t y(const Cell& c) { return static_cast<int32_t>(c.w3); }

// Keeps the cell's header flags.
Cell* make_at(Cell& cell, int32_t x, int32_t y);

// The pair in the cell becomes the point2D! of its coordinates.
void to_point2d(Cell& cell);

// The arithmetic actions: the pair in the result slot op the second
// argument (the result may be a point2D!).
Cell* do_math(MathOp op);

// negate in place; -2147483648 raises math overflow, as for integer!.
Cell* negate(Cell& pair);

void init();  // registers pair!

}  // namespace qor::pair
