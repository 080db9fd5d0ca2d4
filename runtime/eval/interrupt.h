// Ctrl-C during an evaluation at an interactive console: the request the
// signal handler leaves is taken between expressions and becomes the
// console's halt (the throw `halt` makes), which returns to the prompt.
#pragma once

#include "runtime/platform/fault_signals.h"

namespace qor::interrupt {

// Whether Ctrl-C asked for a halt (the check every expression makes).
[[nodiscard]] inline bool requested() { return platform::interrupt_pending != 0; }

// Takes the request. When a catch is there to receive it, starts the halt
// throw and answers true; otherwise the request is dropped (the console's
// own code is running between two evaluations).
bool take();

// Drops a request left from before (a Ctrl-C that came while nothing ran).
inline void forget() { platform::interrupt_pending = 0; }

// Whether Ctrl-C halted an evaluation since the start.
[[nodiscard]] bool halted();

}  // namespace qor::interrupt
