// Non-local exits of the evaluator and the codes they carry.
//
// An exit that is under way is recorded in `stack::pending` (0 when none).
// Errors travel as C++ exceptions (error::Raised); break, continue, return,
// exit and throw are frequent, so they do not: the routine that starts one
// unwinds the call stack itself, sets `pending`, and every evaluation step
// returns at once while it is set, until a catch point takes it.
//
// A catch point declares the highest code it stops. An exit passes every
// catch point whose level is below its code and lands in the innermost one
// whose level is equal or higher; a catch point that receives a code not its
// own passes it on unchanged.
#pragma once

#include <cstdint>

namespace qor::stack {

enum ExitCode : uint32_t {
    exit_none = 0,
    exit_throw = 0x7FFFFFFA,
    exit_exit = 0x7FFFFFFB,
    exit_return = 0x7FFFFFFC,
    exit_continue = 0x7FFFFFFD,
    exit_break = 0x7FFFFFFE,
    exit_error = 0x7FFFFFFF,
};

// The exit under way, or exit_none.
extern uint32_t pending;

// Whether an exit is under way (the check every evaluation step makes).
[[nodiscard]] inline bool exiting() { return pending != exit_none; }

// Whether the pending exit lands at a catch point of this level.
[[nodiscard]] inline bool lands_at(uint32_t level) { return pending != exit_none && pending <= level; }

// Takes the pending exit: answers its code and clears it.
inline uint32_t take_exit() {
    const uint32_t code = pending;
    pending = exit_none;
    return code;
}

}  // namespace qor::stack
