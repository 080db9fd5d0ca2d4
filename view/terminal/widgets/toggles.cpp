// Buttons, check boxes and radio buttons. A button answers the space key
// with a click; a check box toggles its data and a radio button sets its
// own on a click or the space key. Check boxes and radios show their mark
// through the text the terminal helpers build for them.
#include "runtime/datatypes/logic.h"
#include "runtime/memory/data_stack.h"
#include "view/terminal/dispatch.h"
#include "view/terminal/face_render.h"
#include "view/terminal/widgets/classes.h"
#include "view/terminal/widgets/script_calls.h"

namespace qor::tui::widgets {

namespace {

constexpr int32_t space = 32;

uint32_t focus_mode(const Widget& w, uint32_t mode) {
    return w.has(widget_flag::focused) ? mode | attr::reverse : mode;
}

void button_render(int x, int y, Widget& w) { render_face(x, y, w, focus_mode(w, render_mode::escapes)); }

int button_event(Widget& w, event::Type type, event::Record& r) {
    if (type != event::Type::key) return 0;
    if (r.key == space && notify(w, event::Type::click) == widget_gone) return widget_gone;
    mark_dirty(&w);
    return 0;
}

void toggle_render(int x, int y, Widget& w) {
    render_face(x, y, w, focus_mode(w, render_mode::escapes | render_mode::no_text));
}

// Sets the face's data, then re-derives the mark and tells the face.
int set_data(Widget& w, const Cell& value) {
    const uint32_t id = w.id;
    (void)set_face_field(w.face, WName::data, value);
    Widget* still = find_widget(id);
    if (!still) return widget_gone;
    (void)still->on_update(*still);
    if ((still = find_widget(id)) == nullptr) return widget_gone;
    mark_dirty(still);
    return notify(*still, event::Type::change) == widget_gone ? widget_gone : 0;
}

bool triggered(event::Type type, const event::Record& r) {
    return type == event::Type::click || (type == event::Type::key && r.key == space);
}

int check_event(Widget& w, event::Type type, event::Record& r) {
    if (type == event::Type::focus || type == event::Type::unfocus) {
        mark_dirty(&w);
        return 0;
    }
    if (!triggered(type, r)) return 0;
    const Cell data = field_of(w.face, WName::data);
    bool next = false;
    if (type_of(data) == TypeId::none) next = true;
    else if (type_of(data) == TypeId::logic) next = !logic::get(data);
    return set_data(w, next ? logic::true_value : logic::false_value);
}

int radio_event(Widget& w, event::Type type, event::Record& r) {
    if (type == event::Type::focus || type == event::Type::unfocus) {
        mark_dirty(&w);
        return 0;
    }
    if (!triggered(type, r)) return 0;
    return set_data(w, logic::true_value);
}

int check_update(Widget& w) {
    call_helper(WName::make_checkbox_ui, w.face);
    return 0;
}

int radio_update(Widget& w) {
    call_helper(WName::make_radio_ui, w.face);
    return 0;
}

void toggle_setup(Widget& w) {
    w.data = 0;
    (void)w.on_update(w);
}

}  // namespace

const ClassHandlers button_class{0, nullptr, nullptr, button_render, button_event};
const ClassHandlers check_class{0, toggle_setup, check_update, toggle_render, check_event};
const ClassHandlers radio_class{0, toggle_setup, radio_update, toggle_render, radio_event};

}  // namespace qor::tui::widgets
