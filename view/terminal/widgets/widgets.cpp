// Face images as cells: each cell shows two pixel rows.
#include "view/terminal/widgets/widgets.h"

#include <cstdint>

#include "runtime/datatypes/image.h"
#include "view/terminal/backend.h"

namespace qor::tui::widgets {

void set_image(Widget& w, const Cell& img) {
    w.image = ImageCells{};
    const int cols = width_of(w), rows = height_of(w);
    if (type_of(img) != TypeId::image || cols < 1 || rows < 1) return;
    const image::Pixels* px = image_type::pixels(img);
    if (!px || px->width == 0 || px->height == 0) return;
    const bool true_colour = backend().terminal.true_colour;
    auto colour = [&](uint32_t p) {
        return at_depth(colour::rgb(image::red(p), image::green(p), image::blue(p)), true_colour);
    };
    // Nearest pixel of the image scaled to cols x (2 x rows).
    auto pixel = [&](int x, int y) {
        const uint32_t sx = static_cast<uint32_t>(uint64_t(x) * px->width / uint64_t(cols));
        const uint32_t sy = static_cast<uint32_t>(uint64_t(y) * px->height / uint64_t(2 * rows));
        return px->row(sy)[sx];
    };
    w.image.width = cols;
    w.image.height = rows;
    w.image.cells.resize(static_cast<size_t>(cols) * static_cast<size_t>(rows));
    for (int r = 0; r < rows; r++) {
        for (int c = 0; c < cols; c++) {
            const uint32_t upper = pixel(c, 2 * r);
            const uint32_t lower = pixel(c, 2 * r + 1);
            GridCell& cell = w.image.cells[static_cast<size_t>(r) * static_cast<size_t>(cols) + static_cast<size_t>(c)];
            if (image::opacity(upper) == 0) cell = GridCell{' ', 0, 0, 0};
            else cell = GridCell{0x2584, colour(upper), colour(lower), 0};
        }
    }
}

}  // namespace qor::tui::widgets
