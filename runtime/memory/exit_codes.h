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

// A native's or action's C++ routine that calls back into the language (a
// sort comparator, a change handler) cannot go on when the call comes back
// with an exit under way: the exit already unwound the stacks past the
// routine's frame. It leaves with `ExitUnderway`, which the interpreter
// catches where it called the routine and treats as the routine's return
// with the exit pending. The interpreter's own evaluation steps just return.
struct ExitUnderway {};

// Whether the innermost code running is a routine (true) or an evaluation
// by the interpreter (false); set by `RoutineScope`.
extern bool in_routine;

class RoutineScope {
public:
    explicit RoutineScope(bool routine) : saved_(in_routine) { in_routine = routine; }
    ~RoutineScope() { in_routine = saved_; }
    RoutineScope(const RoutineScope&) = delete;
    RoutineScope& operator=(const RoutineScope&) = delete;

private:
    bool saved_;
};

// After a call back into the language: leaves the calling routine when an
// exit came back with the call.
inline void leave_routine_if_exiting() {
    if (pending != exit_none && in_routine) throw ExitUnderway{};
}

}  // namespace qor::stack
