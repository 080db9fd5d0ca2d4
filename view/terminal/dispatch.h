// Handing events to widgets and to the script side.
//
// An event for a widget goes first to its class handler (the built-in
// behaviour of fields, lists, buttons), then, when the widget shows a face,
// to `system/view/awake` as an event! value. The event value reads the
// record only while the dispatch runs (event.h).
#pragma once

#include <cstdint>

#include "runtime/datatypes/event.h"

namespace qor::tui {

struct Widget;

// What a dispatch answers: nothing special, the handler answered `done`,
// or the widget's face was rebuilt or destroyed meanwhile (stop delivering).
inline constexpr int answered_done = 1;
inline constexpr int widget_gone = 2;

// Runs script-facing work under a try/all frame named by the symbol
// `name`: an error or a throw ends it there, and both stacks are put back.
// Answers false when it failed.
bool run_guarded(uint32_t name, void (*call)(void*), void* context);

// Calls `system/view/awake` with the event under a try/all frame, tracing
// off: errors and throws inside it end there. Answers 1 when its result is
// the word `done`, 2 when the face no longer leads to the widget, else 0.
int dispatch_event(event::Type type, Widget& widget, event::Record& record, uint32_t flags);

// Delivery to a widget: nothing for a disabled one; its class handler, and
// when that does not answer 2, the dispatch to the script side.
int deliver(Widget& widget, event::Type type, event::Record& record, uint32_t flags);

}  // namespace qor::tui
