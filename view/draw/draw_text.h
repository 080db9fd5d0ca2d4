// Text on the character grid: a string, or a rich-text face with its style
// ranges, drawn at a position relative to the target, wrapping at the
// visible area's right edge, over the backgrounds already drawn.
#pragma once

#include "runtime/core/cell.h"
#include "view/draw/draw_state.h"
#include "view/draw/shapes.h"

namespace qor::draw {

// The text colour is the font's colour when one was set, else the pen's
// when the pen is on, else the default; escape sequences in a string
// style it further.
void text(DrawState& s, Pt position, const Cell& value);

// A font object's `color`, when a tuple, becomes the text colour.
void font(DrawState& s, const Cell& font_object);

// Whether the value is a face of type rich-text.
[[nodiscard]] bool is_rich_text_face(const Cell& value);

}  // namespace qor::draw
