// Where the draw dialect meets its targets: a face's `draw` block, drawn by
// face rendering into the terminal's cell grid inside the widget, and the
// pixels of an image, each of which is drawn on as one cell.
#pragma once

#include "runtime/core/cell.h"

namespace qor::draw {

// Lets face rendering run `draw` blocks; called once at start-up.
void install_face_drawing();

// Runs the commands on the image! (nothing when a side is 0), then tells
// the image's owners of the change. A cell drawn with a character takes
// the colour it was drawn in (black for the default pen), a filled cell
// the fill colour; cells not drawn keep their pixels. An error stops the
// drawing after writing what was drawn, and is raised again.
void draw_on_image(const Cell& image, const Cell& commands);

}  // namespace qor::draw
