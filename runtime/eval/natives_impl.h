// Shared helpers of the native routines.
#pragma once

#include <span>

#include "runtime/core/cell.h"
#include "runtime/memory/call_stack.h"
#include "runtime/eval/natives.h"

namespace qor::natives::impl {

// Puts every routine into its slot of the natives table, by name.
void install(Table& table);

// Whether the last print or prin ended its output with a line break.
[[nodiscard]] bool last_print_newline();

// The unbound refinement /local.
[[nodiscard]] Cell words_refinement_local();

// The argument cell i of the current native frame.
[[nodiscard]] inline Cell* arg(uint32_t i) { return stack::data.base + i; }

// What a loop does after its body ran: go on, leave (break), or return at
// once because another exit passes through.
enum class Step : uint8_t { next, leave, pass };
[[nodiscard]] inline Step after_body() {
    if (!stack::exiting()) [[likely]] return Step::next;
    if (stack::pending == stack::exit_continue) {
        stack::take_exit();
        return Step::next;
    }
    if (stack::pending == stack::exit_break) {
        stack::take_exit();
        return Step::leave;
    }
    return Step::pass;
}

}  // namespace qor::natives::impl
