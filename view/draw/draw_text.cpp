// Strings and rich-text faces drawn by the draw dialect.
#include "view/draw/draw_text.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/unicode/char_width.h"
#include "view/draw/keywords.h"
#include "view/draw/text_styles.h"
#include "view/terminal/face_render.h"
#include "view/terminal/frame_writer.h"
#include "view/terminal/widget.h"

namespace qor::draw {

namespace {

// Grid coordinates far outside any grid stay far outside it as an int.
int to_grid(int64_t v) {
    constexpr int64_t limit = std::numeric_limits<int>::max() / 2;
    return static_cast<int>(std::clamp(v, -limit, limit));
}

// Widest line and line count of styled characters.
struct Extent {
    int width = 0;
    int lines = 0;
};

Extent extent_of(const std::vector<tui::GridCell>& cells) {
    Extent e;
    if (cells.empty()) return e;
    e.lines = 1;
    int line = 0;
    for (const tui::GridCell& c : cells) {
        if (c.ch == '\n') {
            e.lines++;
            line = 0;
            continue;
        }
        line += unicode::char_width(tui::visible_char(c.ch));
        e.width = std::max(e.width, line);
    }
    return e;
}

// A face's size in cells, or -1 x -1 when it has none.
Pt size_of_face(const Cell& face) {
    const Cell size = field_of(face, Kw::size);
    if (type_of(size) == TypeId::pair) return Pt{pair::x(size), pair::y(size)};
    if (type_of(size) == TypeId::point2d)
        return Pt{static_cast<int64_t>(point::coordinate(size, 0)), static_cast<int64_t>(point::coordinate(size, 1))};
    return Pt{-1, -1};
}

// The styled characters of a rich-text face: those of its widget when it
// is shown on the terminal, else made from its text, colour and data.
void rich_cells(DrawState& s, const Cell& face, uint32_t fg, std::vector<tui::GridCell>& out) {
    const tui::Widget* w = tui::widget_of_face(face);
    if (w && !w->rich.empty() && s.colours.target() == Colours::Target::terminal) {
        out.assign(w->rich.begin(), w->rich.end());
        return;
    }
    const Cell colour = field_of(face, Kw::color);
    const uint32_t bg = type_of(colour) == TypeId::tuple ? s.colours.of_tuple(colour) : tui::keep_background;
    text_cells(field_of(face, Kw::text), fg, bg, out);
    apply_text_styles(out, field_of(face, Kw::data), s.colours);
}

}  // namespace

bool is_rich_text_face(const Cell& value) {
    return type_of(value) == TypeId::object && keyword_of(field_of(value, Kw::type)) == Kw::rich_text;
}

void text(DrawState& s, Pt position, const Cell& value) {
    const tui::Clip clip = s.visible();
    if (clip.empty()) return;
    int x = to_grid(position.x + s.origin_x);
    int y = to_grid(position.y + s.origin_y);
    tui::TextStyle style;
    style.fg = s.font_color_set ? s.font_color : s.pen ? s.pen_color : 0;
    style.bg = tui::keep_background;
    style.attrs = s.text_mode & tui::render_mode::attributes;
    style.wrap = true;
    style.escapes = true;
    if (is_any_string(type_of(value))) {
        tui::draw_text(*s.grid, value, x, y, clip, style);
        return;
    }
    if (!is_rich_text_face(value)) return;
    std::vector<tui::GridCell> cells;
    rich_cells(s, value, style.fg, cells);
    const uint32_t alignment = tui::para_code(field_of(value, Kw::para));
    const Pt size = size_of_face(value);
    const Extent e = extent_of(cells);
    if (size.x >= 0) {
        const int free_width = static_cast<int>(std::clamp<int64_t>(size.x - e.width, 0, 1 << 20));
        if (alignment & tui::align::center) x += free_width / 2;
        else if (alignment & tui::align::right) x += free_width;
    }
    if (size.y >= 0) {
        const int free_height = static_cast<int>(std::clamp<int64_t>(size.y - e.lines, 0, 1 << 20));
        if (alignment & tui::align::middle) y += free_height / 2;
        else if (alignment & tui::align::bottom) y += free_height;
    }
    tui::draw_cells(*s.grid, cells, x, y, clip, (alignment & tui::align::wrap) != 0);
}

void font(DrawState& s, const Cell& font_object) {
    const Cell colour = field_of(font_object, Kw::color);
    s.font_color_set = type_of(colour) == TypeId::tuple;
    if (s.font_color_set) s.font_color = s.colours.of_tuple(colour);
}

}  // namespace qor::draw
