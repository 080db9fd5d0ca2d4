// Shared helpers of the native routines.
#pragma once

#include <span>

#include "runtime/core/cell.h"
#include "runtime/core/error_fire.h"
#include "runtime/core/symbol_ids.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/unset.h"
#include "runtime/eval/decoded_block.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives.h"
#include "runtime/memory/call_stack.h"

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

// The strict truth test: an unset value has no truth.
[[nodiscard]] inline bool strict_truthy(const Cell& v) {
    if (type_of(v) == TypeId::unset) error::fire(error::Id::no_return);
    return interpreter::truthy(v);
}

// Opens the loop frame with its result slot.
inline Cell* open_loop() {
    stack::mark_loop(to_int(Sym::tag_body));
    return stack::push(unset::value);
}

// if, either, while and a loop of a whole count, run on the arguments of
// their frame (`a`). How a block runs is the caller's: `run(block, k)`
// evaluates the block into the frame's first slot, k telling the blocks
// of one call apart (the decoded forms keep a form for each).

// What a loop does once its body ran into the result slot: the step, the
// data top cut back to the slot unless another exit passes through.
[[nodiscard]] inline Step end_body() {
    const Step step = after_body();
    if (step != Step::pass) stack::keep();
    return step;
}

// Runs the body into the loop's result slot.
template <class Run>
Step run_body(const Cell& body, int k, Run&& run) {
    run(body, k);
    return end_body();
}

// How a native's loop goes on after whole iterations through its blocks'
// pure forms: it ended (leave), an exit passes on, or it runs the next
// iteration itself; `pure` is cleared when its forms are no use to try
// again.
[[nodiscard]] inline Step after_pure(interpreter::decoded::PureLoop loop, bool& pure) {
    using interpreter::decoded::PureLoop;
    switch (loop) {
        case PureLoop::ended: return Step::leave;
        case PureLoop::stopped: return Step::pass;
        case PureLoop::plain: pure = false; return Step::next;
        case PureLoop::go_on: return Step::next;
    }
    return Step::next;
}

// Whether an exit pending after a while condition ran passes on (the
// caller returns); break and continue have no place there and are errors.
[[nodiscard]] inline bool cond_exit_passes() {
    if (stack::pending != stack::exit_break && stack::pending != stack::exit_continue) return true;
    stack::take_exit();
    error::fire(error::Id::while_cond);
}

template <class Run>
void run_if(Cell* a, Run&& run) {
    if (!interpreter::truthy(a[0])) {
        a[0] = none::value;
        return;
    }
    run(a[1], 0);
}

template <class Run>
void run_either(Cell* a, Run&& run) {
    if (strict_truthy(a[0])) run(a[1], 0);
    else run(a[2], 1);
}

template <class Run>
void run_while(Cell* a, Run&& run) {
    const Cell cond = a[0], body = a[1];
    open_loop();
    bool pure = true;
    for (;;) {
        // Whole iterations through the blocks' pure forms, once they have them.
        if (pure) {
            const Step step = after_pure(interpreter::decoded::while_pure(cond, body, run.links, run.current()), pure);
            if (step == Step::pass) return;
            if (step == Step::leave) break;
        }
        run(cond, 0);
        if (stack::exiting() && cond_exit_passes()) return;
        stack::keep();
        if (!strict_truthy(*stack::data.base)) break;
        const Step step = run_body(body, 1, run);
        if (step == Step::pass) return;
        if (step == Step::leave) break;
    }
    stack::revert();
    a[0] = unset::value;
}

template <class Run>
void run_loop(Cell* a, int64_t count, Run&& run) {
    const Cell body = a[1];
    if (count <= 0) {
        a[0] = none::value;
        return;
    }
    open_loop();
    bool pure = true;
    for (int64_t remaining = count; remaining > 0;) {
        if (pure) {
            const Step step = after_pure(interpreter::decoded::loop_pure(body, remaining, run.links[0], run.current()), pure);
            if (step == Step::pass) return;
            if (step == Step::leave) break;
        }
        const Step step = run_body(body, 0, run);
        remaining--;
        if (step == Step::pass) return;
        if (step == Step::leave) break;
    }
    stack::unwind_set_result();
}

}  // namespace qor::natives::impl
