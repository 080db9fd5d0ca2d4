// The call stack and the routines that unwind it.
#include "runtime/memory/call_stack.h"

#include "runtime/core/error_fire.h"
#include "runtime/core/symbol_ids.h"
#include "runtime/memory/cycle_stack.h"
#include "runtime/platform/memory_region.h"

namespace qor::stack {

CallStack calls;
AnonymousSymbols anonymous{to_int(Sym::tag_body), to_int(Sym::tag_anon)};
int32_t throw_position = -1;
uint32_t pending = exit_none;
bool in_routine = false;

namespace {

Frame own_frames[call_stack_frames];

// Room left on the native stack below the evaluator's deepest point, for
// raising and reporting the overflow error itself.
constexpr size_t native_reserve = 512 * 1024;

// The lowest address evaluation may reach on the calling thread's stack.
const char* find_native_floor() {
    const platform::StackRange stack = platform::thread_stack();
    if (!stack.low || stack.size <= 2 * native_reserve) return nullptr;
    return stack.low + native_reserve;
}

}  // namespace

const char* detail::native_floor = nullptr;

void init_calls() { init_calls(anonymous); }

namespace {
Cell own_storage[data_stack_cells];
}  // namespace

void init() { init(own_storage); }

void init(std::span<Cell> storage) {
    data.bottom = storage.data();
    data.base = data.bottom;
    data.top = data.bottom;
    data.limit = data.bottom + storage.size();
    init_calls(anonymous);
}

void init_calls(AnonymousSymbols symbols) {
    calls.bottom = own_frames;
    calls.top = own_frames;
    calls.limit = own_frames + call_stack_frames;
    anonymous = symbols;
    throw_position = -1;
    pending = exit_none;
    detail::native_floor = find_native_floor();
}

// No frame is pushed: the data top backs off five cells so that the error
// can be formed, the cycle stack is emptied, and the error is raised.
void detail::call_overflow() {
    data.top = data.top - 5 > data.bottom ? data.top - 5 : data.bottom;
    if (data.base > data.top) data.base = data.top;
    cycle::reset();
    error::fire(error::Id::stack_overflow);
}

Frame* unwind_to(FrameKind kind, bool keep) {
    bool popped = false;
    Frame* found = nullptr;
    while (calls.top > calls.bottom) {
        Frame& f = *--calls.top;
        popped = true;
        if (f.kind() == FrameKind::call && f.function_context)
            set_context_values(f.function_context, f.saved_values);
        if (f.kind() == kind || f.kind() == FrameKind::try_all) {
            found = &f;
            break;
        }
    }
    if (found && keep) calls.top++;
    if (!popped) {
        data.top = data.base + 1;
    } else if (calls.top == calls.bottom) {
        data.base = data.bottom;
        data.top = data.bottom;
    } else {
        // The frame above the last one left saved that frame's own base.
        data.base = cell_at(calls.top->saved_base);
        data.top = data.base + 1;
    }
    if (found && !keep) calls.top++;
    return found;
}

CallName get_call() {
    const Frame* p = calls.top - 1;
    // The frames above the top at a throw are still intact until reused.
    if (throw_position >= 0 && static_cast<size_t>(throw_position) < call_stack_frames)
        p = calls.bottom + throw_position;
    throw_position = -1;
    while (p >= calls.bottom && (p->symbol == anonymous.body || p->symbol == anonymous.anon)) p--;
    if (p < calls.bottom) return {};
    return {p->symbol, p->word_context};
}

ErrorUnwind unwind_for_error() {
    ErrorUnwind out;
    if (calls.top == calls.bottom) return out;
    out.where = get_call();
    out.depth = static_cast<uint32_t>(call_depth());
    Cell* const top = data.top;
    Frame* found = unwind_to(FrameKind::try_, false);
    if (found) {
        calls.top--;
        data.base = cell_at(found->saved_base);
        out.caught = true;
    }
    data.top = top > data.base ? top : data.base;
    return out;
}

}  // namespace qor::stack
