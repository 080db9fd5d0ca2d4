// Catching raised errors: turning the C++ exception into an error! value.
//
// A raised error (error::Raised) carries its arguments as plain cells that
// the collector cannot see, so the catch site converts it first, before
// anything else allocates: unwind the call stack (stack::unwind_for_error),
// then push_caught. The error's `where` gets the word of the innermost named
// call and its `stack` the call-stack depth at the raise, as a throw sets
// them.
#pragma once

#include "runtime/cell.h"
#include "runtime/error_fire.h"
#include "runtime/eval/call_stack.h"

namespace qor::error {

// Pushes the error! value of a caught error, with where and stack set from
// the unwinding: where only when it is none, stack unless it holds a block.
Cell* push_caught(const Raised& raised, const stack::ErrorUnwind& unwound);

// The call stack at the raise, into a caught error: an integer stack field
// becomes the block of calls up to that position (as many levels as the
// stack-trace setting asks, at least 1); files receives a copy of the
// source files being run, when there are any.
void fill_stack_fields(Cell& error);

}  // namespace qor::error
