// function!: a function written in the language, and the values through
// which the language reaches built-in code (native!, action!) and infix
// operators (op!).
//
// A function's interface block lists its arguments, refinements, their
// types and doc strings.
//
// function! payload: word 1 the function context (values on the data stack
// while it runs), word 2 the interface block's node, word 3 the node of the
// five-cell parts block (body, argument cache, compiled code, the op! made
// from it, an extra integer).
//
// native! and action! payload: word 1 the native's or action's number,
// word 2 the interface block's node, word 3 a two-cell block: the context!
// cell of a context made from that block, then the argument cache (none
// until the first call).
//
// op! keeps the payload of the value it wraps; header bits 16-23 hold the
// wrapped value's datatype.
//
// This file builds the values and reaches their parts; their datatype
// actions (form, mold, reflect, compare) are registered with the rest of
// the function family.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory/node.h"
#include "runtime/memory/series.h"

namespace qor::function {

enum class Part : uint32_t { body = 0, arg_cache = 1, code = 2, op_value = 3, extra = 4 };

// The header flags an attribute block sets.
inline constexpr uint32_t flag_trace = 0x400;
inline constexpr uint32_t flag_no_trace = 0x200;

[[nodiscard]] inline Cell* part(const Cell& fn, Part p) {
    return series::buffer(fn.w3)->cells() + static_cast<uint32_t>(p);
}

// Checks a spec block (script bad-func-def, dup-vars) and answers its
// attribute flags.
uint32_t check_spec(const Cell& spec);

// A function from an interface block and a body: the block checked, a
// context made from it, the body deeply copied and bound to that context. Pushes the value on
// the data stack and answers it.
Cell* push_new(const Cell& spec, const Cell& body);

// A copy of the block whose nested blocks, parens and paths are copies too.
[[nodiscard]] Cell copy_deep(const Cell& block);

}  // namespace qor::function

namespace qor::native {

// A native! or action! value of the given number over a spec block.
[[nodiscard]] Cell make(TypeId type, uint32_t number, const Cell& spec);

// The operator that wraps a native, action, function or routine (script
// invalid-type otherwise, bad-op-spec unless its spec takes two arguments).
[[nodiscard]] Cell make_op(const Cell& fn);

// The value an operator wraps.
[[nodiscard]] inline Cell unwrap_op(const Cell& op) {
    Cell fn = op;
    fn.header = (op.header >> cell_flag::op_type_shift) & 0xFF;
    return fn;
}

// The cell that holds the argument cache of a native, action or function.
[[nodiscard]] Cell* cache_cell(const Cell& fn);

}  // namespace qor::native
