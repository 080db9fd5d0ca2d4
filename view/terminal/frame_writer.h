// Turning the cell grid into the bytes of one frame: cursor placement at the
// top of the drawn area, each cell with only the SGR changes it needs, and
// the cursor left on the caret of the focused text widget.
//
// Everything here appends to a byte string and keeps no state of its own, so
// a frame is exactly what its inputs say; the terminal layer writes it.
#pragma once

#include <cstdint>
#include <string>

#include "view/terminal/cell_grid.h"

namespace qor::tui {

// The style of the last cell written.
struct Style {
    uint32_t bg = 0;
    uint32_t fg = 0;
    uint32_t attrs = 0;
};

// Where the frame goes and what the cursor does after it.
struct FramePlacement {
    bool full_screen = false;   // the alternate screen: drawn from its home
    int lines_up = 0;           // rows the cursor stands below the area's top
    bool show_caret = false;    // the focused widget shows the terminal cursor
    int caret_column = -1;      // the caret cell; negative when not set
    int caret_row = -1;
    bool true_colour = true;    // the terminal shows 24-bit colours
    int columns = 80;           // the terminal's width
};

// Appends "\e[" n final: the cursor movements and the SGR codes.
void append_csi(std::string& out, int64_t n, char final);

// A control character (C0, DEL, C1) as the visible character drawn in its
// place, so no text can reach the terminal as a control; a value that is no
// code point as U+FFFD; 0 as a space. Other characters stay as they are.
[[nodiscard]] uint32_t visible_char(uint32_t c);

// Appends "\e[...m" selecting the colour as foreground or background.
void vt_color(std::string& out, uint32_t colour, bool foreground, bool true_colour);

// Appends the SGR changes from the running style to the cell's and answers
// the cell's style.
Style sgr_attributes(std::string& out, Style running, const GridCell& cell, bool true_colour);

// Appends the whole frame for the grid and updates `lines_up`. A grid with
// no cells appends nothing.
void write_frame(std::string& out, const CellGrid& grid, FramePlacement& placement);

// Appends only what differs between `shown` (what the terminal shows, of
// the same size) and the grid: the cursor moves to each run of changed
// cells and writes it. Then the cursor goes to the caret as write_frame
// leaves it, and `lines_up` is updated.
void write_changes(std::string& out, const CellGrid& grid, const CellGrid& shown, FramePlacement& placement);

}  // namespace qor::tui
