// Rendering faces into the cell grid: the background, the widget's own
// texts, the face text placed by its paragraph alignment (or the dimmed
// hint of an empty field, or a rich-text widget's styled characters), each
// clipped to the widget and its parent.
//
// Text is laid out by display width (0, 1 or 2 cells a character); a line
// feed starts a new line at the text's origin. Control characters are drawn
// as visible replacements, never as themselves. With escape interpretation
// on, SGR sequences in the text change the style for the rest of it and
// take no cells.
#pragma once

#include <cstdint>
#include <span>

#include "runtime/core/cell.h"
#include "view/terminal/cell_grid.h"

namespace qor::tui {

struct Widget;

// Bits of a render mode besides the attribute bits added to every cell.
namespace render_mode {
inline constexpr uint32_t attributes = 0xFFF;
inline constexpr uint32_t escapes = 0x1000;    // interpret escape sequences in the text
inline constexpr uint32_t no_text = 0x2000;    // leave the face text out
}  // namespace render_mode

// Paragraph alignment bits.
namespace align {
inline constexpr uint32_t right = 0x1;
inline constexpr uint32_t center = 0x2;
inline constexpr uint32_t middle = 0x4;
inline constexpr uint32_t bottom = 0x8;
inline constexpr uint32_t wrap = 0x20;
}  // namespace align

// A rectangle of grid cells; x2 and y2 exclusive.
struct Clip {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    [[nodiscard]] bool empty() const { return x2 - x1 < 1 || y2 - y1 < 1; }
};

// A background that leaves each cell's own background as it is.
inline constexpr uint32_t keep_background = 0xFF000000;

struct TextStyle {
    uint32_t fg = 0;
    uint32_t bg = 0;
    uint32_t attrs = 0;
    bool wrap = false;
    bool escapes = false;
};

// Draws a string! from its index at (x, y) in the style, inside the clip.
void draw_text(CellGrid& grid, const Cell& text, int x, int y, const Clip& clip, const TextStyle& style);

// Draws styled characters (a cell each: code point, colours, attributes).
void draw_cells(CellGrid& grid, std::span<const GridCell> cells, int x, int y, const Clip& clip, bool wrap);

struct TextSize {
    int width = 0;      // of the widest line, in cells
    int lines = 0;
    uint32_t count = 0; // characters taken
};

// Measures a string! from its index until its tail, or until the current
// line reaches `limit` cells; when the widest line passes the limit, its
// last character is given back.
[[nodiscard]] TextSize measure_text(const Cell& text, int limit);

// The alignment bits of a para! object (0 for anything else).
[[nodiscard]] uint32_t para_code(const Cell& para);

// Runs a face's `draw` block (a non-empty block!) for the widget drawn at
// (x, y) inside the clip. Installed by the draw dialect; face rendering
// calls it last.
using DrawHook = void (*)(Widget& widget, const Cell& commands, int x, int y, const Clip& clip);
void set_draw_hook(DrawHook hook);

// Renders the widget's face at the absolute cell (x, y) with the mode.
void render_face(int x, int y, Widget& widget, uint32_t mode);

// Fits the grid to the window, clears it and renders the window's tree.
void render_window(Widget& root, int max_columns, int max_rows);

}  // namespace qor::tui
