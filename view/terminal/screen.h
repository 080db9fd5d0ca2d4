// The screen flush, once a frame: when something changed, the active window
// is rendered into the grid and what differs from the terminal's picture is
// written in one write (the whole area after a print, a resize or on the
// first frame), with the cursor left on the focused text widget's caret.
// While the terminal mode is not open, nothing is drawn.
#pragma once

namespace qor::tui {

void flush_screen();

}  // namespace qor::tui
