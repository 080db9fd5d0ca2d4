// The arithmetic of a number with a composite value as its second operand.
#include "runtime/datatypes/composite_math.h"

#include <utility>

#include "runtime/core/action_ids.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"

namespace qor::composite_math {

namespace {

[[noreturn]] void not_related(MathOp op, TypeId type) {
    const Action a = op == MathOp::subtract ? Action::subtract : Action::divide;
    error::fire(error::Id::not_related, {error::WordArg{action_word(a)}, datatype::value(type)});
}

}  // namespace

Cell* number_first(MathOp op) {
    Cell* left = stack::arg(0);
    Cell* right = stack::arg(1);
    const TypeId lt = type_of(*left), rt = type_of(*right);
    // The tuple's arithmetic puts itself first.
    if (rt == TypeId::tuple) return tuple::do_math(op);
    if (op == MathOp::divide) not_related(op, lt == TypeId::integer ? lt : rt);
    if (op == MathOp::subtract && lt != TypeId::integer) not_related(op, rt);
    std::swap(*left, *right);
    // n - p is (-p) + n.
    if (op == MathOp::subtract) {
        if (rt == TypeId::pair) pair::negate(*left);
        else point::negate(*left);
        op = MathOp::add;
    }
    return rt == TypeId::pair ? pair::do_math(op) : point::do_math(op);
}

}  // namespace qor::composite_math
