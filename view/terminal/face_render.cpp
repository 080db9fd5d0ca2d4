// Face rendering: text layout into the grid, SGR sequences inside texts,
// clipping, alignment, and the walk over a window's widget tree.
#include "view/terminal/face_render.h"

#include <algorithm>
#include <array>

#include "runtime/datatypes/none.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/unicode/char_width.h"
#include "runtime/unicode/string_units.h"
#include "view/terminal/backend.h"
#include "view/terminal/face_fields.h"
#include "view/terminal/frame_writer.h"
#include "view/terminal/widget.h"

namespace qor::tui {

namespace {

// The characters of a string! from its index. Reads the buffer in place:
// valid while nothing allocates, which drawing never does.
class TextView {
public:
    explicit TextView(const Cell& s) {
        if (!is_any_string(type_of(s))) return;
        const series::Buffer* b = series::buffer(s.w2);
        if (s.w1 >= b->length()) return;
        p_ = b->at(s.w1);
        unit_ = b->unit();
        count_ = b->length() - s.w1;
    }
    [[nodiscard]] uint32_t size() const { return count_; }
    [[nodiscard]] uint32_t operator[](uint32_t i) const { return units::read_unit(p_ + size_t{i} * unit_, unit_); }

private:
    const uint8_t* p_ = nullptr;
    uint32_t unit_ = 1;
    uint32_t count_ = 0;
};

Clip within_grid(const Clip& c, const CellGrid& g) {
    return Clip{std::max(c.x1, 0), std::max(c.y1, 0), std::min(c.x2, g.width()), std::min(c.y2, g.height())};
}

// Places characters left to right from an origin, wrapping at the clip's
// right edge (or skipping to the next line feed), drawing only inside it.
class Pen {
public:
    Pen(CellGrid& grid, const Clip& clip, int x, int y, bool wrap)
        : grid_(grid), clip_(clip), x0_(x), col_(x), row_(y), wrap_(wrap) {}

    // False once the pen is below the clip: nothing more can be drawn.
    [[nodiscard]] bool live() const { return row_ < clip_.y2; }

    void new_line() {
        col_ = x0_;
        row_++;
        skipping_ = false;
    }

