// native!, action! and op!: the values through which the language reaches
// built-in code, and infix operators.
//
// native! and action! payload: word 1 the native's or action's number (from
// 1), word 2 the interface block's node, word 3 a two-cell block: the context!
// cell of a function context made from the interface block, then the argument cache
// (none until the first call).
//
// op! keeps the payload of the value it wraps (a native, action, function or
// routine); header bits 16-23 hold the wrapped value's datatype. A wrapped
// function or routine also keeps the operator's function in cell 3 of its
// parts block.
//
// native.cpp builds native! and action! values and holds their actions;
// op.cpp holds the operator's.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/core/compare_ops.h"

namespace qor::native {

// A native! or action! value of the given number over an interface block.
[[nodiscard]] Cell make(TypeId type, uint32_t number, const Cell& spec);

// The operator that wraps a native, action, function or routine (script
// invalid-type otherwise, bad-op-spec unless its interface block takes two arguments).
[[nodiscard]] Cell make_op(const Cell& fn);

// The value an operator wraps.
[[nodiscard]] inline Cell unwrap_op(const Cell& op) {
    Cell fn = op;
    fn.header = (op.header >> cell_flag::op_type_shift) & 0xFF;
    return fn;
}

// The cell that holds the argument cache of a native, action, function or
// routine.
[[nodiscard]] Cell* cache_cell(const Cell& fn);

// The compare routine of natives, actions and operators: by the number (or
// wrapped value) in word 1, for the equality, sort and identity tests.
int32_t compare_by_word1(const Cell* a, const Cell* b, CompareOp op);

// The identity order of the function family: values of one datatype are
// compared by one payload word as signed integers, for equality, sorting
// and identity tests only (-2 otherwise, or for another datatype).
int32_t compare_payload_word(const Cell* a, const Cell* b, CompareOp op, uint32_t Cell::*word);

// Registers native! and action! (native.cpp), op! (op.cpp).
void register_native();
void register_action();
void register_op();

}  // namespace qor::native
