// The cell grid: one record per character position of the drawn area, into
// which the widget tree is rendered each frame that something changed and
// from which the frame writer builds the bytes for the terminal.
//
// A cell holds a code point (0 is drawn as a space), a background and a
// foreground colour and attribute bits. A colour is 32 bits whose top byte
// is its kind:
//   0  the terminal's default colour
//   1  a basic slot in the low byte: 0-7 the normal colours, 8 reset,
//      9 default, 10-17 the bright colours
//   2  an index 0-255 of the 256-colour palette in the low byte
//   4  a true colour 0xRRGGBB in the low three bytes
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/core/cell.h"

namespace qor::tui {

namespace attr {
inline constexpr uint32_t blink = 0x1;       // kept, not written
inline constexpr uint32_t bold = 0x2;
inline constexpr uint32_t dim = 0x4;
inline constexpr uint32_t reverse = 0x8;
inline constexpr uint32_t underline = 0x10;
inline constexpr uint32_t strike = 0x40;
inline constexpr uint32_t italic = 0x100;
inline constexpr uint32_t conceal = 0x200;   // kept, not written
inline constexpr uint32_t continuation = 0x400;  // right half of a double-width character
inline constexpr uint32_t masked = 0x800;    // written as "*"
}  // namespace attr

namespace colour {
inline constexpr uint32_t kind_default = 0;
inline constexpr uint32_t kind_basic = 1;
inline constexpr uint32_t kind_palette = 2;
inline constexpr uint32_t kind_rgb = 4;
[[nodiscard]] constexpr uint32_t kind(uint32_t c) { return c >> 24; }
[[nodiscard]] constexpr uint32_t basic(uint32_t slot) { return kind_basic << 24 | (slot & 0xFF); }
[[nodiscard]] constexpr uint32_t palette(uint32_t index) { return kind_palette << 24 | (index & 0xFF); }
[[nodiscard]] constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) {
    return kind_rgb << 24 | (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
}
}  // namespace colour

struct GridCell {
    uint32_t ch = 0;
    uint32_t bg = 0;
    uint32_t fg = 0;
    uint32_t attrs = 0;

    friend bool operator==(const GridCell&, const GridCell&) = default;
};
static_assert(sizeof(GridCell) == 16);

// Width x height cells in one allocation, row-major, reused while the size
// does not grow.
class CellGrid {
public:
    [[nodiscard]] int width() const { return width_; }
    [[nodiscard]] int height() const { return height_; }

    // Takes the new size; the cells are reallocated only when they no
    // longer fit. The contents are undefined until `clear`.
    void resize(int width, int height);
    // Every cell back to zero (a default-coloured space).
    void clear();

    [[nodiscard]] GridCell& at(int x, int y) { return cells_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)]; }
    [[nodiscard]] const GridCell& at(int x, int y) const {
        return cells_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
    }
    [[nodiscard]] bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    // Gives the allocation back (the backend's state reset).
    void release();

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<GridCell> cells_;
};

// The entry of the 256-colour palette nearest to the colour: the nearer of
// the 6x6x6 cube's and the grey ramp's candidates (a tie goes to the grey).
[[nodiscard]] uint8_t nearest_palette(uint32_t r, uint32_t g, uint32_t b);

// The colour of a tuple! value (first component in the low byte, alpha in
// the top byte, 0 for a three-byte tuple): the default colour when its alpha
// is 255, else the nearest palette entry. Anything else is the default.
[[nodiscard]] uint32_t colour_of_tuple(const Cell& value);

// A true colour as the terminal shows it at its depth: unchanged with true
// colour, else as the nearest palette entry.
[[nodiscard]] uint32_t at_depth(uint32_t colour, bool true_colour);

}  // namespace qor::tui
