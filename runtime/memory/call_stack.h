// The call stack: one frame per active call, native, loop, try, catch and
// block evaluation.
//
// A frame records the symbol of the word that names the call (a full 32-bit
// symbol id in a field of its own), its kind and flags, the argument base of
// the enclosing frame (restored when the frame is popped), the context of
// the naming word, and for function calls the function's context with the
// values reference that context held before the call (restored on pop).
//
// The stack never grows: 12,000 frames, fixed at start. Pushing past the
// limit backs the data stack off and raises internal `stack-overflow`; so
// does evaluation that runs too deep on the native stack.
//
// The routines that start non-local exits (break, continue, return, exit,
// throw) are in runtime/eval/nonlocal_exits.h; the listings of the calls by
// name are in runtime/words/call_listing.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/memory/data_stack.h"
#include "runtime/memory/exit_codes.h"
#include "runtime/memory/node.h"
#include "runtime/memory/series.h"

namespace qor::stack {

inline constexpr size_t call_stack_frames = 12'000;

enum class FrameKind : uint8_t {
    call = 1,         // a function call
    native = 2,       // a native, action or routine call; a compiled function's body
    try_ = 4,         // try
    try_all = 5,      // try/all: also stops break, continue, return, exit and throw
    catch_ = 6,       // catch
    eval_block = 7,   // the interpreter's evaluation of a block or paren
    loop = 8,         // every loop native: what break and continue seek
};

namespace frame_flag {
inline constexpr uint32_t kind_shift = 24;
inline constexpr uint32_t kind_mask = 0xFu << 24;
inline constexpr uint32_t body = 1u << 28;         // return and exit unwind to this frame
inline constexpr uint32_t interpreted = 1u << 31;  // opened by the interpreter
}  // namespace frame_flag

struct Frame {
    uint32_t header;            // kind and flags
    uint32_t symbol;            // symbol id of the word naming the call
    uint32_t saved_base;        // enclosing frame's argument base, cells from the bottom
    uint32_t word_context;      // context node of the naming word, or 0
    uint32_t function_context;  // context node of the called function (calls), or 0
    uint32_t saved_values;      // that context's values reference before the call

