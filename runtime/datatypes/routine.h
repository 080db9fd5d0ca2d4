// routine!: a built-in routine of the environment library, written in C++
// and registered by name, with an interface block that the interpreter checks its
// arguments against.
//
// A routine runs in the frame of its call, laid out as a function's frame:
// from stack::data.base the mandatory arguments in interface order, then for each
// refinement its flag (true, or false when absent) followed by its arguments
// (none when absent), then the locals. Every argument has been type-checked
// against its declared type block before the code runs. The code leaves its
// result in the first argument cell (stack::data.base); a routine that sets
// no result answers its first argument, and one without arguments answers
// unset. It may raise errors like any native.
//
// routine! payload: word 1 a function context made from the interface block, word 2
// the interface block's node, word 3 the node of its five-cell parts block
// (0 the body or none, 1 the argument cache, 2 the code number as an
// integer!, 3 the op! made from it, 4 the extra integer!). Header bits 25-29
// hold the argument count; bit 15 the builder's flag.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/core/cell.h"

namespace qor::routine {

using RoutineFn = void (*)();

// The header bit the builder may ask for.
inline constexpr uint32_t flag_builder = 0x8000;

// Registers the C++ code of a routine under a name and answers its code
// number (from 1). Registering a name again replaces its code and keeps
// its number.
uint32_t register_code(std::string_view name, RoutineFn fn);

// The code number of a registered name; 0 when none is registered.
[[nodiscard]] uint32_t code_of(std::string_view name);

// The code of a number; nullptr when none is registered under it.
[[nodiscard]] RoutineFn code(uint32_t number);

// Builds a routine value from an interface block (checked as a function's interface block),
// a body (or nullptr for none), a code number, an extra integer and the
// builder's flag; pushes it on the data stack and answers it.
Cell* push_new(const Cell& spec, const Cell* body, uint32_t code, int32_t extra, bool flag);

// The argument count kept in the header.
[[nodiscard]] inline uint32_t arity(const Cell& r) {
    return (r.header & cell_flag::routine_arity_mask) >> cell_flag::routine_arity_shift;
}

// Counts the interface block's word! entries (after refinements too) and stores the
// count in the header.
void count_args(Cell& r);

// The code number kept in the parts block.
[[nodiscard]] uint32_t code_number(const Cell& r);

// Registers routine!.
void register_datatype();

}  // namespace qor::routine
