// function!: a function written in the language.
//
// A function's interface block lists its arguments, refinements, their
// types and doc strings.
//
// function! payload: word 1 the function context (values on the data stack
// while it runs), word 2 the interface block's node, word 3 the node of the
// five-cell parts block (body, argument cache, compiled code, the op! made
// from it, an extra integer).
//
// This file builds function values (function.cpp) and checks interface
// blocks and collects locals (function_interface.cpp). The values through which
// the language reaches built-in code are in native.h, built-in routines in
// routine.h.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/datatypes/native.h"
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

// Checks an interface block (script bad-func-def, invalid-type-spec, no-value,
// dup-vars) and answers its attribute flags.
uint32_t check_spec(const Cell& spec);

// Builds a function on the data stack and answers it: the interface block (copied
// when its index is past its head), a new function context made from it
// unless one is given, the body deeply copied (none without one) and bound
// to a new context, the code number and extra in their parts when not 0,
// the header flags.
Cell* make_at(const Cell& spec, const Cell* body, NodeId context, int32_t code, int32_t extra, uint32_t flags);

// A function from an interface block and a body: the block checked, then
// make_at with a new context. Pushes the value on the data stack and
// answers it.
Cell* push_new(const Cell& spec, const Cell& body);

// The interface block of the native `function`: a copy of the interface block without
// its /extern words, with every word the body sets (and the words of its
// foreach, remove-each and repeat loops) that the interface block does not name added
// after /local. Pushes the new block on the data stack and answers it.
Cell* push_made_spec(const Cell& spec, const Cell& body);

// A copy of the block whose nested blocks, parens and paths are copies too.
[[nodiscard]] Cell copy_deep(const Cell& block);

// The compare routine of functions and routines: equal only when they
// share their parts block.
int32_t compare_parts(const Cell* a, const Cell* b, CompareOp op);

// Registers function!.
void register_datatype();

}  // namespace qor::function
