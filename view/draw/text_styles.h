// Rich text: styled characters (one grid cell each: code point, colours,
// attributes) made from a string and the style ranges of a rich-text face's
// `data` block.
//
// A data block holds ranges, each a pair! of a 1-based start and a length
// in characters, each followed by its styles: a colour tuple! (the text
// colour), `backdrop` and a colour, `bold`, `italic`, `underline`,
// `strike` (each may be followed by a colour or a lit-word, which are read
// over), and font arguments, `border` or a font object, which change
// nothing on a terminal. A range that runs past the text is cut at its end.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "runtime/core/cell.h"
#include "view/draw/draw_state.h"
#include "view/terminal/cell_grid.h"

namespace qor::draw {

// The style operations on the cells from `start` (0-based) for `length`.
void style_foreground(std::span<tui::GridCell> cells, int64_t start, int64_t length, uint32_t colour);
void style_background(std::span<tui::GridCell> cells, int64_t start, int64_t length, uint32_t colour);
void style_attribute(std::span<tui::GridCell> cells, int64_t start, int64_t length, uint32_t bit);

// Applies the styles of a data block (anything but a block! applies none).
void apply_text_styles(std::span<tui::GridCell> cells, const Cell& data, Colours& colours);

// The cells of a string! from its index, in the colours given.
void text_cells(const Cell& text, uint32_t fg, uint32_t bg, std::vector<tui::GridCell>& out);

}  // namespace qor::draw
