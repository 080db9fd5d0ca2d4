// The non-local exits the natives start: break, continue, return, exit and
// throw. Each is called from inside the frame of the native that starts it;
// each either sets `stack::pending` with the stacks unwound to the frame
// that will catch it, or raises the throw-category error when nothing can
// (see exit_codes.h). They sit above the call stack because the throw
// records the interpreter's current code for an uncaught throw's report.
#pragma once

#include <cstdint>

#include "runtime/memory/call_stack.h"

namespace qor::stack {

// break and continue: to the innermost loop frame; break/return writes the
// native's first argument into the loop's result slot, else unset.
void throw_break(bool with_value, bool is_continue);
// return and exit: to the innermost function-body frame; return writes the
// native's first argument into its result slot, exit unset.
void throw_exit(bool is_return, bool from_compiled = false);
// throw: to the innermost catch frame, where the thrown value (the native's
// first argument) and the name after it are pushed.
void throw_throw(uint32_t code = exit_throw);

}  // namespace qor::stack
