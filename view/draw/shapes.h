// The shapes that reach the character grid: lines, polylines, boxes,
// triangles, ellipses and circles, drawn with the pen (U+2588 full blocks
// or frame characters in the pen colour) and the fill (spaces on the fill
// colour) of a draw state.
//
// Every operation takes coordinates relative to the target, adds the
// state's origin, and draws only inside the visible area. Each works out the
// visible part first, so its cost follows the visible area and never the
// size of the shape: a line to a point a billion cells away takes as many
// steps as the grid is wide.
#pragma once

#include <cstdint>
#include <span>

#include "view/draw/draw_state.h"

namespace qor::draw {

struct Pt {
    int64_t x = 0;
    int64_t y = 0;
    friend bool operator==(const Pt&, const Pt&) = default;
};

inline constexpr uint32_t full_block = 0x2588;

// The cells of the integer Bresenham walk from a to b (in grid cells) that
// lie inside the clip, in walk order; `plot(x, y)` is called for each.
// The walk is not stepped through: the cell of each column (or row, for a
// steep line) inside the clip is computed directly.
template <class Plot>
void walk_line(Pt a, Pt b, const tui::Clip& clip, Plot&& plot);

void line(DrawState& s, Pt a, Pt b);
void polyline(DrawState& s, std::span<const Pt> points);
// The corners in either order; both are inside the box.
void box(DrawState& s, Pt a, Pt b);
void triangle(DrawState& s, Pt a, Pt b, Pt c);
// The ellipse inscribed in the box of `size` cells at `top_left`; nothing
// when a side is below 1.
void ellipse(DrawState& s, Pt top_left, Pt size);
// The circle of radius r around the centre: as wide as 4r cells and as high
// as 2r rows, since a cell is about twice as high as it is wide. Nothing
// when r < 1.
void circle(DrawState& s, Pt centre, int64_t radius);

// ---- implementation of the template

namespace detail {
// floor(n / d) for d > 0, on 128 bits so that no coordinates overflow.
[[nodiscard]] inline int64_t floor_div(__int128 n, __int128 d) {
    __int128 q = n / d;
    if ((n % d != 0) && (n < 0)) q--;
    return static_cast<int64_t>(q);
}
}  // namespace detail

template <class Plot>
void walk_line(Pt a, Pt b, const tui::Clip& clip, Plot&& plot) {
    if (clip.empty()) return;
    const int64_t ax = a.x < b.x ? b.x - a.x : a.x - b.x;
    const int64_t ay = a.y < b.y ? b.y - a.y : a.y - b.y;
    const int64_t sx = a.x < b.x ? 1 : -1;
    const int64_t sy = a.y < b.y ? 1 : -1;
    // The walk steps the major axis once per cell; the minor coordinate at
    // step k is floor((2k * minor + major) / (2 * major)), exactly where the
    // error term puts it. Only the steps whose major coordinate is inside
    // the clip are visited.
    const bool x_major = ax >= ay;
    const int64_t major = x_major ? ax : ay;
    const int64_t minor = x_major ? ay : ax;
    const int64_t m0 = x_major ? a.x : a.y;
    const int64_t n0 = x_major ? a.y : a.x;
    const int64_t ms = x_major ? sx : sy;
    const int64_t ns = x_major ? sy : sx;
    const int64_t lo = x_major ? clip.x1 : clip.y1;
    const int64_t hi = x_major ? clip.x2 - 1 : clip.y2 - 1;
    const int64_t nlo = x_major ? clip.y1 : clip.x1;
    const int64_t nhi = x_major ? clip.y2 - 1 : clip.x2 - 1;
    int64_t k0 = ms > 0 ? lo - m0 : m0 - hi;
    int64_t k1 = ms > 0 ? hi - m0 : m0 - lo;
    if (k0 < 0) k0 = 0;
    if (k1 > major) k1 = major;
    // Coordinates below 2^30 keep the products in 64 bits.
    const bool narrow = major < (int64_t{1} << 30);
    for (int64_t k = k0; k <= k1; k++) {
        int64_t step = 0;
        if (major != 0)
            step = narrow ? (2 * k * minor + major) / (2 * major)
                          : detail::floor_div(__int128{2} * k * minor + major, __int128{2} * major);
        const int64_t n = n0 + ns * step;
        if (n < nlo || n > nhi) {
            // The minor coordinate only moves one way: once past the clip it stays out.
            if ((ns > 0 && n > nhi) || (ns < 0 && n < nlo)) return;
            continue;
        }
        const int64_t m = m0 + ms * k;
        if (x_major) plot(static_cast<int>(m), static_cast<int>(n));
        else plot(static_cast<int>(n), static_cast<int>(m));
    }
}

}  // namespace qor::draw
