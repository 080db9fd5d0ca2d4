// The draw dialect's entries: faces on the terminal and images.
#include "view/draw/draw_entry.h"

#include <algorithm>

#include "runtime/datatypes/image.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/image/record.h"
#include "runtime/memory/series_tail.h"
#include "view/draw/dialect.h"
#include "view/draw/draw_state.h"
#include "view/terminal/backend.h"
#include "view/terminal/face_render.h"
#include "view/terminal/widget.h"

namespace qor::draw {

namespace {

// A face's draw block inside its widget: the widget's top-left cell is the
// origin and its visible rectangle the clip.
void draw_face(tui::Widget& w, const Cell& commands, int x, int y, const tui::Clip& clip) {
    tui::Backend& b = tui::backend();
    DrawState s;
    s.grid = &b.grid;
    s.target = w.face;
    s.origin_x = x;
    s.origin_y = y;
    s.clip = clip;
    s.colours = Colours(Colours::Target::terminal, b.terminal.true_colour);
    run_commands(s, commands);
}

// Image rows drawn in one pass: a strip as wide as the image of at most this
// many cells, so the cells of a large image are never all held at once.
constexpr uint64_t strip_cells = uint64_t{1} << 22;

// The pixels of the cells drawn in a strip whose first row is image row y0.
void write_pixels(const tui::CellGrid& grid, const Colours& colours, image::Pixels& pixels, uint32_t y0) {
    for (int y = 0; y < grid.height(); y++) {
        uint32_t* row = pixels.row(y0 + static_cast<uint32_t>(y));
        for (int x = 0; x < grid.width(); x++) {
            const tui::GridCell& c = grid.at(x, y);
            if (c.ch == ' ') {
                if (c.bg != 0) row[x] = colours.pixel(c.bg);
            } else if (c.ch != 0 || (c.attrs & tui::attr::continuation)) {
                row[x] = colours.pixel(c.fg);
            }
        }
    }
}

}  // namespace

void install_face_drawing() { tui::set_draw_hook(draw_face); }

void draw_on_image(const Cell& image, const Cell& commands) {
    const uint32_t width = image_type::width(image), height = image_type::height(image);
    if (width == 0 || height == 0 || !image_type::pixels(image)) return;
    if (type_of(commands) != TypeId::block || series_tail::cell_count(commands) == 0) return;
    const uint32_t rows = static_cast<uint32_t>(std::max<uint64_t>(1, strip_cells / width));
    series_type::Notice notice(image, ownership::Change::poke, &image, -1, 0);
    tui::CellGrid grid;
    for (uint32_t y0 = 0; y0 < height; y0 += rows) {
        const uint32_t strip = std::min(rows, height - y0);
        grid.resize(static_cast<int>(width), static_cast<int>(strip));
        grid.clear();
        DrawState s;
        s.grid = &grid;
        s.target = image;
        s.origin_y = -int64_t{y0};
        s.clip = tui::Clip{0, 0, static_cast<int>(width), static_cast<int>(strip)};
        s.colours = Colours(Colours::Target::image);
        try {
            run_commands(s, commands);
        } catch (...) {
            write_pixels(grid, s.colours, *image_type::pixels(image), y0);
            image::mark_modified(image.w2);
            throw;
        }
        // Pixels are found again after the run: nothing moves them, but the
        // record is the one authority on where they are.
        write_pixels(grid, s.colours, *image_type::pixels(image), y0);
    }
    image::mark_modified(image.w2);
    notice.done(&image, -1, 0);
}

}  // namespace qor::draw
