// The draw dialect plugged into the terminal engine at start-up: face
// rendering runs faces' `draw` blocks, and the platform's draw-image runs
// draw blocks on images.
#include "runtime/environment/routines.h"
#include "view/draw/draw_entry.h"
#include "view/draw/keywords.h"
#include "view/terminal/platform.h"

namespace qor::environment {

void install_draw_dialect() {
    draw::refresh_keywords();
    draw::install_face_drawing();
    tui::set_draw_image_hook(draw::draw_on_image);
}

}  // namespace qor::environment
