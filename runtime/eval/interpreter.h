// The interpreter: evaluates blocks of values expression by expression.
//
// A code position is a series node and an index, never an address, so a
// block that changes while it runs (or moves when the collector compacts)
// is read safely: every step reads its cell through the node and stops at
// the tail as it is at that moment.
//
// Every evaluation step pushes its value as one new cell on the data stack.
// Words are read by their binding (context node and index). Natives,
// actions, functions and operators collect their arguments from the code
// that follows them; infix operators take the value just computed as their
// left argument and a single operand on the right, left to right.
//
// Non-local exits: errors are C++ exceptions; break, continue, return, exit
// and throw set stack::pending, and every step returns at once while an exit
// is pending (see exit_codes.h).
#pragma once

#include <cstdint>
#include <span>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"

namespace qor::interpreter::decoded {
struct Link;
}

namespace qor::interpreter {

namespace eval_flag {
inline constexpr uint32_t no_infix = 1;           // the operand of an operator: no look-ahead
inline constexpr uint32_t literal_functions = 2;  // function values in the code are data
}  // namespace eval_flag

void init();

// Evaluates the block from its index to its tail in a block-evaluation
// frame; the last expression's value (unset for an empty block) goes into
// the enclosing frame's result slot, or is pushed as one new cell.
void eval_block(const Cell& block, bool into_result);
// As eval_block into the result slot, for a block the caller runs again
// and again (a loop's body): the block's decoded form is kept in `link`.
void eval_block_linked(const Cell& block, decoded::Link& link);

// Evaluates one expression at the position and pushes its value; answers
// the position after it.
uint32_t eval_expression(NodeId code, uint32_t position, uint32_t flags = 0);

// Evaluates one expression in a native frame named `<body>` and leaves its
// value pushed, or in the caller's result slot; answers the next position.
uint32_t eval_next(NodeId code, uint32_t position, bool push);

// Calling modes of `apply`: missing trailing arguments become none; every
// refinement is supplied from the code (a value turning it on or off, then
// its arguments); with safer, an inactive refinement's arguments are
// stepped over unevaluated.
namespace call_mode {
inline constexpr uint32_t fill_missing = 1;
inline constexpr uint32_t all = 2;
inline constexpr uint32_t safer = 4;
inline constexpr uint32_t values = 8;  // the code holds the argument values themselves
}  // namespace call_mode

// Calls a function value with arguments collected from the code at the
// position; `name` is the word it was reached by (or any other value for an
// anonymous call). Path refinements are the path's cells from `refinement`
// to its tail. Pushes the result; answers the next position.
struct PathRefinements {
    NodeId path = 0;
    uint32_t from = 0;
};
uint32_t eval_function(const Cell& fn, const Cell& name, NodeId code, uint32_t position,
                       const PathRefinements& refinements = {}, uint32_t mode = 0);

// Calls a function value (function, native, action, routine, operator)
// with the argument values given, not evaluated: the mandatory arguments in
// order, every refinement off. A function! gets none for arguments beyond
// those given and no type check (its frame is laid out directly: no
// allocation per call); the others are checked as a call from code is. The
// call frame is named by `name` when it is a word. Pushes the result, or
// leaves an exit pending.
void call_with(const Cell& fn, std::span<const Cell> args, const Cell& name = unset_cell);

// Evaluates a path (get: no function is called; set: the last element is
// set to `value`); pushes the value; answers the next code position.
enum class PathMode : uint8_t { call, get, set };
uint32_t eval_path(const Cell& path, NodeId code, uint32_t position, PathMode mode, const Cell* value = nullptr);

// Runs an interpreted function body in the open call frame (its arguments
// on the stack from the argument base); the result goes into the frame's
// result slot. Answers false when an exit other than return or exit passes
// through (it stays pending).
bool run_function_body(const Cell& fn, decoded::Link* link = nullptr);

// Whether a value counts as true: everything but none and false.
[[nodiscard]] inline bool truthy(const Cell& v) {
    const TypeId t = type_of(v);
    return t != TypeId::none && !(t == TypeId::logic && v.w1 == 0);
}

// For the collector: calls mark on each cell the interpreter keeps outside
// the stacks (the current-code cell, the trace callback, the throw's code).
template <class Mark>
void for_each_root(Mark&& mark);

// The process-wide cell that holds the block being evaluated, its index at
// the current expression (for error reports).
[[nodiscard]] const Cell& current_code();
[[nodiscard]] Cell& current_code_cell();
[[nodiscard]] Cell& trace_callback_cell();
// The current code when the throw under way started: a throw that no catch
// takes is reported near the throw, not near the last catch it passed.
[[nodiscard]] Cell& throw_code_cell();

template <class Mark>
void for_each_root(Mark&& mark) {
    mark(current_code_cell());
    mark(trace_callback_cell());
    mark(throw_code_cell());
}

}  // namespace qor::interpreter
