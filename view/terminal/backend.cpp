// The engine's state.
#include "view/terminal/backend.h"

namespace qor::tui {

namespace {
Backend the_backend;
}

Backend& backend() { return the_backend; }

void reset_backend() {
    const int in_fd = the_backend.terminal.in_fd;
    const int out_fd = the_backend.terminal.out_fd;
    the_backend.windows.clear();
    the_backend.widgets.clear();
    the_backend.active = the_backend.focused = the_backend.hovered = the_backend.captured = nullptr;
    the_backend.pressed.clear();
    the_backend.grid.release();
    the_backend.shown.release();
    the_backend.shown_valid = false;
    the_backend.shown_caret = Caret{};
    the_backend.caret_column = the_backend.caret_row = -1;
    the_backend.released = true;
    the_backend.last_pointer = Point{};
    the_backend.click_state = the_backend.click_hold = 0;
    the_backend.terminal = TerminalState{};
    the_backend.terminal.in_fd = in_fd;
    the_backend.terminal.out_fd = out_fd;
    the_backend.loop_depth = 0;
    the_backend.last_tick = -1;
    the_backend.mouse_reporting = false;
    the_backend.timers.clear();
    the_backend.input.clear();
    the_backend.output = {};
}

}  // namespace qor::tui
