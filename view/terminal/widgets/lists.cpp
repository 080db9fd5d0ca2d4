// Lists: a text list shows its items one a line from its scroll head, the
// selected one highlighted (the text the terminal helper builds), and moves
// its selection with the up and down keys and with clicks; a drop list
// shows the selected item and steps through its items with the up and down
// keys.
#include <algorithm>

#include "runtime/datatypes/integer.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"
#include "view/terminal/dispatch.h"
#include "view/terminal/face_render.h"
#include "view/terminal/widgets/classes.h"
#include "view/terminal/widgets/script_calls.h"

namespace qor::tui::widgets {

namespace {

int32_t item_count(const Cell& face) {
    const Cell data = field_of(face, WName::data);
    const TypeId t = type_of(data);
    if (t == TypeId::block || t == TypeId::hash) return static_cast<int32_t>(series_tail::cell_count(data));
    return 0;
}

int32_t selected_of(const Cell& face) {
    const Cell s = field_of(face, WName::selected);
    return type_of(s) == TypeId::integer ? static_cast<int32_t>(s.w2) : 0;
}

// A new selection: `select` first (which may refuse it), then, while
// `selected` is still the old one, the face takes it and hears `change`.
int select_item(Widget& w, int32_t old, int32_t next) {
    if (next == old) return 2;
    const uint32_t id = w.id;
    const int answer = notify(w, event::Type::select, next);
    Widget* still = find_widget(id);
    if (!still || answer == widget_gone) return widget_gone;
    if (selected_of(still->face) != old) return 2;
    Cell* value = integer::push(next);
    (void)set_face_field(still->face, WName::selected, *value);
    stack::data.top = value;
    if ((still = find_widget(id)) == nullptr) return widget_gone;
    (void)still->on_update(*still);
    if ((still = find_widget(id)) == nullptr) return widget_gone;
    mark_dirty(still);
    return notify(*still, event::Type::change) == widget_gone ? widget_gone : 2;
}

int text_list_event(Widget& w, event::Type type, event::Record& r) {
    if (type == event::Type::focus) {
        (void)w.on_update(w);
        mark_dirty(&w);
        return 0;
    }
    const int32_t old = selected_of(w.face);
    int32_t next = old;
    if (type == event::Type::key) {
        if (r.key == event::key::up) {
            if (old > 1) next = old - 1;
            if (next - 1 < w.data && w.data > 0) w.data--;
        } else if (r.key == event::key::down) {
            if (old < item_count(w.face)) next = old + 1;
            if (w.data < next - height_of(w)) w.data++;
        } else {
            return 0;
        }
    } else if (type == event::Type::click) {
        next = std::min(w.data + static_cast<int32_t>(r.y) + 1, std::max(item_count(w.face), 1));
    } else {
        return 0;
    }
    if (next == old) {
        (void)w.on_update(w);
        mark_dirty(&w);
        return 2;
    }
    return select_item(w, old, next);
}

int text_list_update(Widget& w) {
    call_helper(WName::make_text_list_ui, w.face);
    return 0;
}

void text_list_setup(Widget& w) {
    w.data = 0;
    (void)w.on_update(w);
}

int drop_list_event(Widget& w, event::Type type, event::Record& r) {
    if (type != event::Type::key && type != event::Type::click) return 0;
    const int32_t count = item_count(w.face);
    const int32_t old = selected_of(w.face);
    int32_t next = old;
    if (type == event::Type::click) next = old >= count ? 1 : old + 1;
    else if (r.key == event::key::up) next = std::max(old - 1, 1);
    else if (r.key == event::key::down) next = std::min(old + 1, count);
    else return 0;
    if (count == 0) return 2;
    return select_item(w, old, next);
}

}  // namespace

const ClassHandlers text_list_class{0, text_list_setup, text_list_update, nullptr, text_list_event};
const ClassHandlers drop_list_class{0, nullptr, nullptr, nullptr, drop_list_event};

}  // namespace qor::tui::widgets
