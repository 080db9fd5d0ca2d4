// point2D! and point3D!: two or three coordinates as 32-bit floats, written
// (x, y) and (x, y, z).
//
//   word 1  x, IEEE single precision
//   word 2  y
//   word 3  z (point3D!; unused by point2D!)
//
// Whatever arrives (integer!, float!, percent!, a pair's integers) is
// rounded to single precision when stored; arithmetic works in double
// precision and rounds back. Equality is near-equality per coordinate
// (10 units in the last place), strict equality is exact. pair! arithmetic
// that leaves the 32-bit integers continues here.
#pragma once

#include <cstdint>
#include <cstring>

#include "runtime/core/cell.h"
#include "runtime/core/compare_ops.h"
#include "runtime/datatypes/math_ops.h"

namespace qor::point {

// The coordinates of a point cell (3 for point3D!, 2 for point2D!).
[[nodiscard]] inline int axes(TypeId t) { return t == TypeId::point3d ? 3 : 2; }
[[nodiscard]] inline float coordinate(const Cell& c, int axis) {
    const uint32_t bits = axis == 0 ? c.w1 : axis == 1 ? c.w2 : c.w3;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
inline void set_coordinate(Cell& c, int axis, float f) {
    uint32_t& bits = axis == 0 ? c.w1 : axis == 1 ? c.w2 : c.w3;
    std::memcpy(&bits, &f, sizeof f);
}

// Write a point into a cell (its header flags are kept) or push one.
Cell* make2d_at(Cell& cell, float x, float y);
Cell* make3d_at(Cell& cell, float x, float y, float z);

// The arithmetic actions of both types: the point in the result slot op
// the second argument, changed in place.
Cell* do_math(MathOp op);

// 0.0 minus every coordinate, in place.
Cell* negate(Cell& point);

// The compare action of both types (a pair! second value compares as the
// point2D! it makes).
[[nodiscard]] int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);

void init();  // registers point2D! and point3D!

}  // namespace qor::point
