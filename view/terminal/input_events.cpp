// Keys and mouse reports delivered to widgets.
//
// Handlers run script code that may destroy widgets at any point, so
// widgets are held by id across every delivery and looked up again after
// it.
#include "view/terminal/input_events.h"

#include <algorithm>

#include "view/terminal/backend.h"
#include "view/terminal/dispatch.h"

namespace qor::tui {

namespace {

using event::Type;

// A delivery's combined result: the event code, the click produced
// (0, click or dbl-click) and the widget's own answer.
int32_t combined(Type code, int32_t click, int32_t own) {
    return static_cast<int32_t>(code) << 16 | click << 8 | own;
}
int32_t own_of(int32_t result) { return result & 0xFF; }
int32_t click_of(int32_t result) { return result >> 8 & 0xFF; }

event::Record at_point(float x, float y) {
    event::Record r;
    r.x = x;
    r.y = y;
    return r;
}

int deliver_at(Widget& w, Type type, float x, float y, uint32_t flags) {
    event::Record r = at_point(x, y);
    return deliver(w, type, r, flags);
}

bool pressed(const Widget* w) {
    const auto& list = backend().pressed;
    return std::find(list.begin(), list.end(), w) != list.end();
}

// The press or release delivered from the widget under the point upwards
// until one takes it, with the click and double click of a release.
int32_t deliver_in_depth(Type code, Widget& w, float x, float y, uint32_t flags) {
    Backend& b = backend();
    const uint32_t id = w.id;
    int32_t deeper = 0;
    bool had_child = false;
    if (Widget* child = face_at(w, x, y)) {
        had_child = true;
        deeper = deliver_in_depth(code, *child, x - child->x1, y - child->y1, flags);
        if (own_of(deeper) == widget_gone) return deeper;
    }
    if (!find_widget(id)) return widget_gone;
    if (own_of(deeper) != 0) return deeper;
    const int own = deliver_at(w, code, x, y, flags);
    if (own == widget_gone || !find_widget(id)) return widget_gone;
    int32_t click = 0;
    if (code == Type::down) {
        if (b.pressed.size() < 16) b.pressed.push_back(&w);
    } else if (code == Type::up && click_of(deeper) == 0 && pressed(&w)) {
        const bool twice = b.click_state == 2 && b.click_hold < double_click_ms;
        if (deliver_at(w, Type::click, x, y, flags) == widget_gone || !find_widget(id)) return widget_gone;
        click = static_cast<int32_t>(Type::click);
        if (twice) {
            b.click_state = 10;
            if (deliver_at(w, Type::dbl_click, x, y, flags) == widget_gone || !find_widget(id)) return widget_gone;
            click = static_cast<int32_t>(Type::dbl_click);
        }
        if (!had_child && w.has(widget_flag::focusable) && !w.has(widget_flag::focused)) set_focus(&w);
    }
    return combined(code, click, own);
}

// `over` down to the widget under the point: the widget left gets it with
// `away`, the one entered without; a widget that wants every motion gets it
// each time.
int motion_in_depth(Widget& w, float x, float y, uint32_t flags) {
    Backend& b = backend();
    if (Widget* child = face_at(w, x, y)) return motion_in_depth(*child, x - child->x1, y - child->y1, flags);
    const uint32_t id = w.id;
    Widget* old = b.hovered;
    if (old == &w) {
        if (w.has(widget_flag::all_over)) {
            b.last_pointer = Point{x, y};
            return deliver_at(w, Type::over, x, y, flags);
        }
        return 0;
    }
    // Decided before any handler runs: a handler may destroy the old widget.
    const bool leaving = old && !contains(old, &w);
    const bool entering = !old || !contains(&w, old);
    if (leaving) {
        if (old == b.captured) old->flags |= widget_flag::left_while_captured;
        if (deliver_at(*old, Type::over, b.last_pointer.x, b.last_pointer.y, flags | event::flag::away) == widget_gone)
            return widget_gone;
        if (!find_widget(id)) return widget_gone;
    }
    if (entering) {
        w.flags &= ~widget_flag::left_while_captured;
        if (deliver_at(w, Type::over, x, y, flags) == widget_gone || !find_widget(id)) return widget_gone;
    }
    b.hovered = &w;
    b.last_pointer = Point{x, y};
    return 0;
}

int wheel_in_depth(float direction, Widget& w, float x, float y, uint32_t flags) {
    const uint32_t id = w.id;
    if (Widget* child = face_at(w, x, y)) {
        const int deeper = wheel_in_depth(direction, *child, x - child->x1, y - child->y1, flags);
        if (deeper != 0) return deeper;
        if (!find_widget(id)) return widget_gone;
    }
    if (type_of(w.face) != TypeId::object || w.has(widget_flag::disabled)) return 0;
    event::Record r = at_point(x, y);
    r.amount = direction;
    return dispatch_event(Type::wheel, w, r, flags);
}

// The point in the widget's own coordinates.
Point local(const Widget& w, float x, float y) {
    const Point o = absolute_offset(w);
    return Point{x - o.x, y - o.y};
}

}  // namespace

void deliver_key(Widget* target, int32_t code, bool special) {
    Backend& b = backend();
    // With no widget focused, the active window hears the keys.
    if (!target) target = b.focused ? b.focused : b.active;
    if (!target || target->has(widget_flag::disabled)) return;
    uint32_t flags = 0;
    if (special && code == event::key::back_tab) {
        code = 9;
        flags = event::flag::shift;
    } else if (special) {
        flags = event::flag::special_key;
    } else if (code == 0) {
        return;
    }
    const uint32_t id = target->id;
    event::Record r;
    r.key = code;
    int answer = dispatch_event(Type::key_down, *target, r, flags);
    if (answer != 0 || !find_widget(id)) return;
    answer = dispatch_event(Type::key, *target, r, flags);
    if (answer != 0 || !find_widget(id)) return;
    (void)target->on_event(*target, Type::key, r);
}

void press_release(Type code, Widget& root, float x, float y, uint32_t flags) {
    Backend& b = backend();
    if (code == Type::down) b.captured = b.hovered;
    const int32_t result = deliver_in_depth(code, root, x, y, flags);
    if (code != Type::up || own_of(result) == widget_gone) return;
    Widget* captured = b.captured;
    if (captured && captured->has(widget_flag::left_while_captured)) {
        const Point p = local(*captured, x, y);
        (void)deliver_at(*captured, Type::up, p.x, p.y, flags);
    }
    b.captured = nullptr;
    b.pressed.clear();
    b.click_state = b.click_state == 10 ? 0 : 2;
    b.click_hold = 0;
}

void motion(Widget& root, float x, float y, uint32_t flags) {
    Backend& b = backend();
    const uint32_t id = root.id;
    if (!b.hovered && deliver_at(root, Type::over, x, y, flags) == widget_gone) return;
    if (!find_widget(id) || motion_in_depth(root, x, y, flags) == widget_gone) return;
    Widget* captured = b.captured;
    if (captured && captured->has(widget_flag::left_while_captured) && captured->has(widget_flag::all_over)) {
        const Point p = local(*captured, x, y);
        (void)deliver_at(*captured, Type::over, p.x, p.y, flags);
    }
}

void wheel(float direction, Widget& root, float x, float y, uint32_t flags) {
    (void)wheel_in_depth(direction, root, x, y, flags);
}

void InputEvents::key(int32_t code, bool special) { deliver_key(nullptr, code, special); }

void InputEvents::mouse(int32_t buttons, int32_t column, int32_t row, bool released) {
    Backend& b = backend();
    if (!b.active) return;
    Widget& root = *b.active;
    const int32_t button = (buttons & 3) + ((buttons & 64) >> 4);
    const float x = static_cast<float>(column - 1);
    const float y = static_cast<float>(row - b.terminal.origin_row - 1);
    uint32_t flags = 0;
    if (buttons & 4) flags |= event::flag::shift;
    if (buttons & 8) flags |= event::flag::alt;
    if (buttons & 16) flags |= event::flag::control;
    if (button <= 2) {
        const auto code = static_cast<Type>(button * 2 + 1 + (released ? 1 : 0));
        if (released != b.released) {
            b.released = released;
            press_release(code, root, x, y, flags);
        } else {
            motion(root, x, y, flags | event::flag::down);
        }
    } else if (button == 3) {
        motion(root, x, y, flags);
    } else if (button == 4) {
        wheel(1.0f, root, x, y, flags);
    } else if (button == 5) {
        wheel(-1.0f, root, x, y, flags);
    }
}

void InputEvents::cursor_position(int32_t row, int32_t column) {
    TerminalState& t = backend().terminal;
    t.origin_row = row - 1;
    t.origin_column = column - 1;
    if (t.replies_awaited > 0) t.replies_awaited--;
}

}  // namespace qor::tui
