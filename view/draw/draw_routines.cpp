// The built-in routine behind `draw`: the draw dialect run on an image.
// Defining it also lets face rendering run faces' `draw` blocks.
#include "runtime/environment/routines.h"
#include "runtime/memory/data_stack.h"
#include "view/draw/draw_entry.h"
#include "view/draw/keywords.h"

namespace qor::environment {

namespace {

// draw-image image cmds: the result is the image.
void draw_image() { draw::draw_on_image(*stack::data.base, *(stack::data.base + 1)); }

}  // namespace

void define_draw_routines() {
    draw::refresh_keywords();
    draw::install_face_drawing();
    define_routine("draw-image",
                   R"spec(["Runs draw commands on an image" image [image!] cmds [block!] return: [image!]])spec",
                   draw_image);
}

}  // namespace qor::environment
