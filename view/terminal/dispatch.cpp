// Event delivery and the call of the script side's awake handler.
#include "view/terminal/dispatch.h"

#include "runtime/datatypes/none.h"
#include "runtime/core/error_fire.h"
#include "runtime/errors/raise.h"
#include "runtime/eval/call_stack.h"
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

// Calls the handler with the event under a try/all frame; answers its
// result, or none when an error or a throw ended it.
Cell call_awake(const Cell& awake, const Cell& event) {
    const size_t depth = stack::call_depth();
    Cell* const base = stack::data.base;
    Cell* const top = stack::data.top;
    Cell result = none::value;
    const uint32_t name = symbol_of(Name::awake);
    stack::mark_try_all(name);
    try {
        const Cell args[1] = {event};
        interpreter::call_with(awake, args, word::make_cell(TypeId::word, 0, name, word::no_index));
        if (stack::exiting()) {
            stack::take_exit();
            stack::clear_throw_position();
        } else {
            result = stack::data.top[-1];
        }
    } catch (const error::Raised& raised) {
        (void)error::catch_raised(raised, top, false);
    }
    restore_stacks(depth, base, top);
    return result;
}

}  // namespace

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
    const Cell result = call_awake(awake, event);
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
