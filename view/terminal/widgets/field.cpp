// The field class: one line of editable text with a caret. Keys edit the
// face's string in place (the face sees a deep change of its text); a click
// places the caret. A drop-down edits its text the same way and also steps
// through its items with the up and down keys.
#include <algorithm>

#include "runtime/datatypes/char.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"
#include "runtime/unicode/char_width.h"
#include "view/terminal/backend.h"
#include "view/terminal/face_render.h"
#include "view/terminal/frame_writer.h"
#include "view/terminal/widgets/classes.h"
#include "view/terminal/widgets/script_calls.h"

namespace qor::tui::widgets {

namespace {

int cells_of(uint32_t c) { return unicode::char_width(visible_char(c)); }

// The face's text when it is a string.
bool text_of(const Widget& w, Cell& text) {
    text = field_of(w.face, WName::text);
    return type_of(text) == TypeId::string;
}

// A field whose text is none gets a new empty string through the face's
// change handler, so that typing into it goes through the usual path.
bool ensure_text(Widget& w, Cell& text) {
    if (text_of(w, text)) return true;
    if (type_of(text) != TypeId::none) return false;
    Cell* fresh = stack::push(unset_cell);
    str::make_at(*fresh, 8);
    const uint32_t id = w.id;
    (void)set_face_field(w.face, WName::text, *fresh);
    stack::data.top = fresh;
    Widget* still = find_widget(id);
    return still == &w && text_of(w, text);
}

// The caret index reached at a column of the text.
int32_t index_at_column(const Cell& text, int32_t column) {
    const uint32_t n = str::length_at(text);
    int32_t col = 0;
    uint32_t i = 0;
    for (; i < n; i++) {
        const int cw = cells_of(str::char_at(text, i));
        if (col + cw > column) break;
        col += cw;
    }
    return static_cast<int32_t>(i);
}

// Inserts or removes one character at the text's position `at` (from its
// index), telling the face's change handlers. A handler's error ends there.
void insert_at(const Cell& text_in, uint32_t at, uint32_t cp) {
    Cell* text = stack::push(text_in);
    Cell* value = char_::push(cp);
    const uint32_t pos = text->w1 + at;
    (void)guarded([&] {
        series_type::Notice notice(*text, ownership::Change::insert, value, static_cast<int32_t>(pos), 1);
        str::insert_char(text->w2, pos, cp);
        notice.done(value, static_cast<int32_t>(pos), 1);
    });
    stack::data.top = text;
}

void remove_at(const Cell& text_in, uint32_t at) {
    Cell* text = stack::push(text_in);
    const uint32_t pos = text->w1 + at;
    (void)guarded([&] {
        series_type::Notice notice(*text, ownership::Change::remove, nullptr, static_cast<int32_t>(pos), 1);
        str::remove_part(text->w2, pos, 1);
        notice.done(nullptr, static_cast<int32_t>(pos), 1);
    });
    stack::data.top = text;
}

// Moves a list face's selection by one item (a drop-down's arrows).
int step_selection(Widget& w, int32_t by) {
    const Cell data = field_of(w.face, WName::data);
    if (type_of(data) != TypeId::block) return 0;
    const int32_t count = static_cast<int32_t>(series_tail::cell_count(data));
    const Cell selected = field_of(w.face, WName::selected);
    const int32_t now = type_of(selected) == TypeId::integer ? static_cast<int32_t>(selected.w2) : 0;
    const int32_t next = std::clamp(now + by, 1, std::max(count, 1));
    if (count == 0 || next == now) return 2;
    Cell* value = integer::push(next);
    const uint32_t id = w.id;
    (void)set_face_field(w.face, WName::selected, *value);
    stack::data.top = value;
    if (Widget* still = find_widget(id)) {
        still->caret.index = INT32_MAX;
        sync_caret(*still);
        mark_dirty(still);
        (void)notify(*still, event::Type::change);
    }
    return 2;
}

// Caret movement and editing by a key code.
int edit_key(Widget& w, int32_t key) {
    if (key == 0 || key == 9 || key == 13 || key == 10) return 0;
    if (key < 32 && key != 2 && key != 6 && key != 8 && key != event::key::left && key != event::key::right)
        return 0;
    const uint32_t id = w.id;
    Cell text;
    if (!ensure_text(w, text)) return 0;
    Widget* still = find_widget(id);
    if (!still) return 2;
    sync_caret(*still);
    TextCaret& caret = still->caret;
    const auto length = static_cast<int32_t>(str::length_at(text));
    if (key == 2 || key == event::key::left) {
        if (caret.index > 0) caret.index--;
    } else if (key == 6 || key == event::key::right) {
        if (caret.index < length) caret.index++;
    } else if (key == 8 || key == 127) {
        if (caret.index > 0) {
            caret.index--;
            remove_at(text, static_cast<uint32_t>(caret.index));
        }
    } else {
        const auto cp = static_cast<uint32_t>(key);
        const int cw = cells_of(cp);
        if (width_of(*still) - cw < caret.width) return 0;  // full
        const int32_t at = caret.index;
        insert_at(text, static_cast<uint32_t>(at), cp);
        if ((still = find_widget(id)) == nullptr) return 2;
        still->caret.index = at + 1;
    }
    if ((still = find_widget(id)) == nullptr) return 2;
    sync_caret(*still);
    mark_dirty(still);
    return 2;
}

int field_event(Widget& w, event::Type type, event::Record& r) {
    if (type == event::Type::click) {
        Cell text;
        if (!text_of(w, text)) return 0;
        w.caret.index = index_at_column(text, static_cast<int32_t>(r.x));
        sync_caret(w);
        mark_dirty(&w);
        return 0;
    }
    if (type == event::Type::key) return edit_key(w, r.key);
    return 0;
}

int drop_down_event(Widget& w, event::Type type, event::Record& r) {
    if (type == event::Type::key && r.key == event::key::up) return step_selection(w, -1);
    if (type == event::Type::key && r.key == event::key::down) return step_selection(w, 1);
    return field_event(w, type, r);
}

int field_update(Widget& w) {
    sync_caret(w);
    return 0;
}

void field_render(int x, int y, Widget& w) {
    w.y2 = w.y1 + 1;
    render_face(x, y, w, w.has(widget_flag::password) ? render_mode::escapes | attr::masked : render_mode::escapes);
    if (w.has(widget_flag::focused)) {
        Backend& b = backend();
        b.caret_column = x + w.caret.column;
        b.caret_row = y;
    }
}

// The caret starts after the characters that fit the widget.
void field_setup(Widget& w) {
    Cell text;
    w.caret = TextCaret{};
    if (!text_of(w, text)) return;
    w.caret.index = static_cast<int32_t>(measure_text(text, width_of(w)).count);
    sync_caret(w);
}

}  // namespace

void sync_caret(Widget& w) {
    Cell text;
    if (!text_of(w, text)) {
        w.caret = TextCaret{};
        return;
    }
    const auto n = static_cast<int32_t>(str::length_at(text));
    w.caret.index = std::clamp(w.caret.index, 0, n);
    int32_t column = 0, width = 0;
    for (int32_t i = 0; i < n; i++) {
        const int cw = cells_of(str::char_at(text, static_cast<uint32_t>(i)));
        if (i < w.caret.index) column += cw;
        width += cw;
    }
    w.caret.column = column;
    w.caret.width = width;
}

const ClassHandlers field_class{widget_flag::shows_cursor, field_setup, field_update, field_render, field_event};
const ClassHandlers drop_down_class{widget_flag::shows_cursor, field_setup, field_update, field_render,
                                  drop_down_event};

}  // namespace qor::tui::widgets
