// The arithmetic entries of an action row, for a datatype whose arithmetic
// is one routine taking the operation code (pair!, tuple!, the points):
// each action's routine calls it with its own code.
#pragma once

#include "runtime/datatypes/math_ops.h"
#include "runtime/datatypes/registry.h"

namespace qor::datatype {

using DoMath = Cell* (*)(MathOp);

// add, subtract, multiply, divide and remainder.
template <DoMath F>
void own_arithmetic(ActionRow& row) {
    row.own<Action::add>([] { return F(MathOp::add); });
    row.own<Action::subtract>([] { return F(MathOp::subtract); });
    row.own<Action::multiply>([] { return F(MathOp::multiply); });
    row.own<Action::divide>([] { return F(MathOp::divide); });
    row.own<Action::remainder>([] { return F(MathOp::remainder); });
}

// and~, or~ and xor~.
template <DoMath F>
void own_bitwise(ActionRow& row) {
    row.own<Action::and_t>([] { return F(MathOp::and_); });
    row.own<Action::or_t>([] { return F(MathOp::or_); });
    row.own<Action::xor_t>([] { return F(MathOp::xor_); });
}

}  // namespace qor::datatype
