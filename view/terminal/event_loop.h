// The event loop: frames of 33 ms that read the terminal's input, run the
// timers by the time that really passed, flush the screen and deliver the
// decoded input. It nests (a handler may run the loop again); each waiting
// level ends when `post_quit` brings the depth back to where it started.
//
// The outermost waiting level opens the terminal mode (when standard input
// and output are terminals) and closes it when it ends; with no window left
// then, the engine's whole state is reset.
//
// Entries for the language:
//   do-events [/no-wait]   -> do_events(no_wait)
//   exit-event-loop        -> post_quit()
//   wait (each of its waits) -> wait_events(), or run_for(seconds), which
//                            keeps an open view running for the whole wait
#pragma once

#include <cstdint>

namespace qor::tui {

struct Widget;

// The frame length, in milliseconds.
inline constexpr int frame_ms = 33;

// Runs the loop: until the depth falls back (waiting), or one frame when
// input is pending (`no_wait`: none pending answers false at once). Answers
// whether the last look at the input found some.
bool do_events(bool no_wait);

// Ends the innermost waiting loop after its current frame.
void post_quit();

// One pass without waiting while the terminal mode is open; nothing
// otherwise.
void wait_events();

// While a view is shown (opening the terminal mode for the wait when no
// loop has it open) or the terminal mode is open: runs frames until
// `seconds` have passed (or the innermost loop is asked to end) and answers
// true. Otherwise (no view, or no terminal) answers false at once, and the
// caller sleeps as it would have.
bool run_for(double seconds);

// Timers of widgets: each delivers `time` events to its owner.
void add_timer(Widget* owner, int32_t interval_ms);

}  // namespace qor::tui
