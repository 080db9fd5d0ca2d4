// Lines, boxes, triangles and ellipses on the cell grid.
#include "view/draw/shapes.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qor::draw {

namespace {

constexpr uint32_t corner_top_left = 0x250C;
constexpr uint32_t corner_top_right = 0x2510;
constexpr uint32_t corner_bottom_left = 0x2514;
constexpr uint32_t corner_bottom_right = 0x2518;
constexpr uint32_t edge_vertical = 0x2502;
constexpr uint32_t edge_horizontal = 0x2500;

Pt at_origin(const DrawState& s, Pt p) { return Pt{p.x + s.origin_x, p.y + s.origin_y}; }

bool inside(const tui::Clip& c, int64_t x, int64_t y) { return x >= c.x1 && x < c.x2 && y >= c.y1 && y < c.y2; }

// An outline cell: the character in the pen colour; the background stays.
void stroke(DrawState& s, int x, int y, uint32_t ch) {
    tui::GridCell& cell = s.grid->at(x, y);
    cell.ch = ch;
    cell.fg = s.pen_color;
}

// Fills the cells from x1 to x2 (inclusive) of a row, inside the clip: a
// space on the fill colour; the foreground stays.
void fill_span(DrawState& s, const tui::Clip& c, int64_t y, int64_t x1, int64_t x2) {
    if (y < c.y1 || y >= c.y2) return;
    const int64_t from = std::max<int64_t>(x1, c.x1);
    const int64_t to = std::min<int64_t>(x2, c.x2 - 1);
    if (from > to) return;
    // The cells of a row are consecutive.
    tui::GridCell* cell = &s.grid->at(static_cast<int>(from), static_cast<int>(y));
    const uint32_t bg = s.fill_color;
    for (int64_t n = to - from; n >= 0; n--, cell++) {
        cell->ch = ' ';
        cell->bg = bg;
    }
}

void stroke_span(DrawState& s, const tui::Clip& c, int64_t y, int64_t x1, int64_t x2) {
    if (y < c.y1 || y >= c.y2) return;
    const int64_t from = std::max<int64_t>(x1, c.x1);
    const int64_t to = std::min<int64_t>(x2, c.x2 - 1);
    for (int64_t x = from; x <= to; x++) stroke(s, static_cast<int>(x), static_cast<int>(y), full_block);
}

// A line between absolute cells.
void absolute_line(DrawState& s, const tui::Clip& c, Pt a, Pt b) {
    walk_line(a, b, c, [&](int x, int y) { stroke(s, x, y, full_block); });
}

// a + trunc((b - a) * num / den), den > 0, without overflow.
int64_t along(int64_t a, int64_t b, int64_t num, int64_t den) {
    const __int128 q = (static_cast<__int128>(b) - a) * num / den;  // C++ division truncates
    return static_cast<int64_t>(a + q);
}

// The cells of a row of the ellipse inscribed in the box (bx, by, w, h):
// those whose centres lie inside it, at least the middle one or two. The
// span is mirrored around the box's centre line, so the shape is symmetric.
struct Span {
    int64_t left;
    int64_t right;
};

Span ellipse_row(int64_t bx, int64_t by, int64_t w, int64_t h, int64_t row) {
    // Distance of the row's centre from the centre line, in half cells.
    const double dy = std::fabs(static_cast<double>(2 * (row - by) + 1 - h));
    const double t = dy / static_cast<double>(h);
    const double half = static_cast<double>(w) * std::sqrt(std::max(0.0, 1.0 - t * t));  // in half cells
    // Cells right of the centre: the centre of cell i (counted from the box's
    // left) is at 2i + 1 half cells; it is inside when 2i + 1 - w <= half.
    int64_t right = static_cast<int64_t>(std::floor((half + static_cast<double>(w) - 1.0) / 2.0));
    right = std::min(right, w - 1);
    const int64_t middle_right = w / 2;
    if (right < middle_right) right = middle_right;
    const int64_t left = w - 1 - right;
    return Span{bx + left, bx + right};
}

void ellipse_in_box(DrawState& s, int64_t bx, int64_t by, int64_t w, int64_t h) {
    if (w < 1 || h < 1) return;
    const tui::Clip c = s.visible();
    if (c.empty()) return;
    const int64_t first = std::max<int64_t>(by, c.y1);
    const int64_t last = std::min<int64_t>(by + h - 1, c.y2 - 1);
    for (int64_t row = first; row <= last; row++) {
        const Span span = ellipse_row(bx, by, w, h, row);
        if (s.fill) fill_span(s, c, row, span.left, span.right);
        if (!s.pen) continue;
        // The outline is the span less the part under the next row outwards,
        // which keeps it connected where the rows step wide near the top and
        // bottom; the outermost rows are outline throughout.
        const bool upper = 2 * (row - by) + 1 < h;
        const int64_t outer = upper ? row - 1 : row + 1;
        if (outer < by || outer > by + h - 1) {
            stroke_span(s, c, row, span.left, span.right);
            continue;
        }
        const Span next = ellipse_row(bx, by, w, h, outer);
        stroke_span(s, c, row, span.left, std::max(span.left, next.left - 1));
        stroke_span(s, c, row, std::min(span.right, next.right + 1), span.right);
    }
}

}  // namespace

