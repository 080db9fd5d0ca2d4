// The screen flush.
#include "view/terminal/screen.h"

#include <cstdio>

#include "view/terminal/backend.h"
#include "view/terminal/face_render.h"
#include "view/terminal/frame_writer.h"
#include "view/terminal/terminal.h"

namespace qor::tui {

namespace {

bool same_cells(const CellGrid& a, const CellGrid& b) {
    for (int y = 0; y < a.height(); y++)
        for (int x = 0; x < a.width(); x++)
            if (!(a.at(x, y) == b.at(x, y))) return false;
    return true;
}

bool shows_caret(const Backend& b) {
    return b.focused && b.focused->has(widget_flag::shows_cursor) && b.caret_column >= 0 && b.caret_row >= 0;
}

}  // namespace

void flush_screen() {
    Backend& b = backend();
    TerminalState& t = b.terminal;
    clamp_origin();
    // Without a terminal nothing is drawn.
    if (!t.open) t.dirty = false;
    if (!t.dirty || !b.active) return;
    render_window(*b.active, t.columns, t.rows);
    if (b.grid.width() < 1 || b.grid.height() < 1) {
        t.dirty = false;
        return;
    }
    FramePlacement p;
    p.full_screen = t.full_screen;
    p.lines_up = t.lines_up;
    p.show_caret = shows_caret(b);
    p.caret_column = b.caret_column;
    p.caret_row = b.caret_row;
    p.true_colour = t.true_colour;
    p.columns = t.columns;
    const bool same_size = b.shown.width() == b.grid.width() && b.shown.height() == b.grid.height();
    const bool changes_only = b.shown_valid && t.frame_drawn && same_size;
    const Caret caret = p.show_caret ? Caret{true, p.caret_column, p.caret_row} : Caret{};
    if (changes_only && !t.ask_cursor && caret == b.shown_caret && same_cells(b.grid, b.shown)) {
        t.dirty = false;
        return;
    }

    std::string& out = b.output;
    out.clear();
    if (!p.show_caret) hide_cursor(out);
    if (t.ask_cursor && !t.full_screen) {
        // Asked from the area's top-left corner, so the reply is its origin.
        out += '\r';
        if (p.lines_up > 0) append_csi(out, p.lines_up, 'A');
        out += "\x1B[6n";
        p.lines_up = 0;
        t.ask_cursor = false;
        t.replies_awaited++;
    }
    if (changes_only) write_changes(out, b.grid, b.shown, p);
    else write_frame(out, b.grid, p);
    if (p.show_caret) show_cursor(out);
    std::fflush(nullptr);
    write_out(out);
    out.clear();
    t.lines_up = p.lines_up;
    t.frame_drawn = true;
    t.dirty = false;
    b.shown = b.grid;
    b.shown_valid = true;
    b.shown_caret = caret;
    publish_restore_sequence();
}

}  // namespace qor::tui
