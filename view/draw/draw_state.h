// The state of one run of the draw dialect: what is drawn on (a cell grid),
// where the target's top-left corner is, the visible area, and the pen,
// fill and font settings that the commands change.
//
// Colours in the state are already in the grid's encoding (see
// view/terminal/cell_grid.h). A grid that stands for an image's pixels uses
// one more kind, `kind_image`, whose low 24 bits index the run's table of
// pixels, so that the alpha of a colour survives until the pixels are
// written.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "runtime/core/cell.h"
#include "view/terminal/cell_grid.h"
#include "view/terminal/face_render.h"

namespace qor::draw {

inline constexpr uint32_t kind_image = 5;

// Turns tuple! colours into the grid's colours.
class Colours {
public:
    enum class Target : uint8_t { terminal, image };

    explicit Colours(Target target = Target::terminal, bool true_colour = true)
        : target_(target), true_colour_(true_colour) {}

    // The colour of a 3- or 4-byte tuple! (the fourth byte is its
    // transparency). On the terminal a fully transparent colour is the
    // default colour.
    [[nodiscard]] uint32_t of_tuple(const Cell& tuple);

    // The pixel (opacity << 24 | RGB) of an image colour; black for the
    // default colour.
    [[nodiscard]] uint32_t pixel(uint32_t colour) const;

    [[nodiscard]] Target target() const { return target_; }

private:
    Target target_;
    bool true_colour_;
    std::vector<uint32_t> pixels_;  // image colours, by index
    std::unordered_map<uint32_t, uint32_t> index_;  // pixel -> its index
};

struct DrawState {
    tui::CellGrid* grid = nullptr;
    Cell target = unset_cell;    // the face or image drawn on
    int64_t origin_x = 0;        // grid cell of the target's top-left corner
    int64_t origin_y = 0;
    tui::Clip clip;              // visible area in grid cells (x2, y2 exclusive)
    bool pen = true;             // outlines are drawn
    uint32_t pen_color = 0;
    bool fill = false;           // shapes are filled
    uint32_t fill_color = 0;
    uint32_t font_color = 0;
    bool font_color_set = false;
    uint32_t text_mode = 0;      // attribute bits every text starts with
    Colours colours;
    int depth = 0;               // nesting of command blocks

    // The clip limited to the grid.
    [[nodiscard]] tui::Clip visible() const;
};

}  // namespace qor::draw