    void put(uint32_t c, uint32_t fg, uint32_t bg, uint32_t attrs) {
        if (skipping_) return;
        c = visible_char(c);
        const int w = (attrs & attr::masked) ? 1 : unicode::char_width(c);
        if (w == 0) return;
        if (col_ + w > clip_.x2) {
            if (!wrap_) {
                skipping_ = true;
                return;
            }
            new_line();
            if (!live() || col_ + w > clip_.x2) return;
        }
        if (row_ >= clip_.y1 && col_ >= clip_.x1) {
            GridCell& cell = grid_.at(col_, row_);
            cell = GridCell{c, bg == keep_background ? cell.bg : bg, fg, attrs};
            if (w == 2) {
                GridCell& next = grid_.at(col_ + 1, row_);
                next = GridCell{0, bg == keep_background ? next.bg : bg, fg, attrs | attr::continuation};
            }
        }
        col_ += w;
    }

private:
    CellGrid& grid_;
    Clip clip_;
    int x0_;
    int col_;
    int row_;
    bool wrap_;
    bool skipping_ = false;
};

// SGR attribute numbers 1-9 (and 21-29 to clear them).
constexpr std::array<uint32_t, 10> sgr_attribute = {
    0, attr::bold, attr::dim, attr::italic, attr::underline, attr::blink, 0, attr::reverse, attr::conceal, attr::strike,
};

// Applies "ESC [ n ; ... m" to the style; 0 goes back to the base style.
void apply_sgr(const int32_t* p, int count, TextStyle& style, const TextStyle& base) {
    if (count == 0) {
        style = base;
        return;
    }
    for (int i = 0; i < count; i++) {
        const int32_t n = p[i];
        if (n == 0) {
            style.fg = base.fg;
            style.bg = base.bg;
            style.attrs = base.attrs;
        } else if (n >= 1 && n <= 9) {
            style.attrs |= sgr_attribute[static_cast<size_t>(n)];
        } else if (n >= 21 && n <= 29) {
            style.attrs &= ~sgr_attribute[static_cast<size_t>(n - 20)];
        } else if ((n >= 30 && n <= 37) || n == 39) {
            style.fg = colour::basic(static_cast<uint32_t>(n - 30));
        } else if ((n >= 40 && n <= 47) || n == 49) {
            style.bg = colour::basic(static_cast<uint32_t>(n - 40));
        } else if (n >= 90 && n <= 97) {
            style.fg = colour::basic(static_cast<uint32_t>(n - 90 + 10));
        } else if (n >= 100 && n <= 107) {
            style.bg = colour::basic(static_cast<uint32_t>(n - 100 + 10));
        } else if ((n == 38 || n == 48) && i + 1 < count) {
            uint32_t& target = n == 38 ? style.fg : style.bg;
            if (p[i + 1] == 5 && i + 2 < count) {
                target = colour::palette(static_cast<uint32_t>(p[i + 2]));
                i += 2;
            } else if (p[i + 1] == 2 && i + 4 < count) {
                target = colour::rgb(static_cast<uint32_t>(p[i + 2]), static_cast<uint32_t>(p[i + 3]),
                                     static_cast<uint32_t>(p[i + 4]));
                i += 4;
            }
        }
    }
}

// Reads the control sequence whose "ESC [" starts at i; SGR changes the
// style, everything else is read over. Answers the index of its last
// character (the text's last when it is cut off).
uint32_t read_sequence(const TextView& t, uint32_t i, TextStyle& style, const TextStyle& base) {
    int32_t params[16] = {};
    int count = 0;
    int32_t value = 0;
    bool digits = false;
    for (uint32_t k = i + 2; k < t.size(); k++) {
        const uint32_t c = t[k];
        if (c >= '0' && c <= '9') {
            value = std::min<int32_t>(value * 10 + static_cast<int32_t>(c - '0'), 99999);
            digits = true;
        } else if (c == ';') {
            if (count < 16) params[count++] = value;
            value = 0;
            digits = true;
        } else if (c >= 0x40 && c <= 0x7E) {
            if (digits && count < 16) params[count++] = value;
            if (c == 'm') apply_sgr(params, count, style, base);
            return k;
        } else if (c < 0x20 || c > 0x3F) {
            return k - 1;  // not part of a sequence: drawn as text
        }
    }
    return t.size() - 1;
}

void draw_text_at(CellGrid& grid, const TextView& t, int x, int y, const Clip& clip, const TextStyle& base) {
    Pen pen(grid, clip, x, y, base.wrap);
    TextStyle style = base;
    for (uint32_t i = 0; i < t.size() && pen.live(); i++) {
        const uint32_t c = t[i];
        if (c == '\n') {
            pen.new_line();
        } else if (c == 0x1B && base.escapes && i + 1 < t.size() && t[i + 1] == '[') {
            i = read_sequence(t, i, style, base);
        } else {
            pen.put(c, style.fg, style.bg, style.attrs);
        }
    }
}

// The hint string in an options block ([hint: "..."]), or none.
Cell hint_of(const Cell& options) {
    if (type_of(options) != TypeId::block) return none::value;
    const uint32_t n = series_tail::cell_count(options);
    for (uint32_t i = 0; i + 1 < n; i++) {
        const Cell key = *series_tail::cell_at(options, i);
        const Cell value = *series_tail::cell_at(options, i + 1);
        if (is_word(key, Name::hint) && is_any_string(type_of(value))) return value;
    }
    return none::value;
}

// The widget's rectangle at (x, y) within its parent's (or the grid).
Clip clip_of(int x, int y, const Widget& w, const CellGrid& grid) {
    Clip c{x, y, x + width_of(w), y + height_of(w)};
    if (w.parent && w.parent->parent) {
        const Point p = absolute_offset(*w.parent);
        const int px = static_cast<int>(p.x), py = static_cast<int>(p.y);
        c.x1 = std::max(c.x1, px);
        c.y1 = std::max(c.y1, py);
        c.x2 = std::min(c.x2, px + width_of(*w.parent));
        c.y2 = std::min(c.y2, py + height_of(*w.parent));
    }
    return within_grid(c, grid);
}

DrawHook draw_hook = nullptr;

// The face image's cells from (x, y), inside the clip.
void draw_image(CellGrid& grid, const ImageCells& image, int x, int y, const Clip& clip) {
    for (int row = 0; row < image.height; row++) {
        const int gy = y + row;
        if (gy < clip.y1 || gy >= clip.y2) continue;
        for (int col = 0; col < image.width; col++) {
            const int gx = x + col;
            if (gx >= clip.x1 && gx < clip.x2)
                grid.at(gx, gy) = image.cells[static_cast<size_t>(row) * static_cast<size_t>(image.width) +
                                              static_cast<size_t>(col)];
        }
    }
}

// Deep enough for any real layout; a pane that holds its own face stops here.
constexpr int max_depth = 64;

void render_tree(Widget& w, int depth) {
    if (w.has(widget_flag::hidden) || depth > max_depth) return;
    const Point at = absolute_offset(w);
    w.render(static_cast<int>(at.x), static_cast<int>(at.y), w);
    for_each_child(w, [&](Widget& child) { render_tree(child, depth + 1); });
}

}  // namespace

void draw_text(CellGrid& grid, const Cell& text, int x, int y, const Clip& clip, const TextStyle& style) {
    const Clip c = within_grid(clip, grid);
    if (c.empty()) return;
    draw_text_at(grid, TextView(text), x, y, c, style);
}

void set_draw_hook(DrawHook hook) { draw_hook = hook; }

void draw_cells(CellGrid& grid, std::span<const GridCell> cells, int x, int y, const Clip& clip, bool wrap) {
    const Clip c = within_grid(clip, grid);
    if (c.empty()) return;
    Pen pen(grid, c, x, y, wrap);
    for (const GridCell& cell : cells) {
        if (!pen.live()) return;
        if (cell.ch == '\n') pen.new_line();
        else pen.put(cell.ch, cell.fg, cell.bg, cell.attrs);
    }
}

TextSize measure_text(const Cell& text, int limit) {
    const TextView t(text);
    TextSize size;
    if (t.size() == 0) return size;
    size.lines = 1;
    int line = 0;
    int last_width = 0;
    for (uint32_t i = 0; i < t.size() && line < limit; i++) {
        const uint32_t c = t[i];
        size.count++;
        if (c == '\n') {
            size.lines++;
            line = 0;
            continue;
        }
        last_width = unicode::char_width(visible_char(c));
        line += last_width;
        size.width = std::max(size.width, line);
    }
    if (size.width > limit) {
        size.width -= last_width;
        size.count--;
    }
    return size;
}

uint32_t para_code(const Cell& para) {
    if (type_of(para) != TypeId::object) return 0;
    uint32_t code = 0;
    const Cell wrap = field(para, Name::wrap_q);
    if (type_of(wrap) == TypeId::logic && wrap.w1 != 0) code |= align::wrap;
    const Cell h = field(para, Name::align);
    if (is_word(h, Name::right)) code |= align::right;
    if (is_word(h, Name::center)) code |= align::center;
    const Cell v = field(para, Name::v_align);
    if (is_word(v, Name::middle)) code |= align::middle;
    if (is_word(v, Name::bottom)) code |= align::bottom;
    return code;
}

// Everything but the face's draw block.
static void render_face_body(int x, int y, Widget& w, uint32_t mode) {
    CellGrid& grid = backend().grid;
    const Cell& face = w.face;
    // Every field is read before any text is viewed in place.
    const Cell text = field(face, Name::text);
    const Cell font = field(face, Name::font);
    const Cell options = field(face, Name::options);
    const uint32_t alignment = para_code(field(face, Name::para));
    TextStyle style;
    style.bg = colour_of_tuple(field(face, Name::color));
    if (type_of(font) == TypeId::object) style.fg = colour_of_tuple(field(font, Name::color));
    style.attrs = mode & render_mode::attributes;

    const Clip clip = clip_of(x, y, w, grid);
    if (clip.empty()) return;
    for (int row = clip.y1; row < clip.y2; row++)
        for (int col = clip.x1; col < clip.x2; col++) grid.at(col, row) = GridCell{' ', style.bg, style.fg, style.attrs};

    draw_image(grid, w.image, x, y, clip);

    TextStyle wrapped = style;
    wrapped.wrap = true;
    if (is_any_string(type_of(w.ui))) draw_text_at(grid, TextView(w.ui), x, y, clip, wrapped);
    TextStyle own = style;
    own.escapes = (mode & render_mode::escapes) != 0;
    if (is_any_string(type_of(w.extra))) draw_text_at(grid, TextView(w.extra), x, y, clip, own);
    if (mode & render_mode::no_text) return;

    own.wrap = (alignment & align::wrap) != 0;
    if (!w.rich.empty()) {
        draw_cells(grid, w.rich, x, y, clip, own.wrap);
        return;
    }
    Cell shown = text;
    if (!is_any_string(type_of(text)) || TextView(text).size() == 0) {
        shown = hint_of(options);
        own.attrs |= attr::dim;
    }
    if (!is_any_string(type_of(shown))) return;
    const TextSize size = measure_text(shown, width_of(w));
    const int free_width = std::max(0, width_of(w) - size.width);
    const int free_height = std::max(0, height_of(w) - size.lines);
    int tx = x, ty = y;
    if (alignment & align::center) tx += free_width / 2;
    else if (alignment & align::right) tx += free_width;
    if (alignment & align::middle) ty += free_height / 2;
    else if (alignment & align::bottom) ty += free_height;
    draw_text_at(grid, TextView(shown), tx, ty, clip, own);
}

void render_face(int x, int y, Widget& w, uint32_t mode) {
    render_face_body(x, y, w, mode);
    const Cell commands = field(w.face, Name::draw);
    if (!draw_hook || type_of(commands) != TypeId::block || series_tail::cell_count(commands) == 0) return;
    const Clip clip = clip_of(x, y, w, backend().grid);
    if (!clip.empty()) draw_hook(w, commands, x, y, clip);
}

void render_window(Widget& root, int max_columns, int max_rows) {
    intern_names();
    Backend& b = backend();
    const int width = std::clamp(width_of(root), 0, std::max(max_columns, 0));
    const int height = std::clamp(height_of(root), 0, std::max(max_rows, 0));
    b.grid.resize(width, height);
    b.grid.clear();
    b.caret_column = b.caret_row = -1;
    render_tree(root, 0);
}

}  // namespace qor::tui
