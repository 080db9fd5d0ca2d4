// The call stack and the routines that unwind it.
#include "runtime/eval/call_stack.h"

#include <pthread.h>

#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/error_fire.h"
#include "runtime/eval/interpreter.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/word.h"
#include "runtime/words/symbol_ids.h"

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
    pthread_attr_t attributes;
    void* low = nullptr;
    size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        pthread_attr_getstack(&attributes, &low, &size);
        pthread_attr_destroy(&attributes);
    }
    if (!low || size <= 2 * native_reserve) return nullptr;
    return static_cast<const char*>(low) + native_reserve;
}

// The three positions a throw routine puts back when nothing catches.
struct Positions {
    Cell* base = data.base;
    Cell* top = data.top;
    Frame* call_top = calls.top;
    void restore() const {
        data.base = base;
        data.top = top;
        calls.top = call_top;
    }
};

// Pops frames from the top until one that `wanted` accepts. A try/all frame
// on the way stops the search: the positions are put back and the error
// raised (near `near` when given); so does running out of frames. The found
// frame stays last, and the data stack stands empty at that frame's own
// argument base.
template <class Wanted>
Frame* seek_frame(const Positions& saved, Wanted&& wanted, error::Id error_id, const Cell* error_arg,
                  const Cell* near = nullptr) {
    // Look first and unwind only when a frame takes the exit: frames passed
    // on a search that fails keep their function contexts as they are.
    Frame* target = calls.top;
    while (target > calls.bottom && !wanted(target[-1]) && target[-1].kind() != FrameKind::try_all) target--;
    if (target > calls.bottom && wanted(target[-1])) {
        uint32_t own_base = index_of(data.base);
        while (calls.top > target) {
            const Frame& f = calls.top[-1];
            if (f.kind() == FrameKind::call && f.function_context)
                set_context_values(f.function_context, f.saved_values);
            own_base = f.saved_base;
            calls.top--;
        }
        data.base = cell_at(own_base);
        data.top = data.base;
        return &target[-1];
    }
    saved.restore();
    if (near) interpreter::current_code_cell() = *near;
    if (error_arg) error::fire(error_id, {*error_arg});
    error::fire(error_id);
}

// Pops the frame of the native that starts an exit.
void pop_own_frame() {
    if (calls.top > calls.bottom) {
        const Frame& f = *--calls.top;
        data.base = cell_at(f.saved_base);
    }
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

void unwind_checked() {
    const Frame& f = *--calls.top;
    if (f.kind() == FrameKind::call && f.function_context) set_context_values(f.function_context, f.saved_values);
    if (calls.top == calls.bottom) {
        data.base = data.bottom;
        data.top = data.bottom;
    } else {
        data.top = data.base;
        data.base = cell_at(f.saved_base);
    }
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

Frame* unwind_to_result(FrameKind kind) {
    const Cell result = *data.base;
    Cell* const innermost_base = data.base;
    Frame* const old_top = calls.top;
    Frame* found = unwind_to(kind, false);
    // The found frame's own argument base: saved by the frame above it, or
    // the current one when it was the last frame.
    Cell* slot = innermost_base;
    if (found && found + 1 < old_top) slot = cell_at(found[1].saved_base);
    *slot = result;
    data.base = slot;
    data.top = slot;
    return found;
}

bool has_flagged_frame(const Frame* from, bool last_only) {
    const Frame* p = (from ? from : calls.top) - 1;
    for (; p >= calls.bottom; p--) {
        if (p->has(frame_flag::interpreted)) return true;
        if (last_only) break;
    }
    return false;
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

namespace {

// The word of a frame's symbol in its word context (the global context
// when it has none).
Cell frame_word(const Frame& f) {
    return word::find_in_or_global(f.word_context ? f.word_context : context::global(), f.symbol);
}

}  // namespace

void dump_calls(NodeId block) {
    for_each_named_call([&](const Frame& f) {
        const Cell w = frame_word(f);
        *series_tail::alloc_cell(block) = w;
        *series_tail::alloc_cell(block) = Cell{to_int(TypeId::integer), 0, f.saved_base, 0};
    });
}

void collect_calls(int level, NodeId block, size_t end) {
    const size_t last = end < call_depth() ? end : call_depth();
    for (size_t i = 0; i < last; i++) {
        const Frame f = calls.bottom[i];
        if (f.symbol == anonymous.body || f.symbol == anonymous.anon) continue;
        const Cell w = frame_word(f);
        if (level <= 1) {
            const int32_t index = word::index_of(w);
            const NodeId ctx = word::context_of(w);
            if (index < 0 || ctx == 0 || !context::has_values(*context::header(ctx))) continue;
            if (type_of(*context::value_cell_at(ctx, static_cast<uint32_t>(index))) != TypeId::function) continue;
        }
        Cell plain = w;
        set_header(plain, TypeId::word);
        *series_tail::alloc_cell(block) = plain;
    }
}

void throw_break(bool with_value, bool is_continue) {
    const Positions saved;
    const Cell value = with_value ? *data.base : unset::value;
    pop_own_frame();
    seek_frame(
        saved, [](const Frame& f) { return f.kind() == FrameKind::loop; }, is_continue ? error::Id::continue_ : error::Id::break_,
        nullptr);
    *data.top++ = value;
    pending = is_continue ? exit_continue : exit_break;
}

void throw_exit(bool is_return, bool from_compiled) {
    const Positions saved;
    const Cell value = is_return ? *data.base : unset::value;
    if (!from_compiled) pop_own_frame();
    seek_frame(saved, [](const Frame& f) { return f.has(frame_flag::body); }, error::Id::return_, nullptr);
    *data.top++ = value;
    pending = is_return ? exit_return : exit_exit;
}

void throw_throw(uint32_t code) {
    const Positions saved;
    const Cell value = data.base[0];
    const Cell name = data.top - data.base > 1 ? data.base[1] : unset::value;
    pop_own_frame();
    // A catch of another name throws on: the first throw's frame and code
    // stay the ones an uncaught throw reports.
    if (throw_position < 0) {
        interpreter::throw_code_cell() = interpreter::current_code();
        if (calls.top > calls.bottom) throw_position = static_cast<int32_t>(call_depth() - 1);
    }
    seek_frame(saved, [](const Frame& f) { return f.kind() == FrameKind::catch_; }, error::Id::throw_, &value,
               &interpreter::throw_code_cell());
    *data.top++ = value;
    *data.top++ = name;
    pending = code;
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
