// The arithmetic of a number (integer!, float!, percent!) with a composite
// value (pair!, tuple!, point2D!, point3D!) as its second operand: the
// composite does the work, with the number as its operand, so 2 * 1.2.3 is
// 1.2.3 * 2 and 10 - 3x4 is -3x-4 + 10.
#pragma once

#include "runtime/core/cell.h"
#include "runtime/datatypes/math_ops.h"

namespace qor::composite_math {

[[nodiscard]] constexpr bool is_composite(TypeId t) {
    return t == TypeId::pair || t == TypeId::tuple || t == TypeId::point2d || t == TypeId::point3d;
}

// The number in the result slot op the composite second argument. Raises
// script `not-related` where the order matters: subtracting a tuple from a
// number, dividing a number by a composite, and subtracting a pair or point
// from a float.
Cell* number_first(MathOp op);

}  // namespace qor::composite_math