void line(DrawState& s, Pt a, Pt b) {
    if (!s.pen) return;
    absolute_line(s, s.visible(), at_origin(s, a), at_origin(s, b));
}

void polyline(DrawState& s, std::span<const Pt> points) {
    for (size_t i = 0; i + 1 < points.size(); i++) line(s, points[i], points[i + 1]);
}

void box(DrawState& s, Pt a, Pt b) {
    a = at_origin(s, a);
    b = at_origin(s, b);
    const int64_t x1 = std::min(a.x, b.x), x2 = std::max(a.x, b.x);
    const int64_t y1 = std::min(a.y, b.y), y2 = std::max(a.y, b.y);
    const tui::Clip c = s.visible();
    if (c.empty() || x2 < c.x1 || x1 >= c.x2 || y2 < c.y1 || y1 >= c.y2) return;
    const int64_t cx1 = std::max<int64_t>(x1, c.x1), cx2 = std::min<int64_t>(x2, c.x2 - 1);
    const int64_t cy1 = std::max<int64_t>(y1, c.y1), cy2 = std::min<int64_t>(y2, c.y2 - 1);
    if (s.fill)
        for (int64_t y = cy1; y <= cy2; y++) fill_span(s, c, y, cx1, cx2);
    if (!s.pen) return;
    const auto put = [&](int64_t x, int64_t y, uint32_t ch) {
        if (inside(c, x, y)) stroke(s, static_cast<int>(x), static_cast<int>(y), ch);
    };
    for (int64_t x = std::max(cx1, x1 + 1); x <= std::min(cx2, x2 - 1); x++) {
        put(x, y1, edge_horizontal);
        put(x, y2, edge_horizontal);
    }
    for (int64_t y = std::max(cy1, y1 + 1); y <= std::min(cy2, y2 - 1); y++) {
        put(x1, y, edge_vertical);
        put(x2, y, edge_vertical);
    }
    put(x1, y1, corner_top_left);
    put(x2, y1, corner_top_right);
    put(x1, y2, corner_bottom_left);
    put(x2, y2, corner_bottom_right);
}

void triangle(DrawState& s, Pt a, Pt b, Pt c) {
    std::array<Pt, 3> v = {at_origin(s, a), at_origin(s, b), at_origin(s, c)};
    std::stable_sort(v.begin(), v.end(), [](const Pt& p, const Pt& q) { return p.y < q.y; });
    const tui::Clip clip = s.visible();
    if (s.fill && !clip.empty()) {
        const int64_t rows = v[2].y - v[0].y;
        const int64_t upper = v[1].y - v[0].y;
        // Only the rows inside the clip are visited.
        const int64_t first = std::max<int64_t>(0, clip.y1 - v[0].y);
        const int64_t last = std::min<int64_t>(rows - 1, clip.y2 - 1 - v[0].y);
        for (int64_t i = first; i <= last; i++) {
            const int64_t xa = along(v[0].x, v[2].x, i, rows);
            const int64_t xb = (i <= upper && upper != 0) ? along(v[0].x, v[1].x, i, upper)
                                                          : along(v[1].x, v[2].x, i - upper, v[2].y - v[1].y);
            fill_span(s, clip, v[0].y + i, std::min(xa, xb), std::max(xa, xb));
        }
    }
    if (!s.pen) return;
    absolute_line(s, clip, v[0], v[1]);
    absolute_line(s, clip, v[1], v[2]);
    absolute_line(s, clip, v[2], v[0]);
}

void ellipse(DrawState& s, Pt top_left, Pt size) {
    const Pt p = at_origin(s, top_left);
    ellipse_in_box(s, p.x, p.y, size.x, size.y);
}

void circle(DrawState& s, Pt centre, int64_t radius) {
    if (radius < 1) return;
    const Pt p = at_origin(s, centre);
    ellipse_in_box(s, p.x - 2 * radius, p.y - radius, 4 * radius, 2 * radius);
}

}  // namespace qor::draw
