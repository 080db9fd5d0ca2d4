// Bases, progress bars, group boxes and rich text. A base whose options
// name a caret face places that face's caret at itself instead of drawing;
// a progress bar shows the bar its helper builds; a group box draws a frame
// line round its cells with its text on the top edge.
#include <algorithm>

#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"
#include "view/terminal/backend.h"
#include "view/terminal/face_render.h"
#include "view/terminal/widgets/classes.h"
#include "view/terminal/widgets/script_calls.h"

namespace qor::tui::widgets {

namespace {

// Reads the base's options as pairs: each `caret` key marks the base and
// makes the named face's widget show the caret; when that widget has the
// focus, the caret stands at (x, y). Odd-length options are ignored.
void caret_scan(Widget& base, int x, int y, bool place) {
    const Cell options = field_of(base.face, WName::options);
    if (type_of(options) != TypeId::block) return;
    const uint32_t n = series_tail::cell_count(options);
    if (n % 2 != 0) return;
    for (uint32_t i = 0; i + 1 < n; i += 2) {
        if (!is_name(*series_tail::cell_at(options, i), WName::caret)) continue;
        base.flags |= widget_flag::caret_base;
        Widget* target = widget_of_face(*series_tail::cell_at(options, i + 1));
        if (!target) continue;
        target->flags |= widget_flag::shows_cursor;
        if (place && target->has(widget_flag::focused)) {
            backend().caret_column = x;
            backend().caret_row = y;
        }
    }
}

void base_setup(Widget& w) { caret_scan(w, 0, 0, false); }

void base_render(int x, int y, Widget& w) {
    if (w.has(widget_flag::caret_base)) caret_scan(w, x, y, true);
    else render_face(x, y, w, render_mode::escapes);
}

int progress_update(Widget& w) {
    call_helper(WName::make_progress_ui, w.face);
    return 0;
}

void progress_setup(Widget& w) { (void)w.on_update(w); }

void plain_render(int x, int y, Widget& w) { render_face(x, y, w, 0); }

// Box-drawing corners: top-left, top-right, bottom-left, bottom-right.
constexpr uint32_t square_corners[4] = {0x250C, 0x2510, 0x2514, 0x2518};
constexpr uint32_t round_corners[4] = {0x256D, 0x256E, 0x2570, 0x256F};
constexpr uint32_t vertical_line = 0x2502;
constexpr uint32_t horizontal_line = 0x2500;

void group_box_render(int x, int y, Widget& w) {
    render_face(x, y, w, render_mode::no_text);
    const Cell options = field_of(w.face, WName::options);
    bool rounded = false;
    uint32_t frame_colour = 0;
    if (type_of(options) == TypeId::block) {
        const uint32_t n = series_tail::cell_count(options);
        for (uint32_t i = 0; i + 1 < n; i++) {
            const Cell key = *series_tail::cell_at(options, i);
            const Cell value = *series_tail::cell_at(options, i + 1);
            if (is_name(key, WName::border_corners)) rounded = is_name(value, WName::round_);
            if (is_name(key, WName::border_color))
                frame_colour = type_of(value) == TypeId::tuple ? colour_of_tuple(value) : 0;
        }
    }
    CellGrid& grid = backend().grid;
    const int x2 = x + width_of(w) - 1, y2 = y + height_of(w) - 1;
    if (x2 < x || y2 < y) return;
    const uint32_t* corners = rounded ? round_corners : square_corners;
    auto put = [&](int cx, int cy, uint32_t ch) {
        if (!grid.contains(cx, cy)) return;
        GridCell& c = grid.at(cx, cy);
        c.ch = ch;
        c.attrs &= ~attr::continuation;
        if (frame_colour) c.fg = frame_colour;
    };
    for (int cx = x + 1; cx < x2; cx++) {
        put(cx, y, horizontal_line);
        put(cx, y2, horizontal_line);
    }
    for (int cy = y + 1; cy < y2; cy++) {
        put(x, cy, vertical_line);
        put(x2, cy, vertical_line);
    }
    put(x, y, corners[0]);
    put(x2, y, corners[1]);
    put(x, y2, corners[2]);
    put(x2, y2, corners[3]);
    // The title on the top edge, one column in from the corner.
    const Cell text = field_of(w.face, WName::text);
    if (type_of(text) != TypeId::string || width_of(w) < 3) return;
    const Cell font = field_of(w.face, WName::font);
    const uint32_t fg = type_of(font) == TypeId::object ? colour_of_tuple(field_of(font, WName::color)) : 0;
    const uint32_t n = str::length_at(text);
    int cx = x + 1;
    for (uint32_t i = 0; i < n && cx < x2; i++) {
        const uint32_t ch = str::char_at(text, i);
        if (!grid.contains(cx, y)) break;
        GridCell& c = grid.at(cx, y);
        c.ch = ch;
        c.fg = fg;
        c.attrs &= ~attr::continuation;
        cx++;
    }
}

// The styled characters of a rich text: its text's characters on the
// face's background.
int rich_text_update(Widget& w) {
    w.rich.clear();
    const Cell text = field_of(w.face, WName::text);
    if (type_of(text) != TypeId::string) return 0;
    const uint32_t bg = colour_of_tuple(field_of(w.face, WName::color));
    const uint32_t n = str::length_at(text);
    w.rich.reserve(n);
    for (uint32_t i = 0; i < n; i++) w.rich.push_back(GridCell{str::char_at(text, i), bg, 0, 0});
    return 0;
}

void rich_text_setup(Widget& w) { (void)w.on_update(w); }

}  // namespace

const ClassHandlers base_class{0, base_setup, nullptr, base_render, nullptr};
const ClassHandlers progress_class{0, progress_setup, progress_update, plain_render, nullptr};
const ClassHandlers group_box_class{0, nullptr, nullptr, group_box_render, nullptr};
const ClassHandlers rich_text_class{0, rich_text_setup, rich_text_update, plain_render, nullptr};

}  // namespace qor::tui::widgets
