// The non-local exits: seeking the frame that catches one and unwinding to it.
#include "runtime/eval/nonlocal_exits.h"

#include "runtime/core/error_fire.h"
#include "runtime/datatypes/unset.h"
#include "runtime/eval/interpreter.h"

namespace qor::stack {

namespace {

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

}  // namespace qor::stack
