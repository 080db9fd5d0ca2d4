// What widget classes ask of the script side: face fields by name, setting
// a face field as an assignment does (its change handler runs), the calls of
// the terminal helpers that build a widget's text, and event notices sent to
// a face.
//
// Script code may fail or rebuild faces; every call here is guarded (an
// error ends the call, not the event loop) and the callers hold widgets by
// id across it.
#pragma once

#include <cstdint>
#include <string_view>
#include <type_traits>

#include "runtime/core/cell.h"
#include "runtime/datatypes/event.h"
#include "view/terminal/widget.h"

namespace qor::tui::widgets {

// The words widget classes read, interned once (see `intern_widget_names`).
enum class WName : uint8_t {
    type, offset, size, text, image, data, enabled_q, visible_q, selected, flags, options, parent, pane, rate,
    font, para, state, color, caret, border_corners, border_color, round_, tui_helpers, make_progress_ui,
    make_text_list_ui, make_checkbox_ui, make_radio_ui,
    count_
};

[[nodiscard]] uint32_t symbol_of(WName name);
void intern_widget_names();

// The value of an object's field, or none.
[[nodiscard]] Cell field_of(const Cell& object, WName name);
// Whether a value is the word of the name (ignoring case).
[[nodiscard]] bool is_name(const Cell& value, WName name);

// Runs script-facing work (a change that tells the face's handlers) under
// a try/all frame: an error or a throw ends it there and the stacks are put
// back. Answers false when it failed.
bool run_guarded(void (*call)(void*), void* context);

template <class F>
bool guarded(F&& call) {
    return run_guarded([](void* f) { (*static_cast<std::remove_reference_t<F>*>(f))(); }, &call);
}

// Sets the face field as `face/field: value` does: the value is stored and
// the face's on-change* handler runs. Guarded: answers false when script
// code failed.
bool set_face_field(const Cell& face, WName name, const Cell& value);

// Calls the terminal helper (a function field of the global `TUI-helpers`)
// with the face. Nothing when there is no such function. Guarded.
void call_helper(WName helper, const Cell& face);

// Sends a notice to the widget's face without its class handler (`click`
// from a button's space key, `change` from a toggled check box). Answers
// as the dispatch does.
int notify(Widget& widget, event::Type type, int32_t picked = 0);

}  // namespace qor::tui::widgets
