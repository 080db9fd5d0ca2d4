// The terminal engine's state: one instance for the process, shared by the
// engine's parts (widgets and the grid, the terminal mode, input, the event
// loop), reset as a whole when the outermost event loop ends with no window
// left.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "view/terminal/cell_grid.h"
#include "view/terminal/input_decoder.h"
#include "view/terminal/timers.h"
#include "view/terminal/widget.h"

namespace qor::tui {

// The terminal side: modes, geometry and what the last frame left.
struct TerminalState {
    bool open = false;            // the view's terminal mode is in force
    bool cursor_hidden = false;
    bool alternate_screen = false;
    bool full_screen = false;     // the shown window is full-screen
    bool true_colour = true;      // colour depth: 24-bit, else the 256-colour palette
    int columns = 80;             // the window's size; 80 x 24 when unknown
    int rows = 24;
    int lines_up = 0;             // rows the cursor stands below the area's top
    bool frame_drawn = false;     // a frame was written since the last erase
    bool dirty = false;           // the grid is written at the next flush
    int origin_row = 0;           // the area's top-left corner on the terminal
    int origin_column = 0;
    bool ask_cursor = false;      // the next frame asks where its top-left corner is
    int replies_awaited = 0;      // cursor reports asked for and not yet read
    int in_fd = 0;                // the terminal's input and output
    int out_fd = 1;
};

// Whether and where a frame showed the terminal cursor.
struct Caret {
    bool shown = false;
    int column = -1;
    int row = -1;
    friend bool operator==(const Caret&, const Caret&) = default;
};

struct Backend {
    // Widgets, by id.
    std::unordered_map<uint32_t, std::unique_ptr<Widget>> widgets;
    uint32_t last_widget_id = 0;

    // The windows in drawing and activation order (the last is on top).
    std::vector<Widget*> windows;
    Widget* active = nullptr;
    Widget* focused = nullptr;
    Widget* hovered = nullptr;
    Widget* captured = nullptr;
    std::vector<Widget*> pressed;  // widgets that got `down` in the current press

    CellGrid grid;
    CellGrid shown;                // what the terminal shows, for writing only changes
    bool shown_valid = false;      // `shown` matches the terminal
    Caret shown_caret;             // where the last frame left the cursor
    int caret_column = -1;         // where the focused text widget's caret is
    int caret_row = -1;

    // Mouse state.
    bool released = true;          // the last press/release report was a release
    Point last_pointer;
    int click_state = 0;           // 0 idle, 2 after a click, 10 after a double click
    int click_hold = 0;            // milliseconds since the last click

    TerminalState terminal;

    // The event loop.
    int loop_depth = 0;
    bool mouse_reporting = false;
    int64_t last_tick = -1;        // when the timers were last charged (ms, monotonic)
    Timers timers;
    InputDecoder input;
    std::string output;            // one frame, written at once
};

[[nodiscard]] Backend& backend();

// Frees every widget and empties all state; the terminal's descriptors stay.
void reset_backend();

}  // namespace qor::tui
