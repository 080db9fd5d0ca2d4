// `rejoin` in C++: reduce a block and join its values. It runs for almost
// every message the library builds, so the reduction, the copy or form of
// the first value and the append of the rest happen without interpreted
// calls in between. The result follows the first value's type: a copy of
// it when it is a series, else its formed text, with the other values
// appended by the append action of that type.
#include <array>
#include <initializer_list>

#include "runtime/environment/routines.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/none.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/exit_codes.h"
#include "runtime/eval/interpreter.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/symbol.h"

namespace qor::environment {
namespace {

// Every refinement absent, for any action's dispatcher.
constexpr std::array<int32_t, 8> no_refinements{-1, -1, -1, -1, -1, -1, -1, -1};

// Runs an action on the arguments in a frame of its own, as a call from the
// language would; answers its result.
Cell run_action(Action a, std::initializer_list<Cell> args) {
    stack::mark_native(to_int(Sym::tag_body));
    for (const Cell& c : args) stack::push(c);
    actions::dispatcher(a)(no_refinements);
    const Cell result = *stack::data.base;
    stack::unwind();
    stack::pop();
    return result;
}

// Evaluates every expression of the block into a new block, pushed on the
// data stack so the collector sees it while it fills; false when an exit
// (break, return, throw) passes through.
bool push_reduced(const Cell& code) {
    const uint32_t size = series::buffer(code.w2)->length();
    const uint32_t room = code.w1 < size ? size - code.w1 : 1;
    Cell* const out = stack::push(Cell{to_int(TypeId::block), 0, series::alloc_cells(room), 0});
    uint32_t pos = code.w1;
    while (pos < series::buffer(code.w2)->length()) {
        pos = interpreter::eval_next(code.w2, pos, true);
        if (stack::exiting()) return false;
        Cell v = *--stack::data.top;
        clear_new_line(v);
        *series_tail::alloc_cell(out->w2) = v;
    }
    return true;
}

// rejoin block: the reduced block, unchanged when empty; else the first
// value copied (a series) or formed, with the rest appended.
void rejoin() {
    if (!push_reduced(*stack::arg(0))) return;
    const Cell reduced = stack::data.top[-1];
    if (series::buffer(reduced.w2)->length() == 0) {
        *stack::arg(0) = reduced;
        stack::pop();
        return;
    }
    const Cell first = *series_tail::cell_at(reduced, 0);
    // The joined value stays on the stack while the rest is appended.
    Cell* joined = stack::push(none::value);
    *joined = run_action(is_series(type_of(first)) ? Action::copy : Action::form, {first});
    Cell rest = reduced;
    rest.w1 = 1;
    *stack::arg(0) = run_action(Action::append, {*joined, rest});
    stack::pop(2);
}

}  // namespace

void define_series_routines() {
    define_routine("rejoin", R"spec(["Reduces and joins a block of values." block [block!] "Values to reduce and join"])spec",
                   rejoin);
}

}  // namespace qor::environment
