// The cell grid's storage and the colour conversions into its colours.
#include "view/terminal/cell_grid.h"

#include <cstring>

namespace qor::tui {

void CellGrid::resize(int width, int height) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    const size_t needed = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (needed > cells_.size()) cells_.resize(needed);
    width_ = width;
    height_ = height;
}

void CellGrid::clear() {
    const size_t used = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    if (used > 0) std::memset(static_cast<void*>(cells_.data()), 0, used * sizeof(GridCell));
}

void CellGrid::release() {
    cells_ = {};
    width_ = height_ = 0;
}

namespace {

// The standard palette's value of a cube level and of a grey step.
constexpr uint32_t cube_value[6] = {0, 95, 135, 175, 215, 255};

uint32_t cube_level(uint32_t v) {
    if (v < 48) return 0;
    if (v < 115) return 1;
    return (v - 35) / 40;
}

uint32_t squared_distance(uint32_t r, uint32_t g, uint32_t b, uint32_t pr, uint32_t pg, uint32_t pb) {
    const auto d = [](uint32_t a, uint32_t c) { return (a > c ? a - c : c - a) * (a > c ? a - c : c - a); };
    return d(r, pr) + d(g, pg) + d(b, pb);
}

}  // namespace

uint8_t nearest_palette(uint32_t r, uint32_t g, uint32_t b) {
    r &= 0xFF;
    g &= 0xFF;
    b &= 0xFF;
    const uint32_t r6 = cube_level(r), g6 = cube_level(g), b6 = cube_level(b);
    const uint32_t cube = 16 + 36 * r6 + 6 * g6 + b6;
    const uint32_t average = (r + g + b) / 3;
    const uint32_t level = average > 238 ? 23 : (average < 3 ? 0 : (average - 3) / 10);
    const uint32_t grey = 8 + 10 * level;
    const uint32_t to_cube = squared_distance(r, g, b, cube_value[r6], cube_value[g6], cube_value[b6]);
    const uint32_t to_grey = squared_distance(r, g, b, grey, grey, grey);
    return static_cast<uint8_t>(to_grey <= to_cube ? 232 + level : cube);
}

uint32_t colour_of_tuple(const Cell& value) {
    if (type_of(value) != TypeId::tuple) return 0;
    const uint32_t length = (value.header & cell_flag::tuple_length_mask) >> cell_flag::tuple_length_shift;
    uint8_t bytes[12];
    std::memcpy(bytes, &value.w1, sizeof bytes);
    if (length < 3) return 0;
    const uint32_t alpha = length >= 4 ? bytes[3] : 0;
    if (alpha == 255) return 0;
    return colour::palette(nearest_palette(bytes[0], bytes[1], bytes[2]));
}

uint32_t at_depth(uint32_t c, bool true_colour) {
    if (true_colour || colour::kind(c) != colour::kind_rgb) return c;
    return colour::palette(nearest_palette(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF));
}

}  // namespace qor::tui
