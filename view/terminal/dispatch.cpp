// Event delivery and the call of the script side's awake handler.
#include "view/terminal/dispatch.h"

#include "runtime/datatypes/none.h"
#include "runtime/core/error_fire.h"
#include "runtime/errors/raise.h"
#include "runtime/memory/call_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/trace.h"
#include "runtime/memory/roots.h"
#include "runtime/words/word.h"
#include "view/terminal/face_fields.h"
#include "view/terminal/widget.h"

namespace qor::tui {

namespace {

// Pops the frames above `depth` (restoring the contexts of function calls)
// and puts the data stack back.
void restore_stacks(size_t depth, Cell* base, Cell* top) {
    while (stack::call_depth() > depth) {
        const stack::Frame& f = *--stack::calls.top;
        if (f.kind() == stack::FrameKind::call && f.function_context)
            stack::set_context_values(f.function_context, f.saved_values);
    }
    stack::data.base = base;
    stack::data.top = top;
}

struct AwakeCall {
    const Cell* awake;
    const Cell* event;
    uint32_t name;
    Cell result;
};

// Calls the handler with the event; its result is taken before the stacks
// are put back.
void call_awake(void* context) {
    auto& c = *static_cast<AwakeCall*>(context);
    const Cell args[1] = {*c.event};
    interpreter::call_with(*c.awake, args, word::make_cell(TypeId::word, 0, c.name, word::no_index));
    if (!stack::exiting()) c.result = stack::data.top[-1];
}

}  // namespace

bool run_guarded(uint32_t name, void (*call)(void*), void* context) {
    const size_t depth = stack::call_depth();
    Cell* const base = stack::data.base;
    Cell* const top = stack::data.top;
    bool ok = true;
    stack::mark_try_all(name);
    try {
        call(context);
        if (stack::exiting()) {
            stack::take_exit();
            stack::clear_throw_position();
            ok = false;
        }
    } catch (const error::Raised& raised) {
        (void)error::catch_raised(raised, top, false);
        ok = false;
    }
    restore_stacks(depth, base, top);
    return ok;
}

int dispatch_event(event::Type type, Widget& widget, event::Record& record, uint32_t flags) {
    const uint32_t id = widget.id;
    record.face = widget.face;
    const bool linked = widget_of_face(record.face) == &widget;
    event::LiveRecord live(record);
    const Cell awake = view_field(Name::awake);
    if (type_of(awake) != TypeId::function) return 0;
    Cell event = event::make_for(type, live, flags);
    const bool tracing = trace::state.on;
    trace::state.on = false;
    AwakeCall call{&awake, &event, symbol_of(Name::awake), none::value};
    const Cell result = run_guarded(call.name, call_awake, &call) ? call.result : none::value;
    trace::state.on = tracing;
    const int done = is_word(result, Name::done) ? answered_done : 0;
    // The handler may have rebuilt the face or destroyed the widget.
    const Widget* now = linked ? widget_of_face(record.face) : find_widget(id);
    if (!now || now->id != id) return widget_gone;
    return done;
}

int deliver(Widget& widget, event::Type type, event::Record& record, uint32_t flags) {
    if (widget.has(widget_flag::disabled)) return 0;
    const uint32_t id = widget.id;
    if (widget.on_event(widget, type, record) == widget_gone) return widget_gone;
    Widget* still = find_widget(id);
    if (!still) return widget_gone;
    if (type_of(still->face) != TypeId::object) return 0;
    return dispatch_event(type, *still, record, flags);
}

}  // namespace qor::tui
