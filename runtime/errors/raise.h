// Catching raised errors: turning the C++ exception into an error! value.
//
// A raised error (error::Raised) carries its arguments as plain cells that
// the collector cannot see, so the catch site converts it first, before
// anything else allocates (catch_raised). The error's `where` gets the word
// of the innermost named call and its `stack` the call-stack depth at the
// raise, as a throw sets them.
#pragma once

#include "runtime/core/cell.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/call_stack.h"

namespace qor::error {

// Where a raise happened: the innermost named call and the call-stack depth.
struct RaisePoint {
    stack::CallName where;
    uint32_t depth = 0;
};

// Pushes the error! value of a raised error, with where (only when it is
// none) and stack (unless it holds a block) set from the raise point.
Cell* push_caught(const Raised& raised, const RaisePoint& at);

// The whole catch, called first thing in a C++ catch of error::Raised at a
// frame that opened a try or try/all frame: the data stack drops to `top`
// (what the failed evaluation left above it is garbage), the error value is
// pushed there, with its stack fields filled when `keep_stack`, and the call
// stack is unwound through the innermost try frame, which is popped as well.
// Answers the error's cell, the last on the data stack.
Cell* catch_raised(const Raised& raised, Cell* top, bool keep_stack);

// The call stack at the raise, into a caught error: an integer stack field
// becomes the block of calls up to that position (as many levels as the
// stack-trace setting asks, at least 1); files receives a copy of the
// source files being run, when there are any.
void fill_stack_fields(Cell& error);

}  // namespace qor::error