    [[nodiscard]] FrameKind kind() const {
        return static_cast<FrameKind>((header & frame_flag::kind_mask) >> frame_flag::kind_shift);
    }
    [[nodiscard]] bool has(uint32_t flag) const { return (header & flag) != 0; }
};

struct CallStack {
    Frame* bottom = nullptr;
    Frame* top = nullptr;  // next free frame
    Frame* limit = nullptr;
};

extern CallStack calls;

// The symbols of anonymous frames: `<body>` (block evaluation, expressions
// without a word) and `<anon>` (a function called without a word). Listings
// of calls skip frames named by either.
struct AnonymousSymbols {
    uint32_t body = 0;
    uint32_t anon = 0;
};
extern AnonymousSymbols anonymous;

// The innermost frame at the last throw (frames from the bottom), or -1.
extern int32_t throw_position;

// Empties the call stack (and sets the anonymous symbols); the data stack
// is set up by stack::init().
void init_calls();
void init_calls(AnonymousSymbols symbols);

// Sets the data stack up empty on its own storage of `data_stack_cells`
// cells; the call stack is emptied with it.
void init();
// Sets the data stack up empty on the given storage, and empties the call stack.
void init(std::span<Cell> storage);

// The values reference of a function context (word 2 of its context!
// cell: for a stack context, the data-stack index of its first value plus
// one), and its restore.
[[nodiscard]] inline uint32_t context_values(uint32_t context) { return series::buffer(context)->cells()->w2; }
inline void set_context_values(uint32_t context, uint32_t values) { series::buffer(context)->cells()->w2 = values; }

namespace detail {
[[noreturn]] void call_overflow();
extern const char* native_floor;  // lowest native stack address evaluation may reach
}  // namespace detail

// Cell index of a data-stack position, and back.
[[nodiscard]] inline uint32_t index_of(const Cell* cell) { return static_cast<uint32_t>(cell - data.bottom); }
[[nodiscard]] inline Cell* cell_at(uint32_t index) { return data.bottom + index; }

// Raises stack-overflow when evaluation is about to run the native stack out.
inline void check_native_depth() {
    const char* here = static_cast<const char*>(__builtin_frame_address(0));
    if (here < detail::native_floor) [[unlikely]] detail::call_overflow();
}

// Pushes a frame and makes the data top the new argument base; answers it.
inline Cell* mark(uint32_t symbol, uint32_t word_context, FrameKind kind, uint32_t flags = 0) {
    if (calls.top >= calls.limit) [[unlikely]] detail::call_overflow();
    check_native_depth();
    *calls.top++ = Frame{static_cast<uint32_t>(kind) << frame_flag::kind_shift | flags, symbol, index_of(data.base),
                         word_context, 0, 0};
    data.base = data.top;
    return data.base;
}

// A function call, remembering the function context's values reference.
inline Cell* mark_call(uint32_t symbol, uint32_t word_context, uint32_t function_context, uint32_t flags = 0) {
    Cell* base = mark(symbol, word_context, FrameKind::call, flags);
    Frame& f = calls.top[-1];
    f.function_context = function_context;
    f.saved_values = function_context ? context_values(function_context) : 0;
    return base;
}
inline Cell* mark_native(uint32_t symbol, uint32_t ctx = 0) { return mark(symbol, ctx, FrameKind::native); }
inline Cell* mark_try(uint32_t symbol, uint32_t ctx = 0) { return mark(symbol, ctx, FrameKind::try_); }
inline Cell* mark_try_all(uint32_t symbol, uint32_t ctx = 0) { return mark(symbol, ctx, FrameKind::try_all); }
inline Cell* mark_catch(uint32_t symbol, uint32_t ctx = 0) { return mark(symbol, ctx, FrameKind::catch_); }
inline Cell* mark_loop(uint32_t symbol, uint32_t ctx = 0) { return mark(symbol, ctx, FrameKind::loop); }
inline Cell* mark_eval_block(uint32_t symbol, uint32_t ctx = 0) {
    return mark(symbol, ctx, FrameKind::eval_block, frame_flag::interpreted);
}
inline Cell* mark_interp_native(uint32_t symbol, uint32_t ctx = 0) {
    return mark(symbol, ctx, FrameKind::native, frame_flag::interpreted);
}
inline Cell* mark_interp_function(uint32_t symbol, uint32_t ctx, uint32_t function_context) {
    return mark_call(symbol, ctx, function_context, frame_flag::interpreted);
}
// The body frame of a compiled function: the call frame's arguments become
// the function's local values.
inline Cell* mark_function(uint32_t symbol, uint32_t ctx, uint32_t function_context) {
    set_context_values(function_context, index_of(data.base) + 1);
    return mark(symbol, ctx, FrameKind::native, frame_flag::body);
}

[[nodiscard]] inline size_t call_depth() { return static_cast<size_t>(calls.top - calls.bottom); }
[[nodiscard]] inline Frame* top_frame() { return calls.top > calls.bottom ? calls.top - 1 : nullptr; }

// top := base + 1, then the value into the result slot.
inline void set_result_keep(const Cell& value) {
    keep();
    *data.base = value;
}
// An error! as the last cell goes into the result slot; then top := base + 1.
inline void reset_keep_error() {
    if (data.top > data.base && type_of(data.top[-1]) == TypeId::error) *data.base = data.top[-1];
    keep();
}

// Pops the frame: its result stays as the last cell of the enclosing frame.
inline void unwind() {
    const Frame& f = *--calls.top;
    data.top = data.base + 1;
    data.base = cell_at(f.saved_base);
}
// As unwind, after restoring the frame's function context.
inline void unwind_last() {
    const Frame& f = calls.top[-1];
    if (f.function_context) set_context_values(f.function_context, f.saved_values);
    unwind();
}
// Pops the frame and restores its context; nothing of the frame stays.
inline void unwind_last_reset() {
    const Frame& f = *--calls.top;
    if (f.function_context) set_context_values(f.function_context, f.saved_values);
    data.base = cell_at(f.saved_base);
    data.top = data.base;
}
// Pops the frame and copies its result into the enclosing result slot.
inline void unwind_set_result() {
    const Cell result = *data.base;
    unwind();
    *data.base = result;
}
inline void unwind_keep_result() {
    const Cell result = *data.base;
    unwind_last();
    *data.base = result;
}
// Pops the frame; the enclosing frame holds no value.
inline void revert() {
    const Frame& f = *--calls.top;
    data.base = cell_at(f.saved_base);
    data.top = data.base;
}
void unwind_checked();

// Pops frames through the innermost of the kind (or a try/all frame) and
// leaves that frame on the stack for the caller to close; the data stack
// stands at the found frame's argument base with its result slot kept.
// Answers the found frame, or nullptr when the stack ran out.
Frame* unwind_to(FrameKind kind, bool keep);
// unwind_to, then the remembered result moves into the found frame's
// result slot, which becomes the argument base with the top on it.
Frame* unwind_to_result(FrameKind kind);
inline Frame* unwind_to_loop(bool keep) { return unwind_to(FrameKind::loop, keep); }

inline void set_body_flag(bool on) {
    Frame& f = calls.top[-1];
    f.header = on ? f.header | frame_flag::body : f.header & ~frame_flag::body;
}
inline void set_interpreted() { calls.top[-1].header |= frame_flag::interpreted; }
// Whether an interpreted frame lies below `from` (default the top); only the
// frame directly below when last_only.
[[nodiscard]] bool has_flagged_frame(const Frame* from = nullptr, bool last_only = false);

// The innermost named call: its symbol and word context; symbol 0 when none.
// Starts at the throw position when one is recorded, and clears it.
struct CallName {
    uint32_t symbol = 0;
    uint32_t context = 0;
};
CallName get_call();

// A caught throw forgets the recorded throw position.
inline void clear_throw_position() { throw_position = -1; }

// An error on its way to a try frame: the innermost call's name (for the
// error's `where`) and the depth (for its `stack`), then the call stack is
// unwound through the innermost try or try/all frame, that frame popped as
// well, and the data top put back where it was. Answers whether a try frame
// was found.
struct ErrorUnwind {
    CallName where;
    uint32_t depth = 0;
    bool caught = false;
};
ErrorUnwind unwind_for_error();

// For the collector: calls mark(context, frame, is_function_context) for
// every context a frame holds, from the bottom up. A function context whose
// values live in a block also needs frame.saved_values marked.
template <class MarkContext>
void for_each_frame_context(MarkContext&& mark_context) {
    for (const Frame* p = calls.bottom; p < calls.top; p++) {
        if (p->word_context) mark_context(p->word_context, *p, false);
        if (p->function_context) mark_context(p->function_context, *p, true);
    }
}

}  // namespace qor::stack
