// Widget records: making and destroying them, the tree through faces'
// panes, geometry, hit testing, focus and the window stack.
#include "view/terminal/widget.h"

#include <algorithm>

#include "runtime/datatypes/none.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series_tail.h"
#include "view/terminal/backend.h"
#include "view/terminal/dispatch.h"
#include "view/terminal/face_fields.h"
#include "view/terminal/face_render.h"

namespace qor::tui {

namespace {

// Every widget's face and texts stay reachable while the widget lives.
void mark_widgets() {
    for (auto& [id, w] : backend().widgets) {
        collector::mark_cell(w->face);
        collector::mark_cell(w->ui);
        collector::mark_cell(w->extra);
    }
}

void watch_widgets() {
    static const bool marked = (collector::add_mark_callback(mark_widgets), true);
    (void)marked;
}

Window* window_record(Widget* w) {
    Widget* root = root_of(w);
    return root ? root->window.get() : nullptr;
}

// Joins the widget's window: counted when it shows the cursor, and the
// first focusable widget of a window without focus takes it.
void join_window(Widget* w) {
    Window* win = window_record(w);
    if (!win) return;
    win->x1 = std::min(win->x1, w->x1);
    win->y1 = std::min(win->y1, w->y1);
    win->x2 = std::max(win->x2, w->x2);
    win->y2 = std::max(win->y2, w->y2);
    if (w->has(widget_flag::shows_cursor)) win->cursor_widgets++;
    if (w->has(widget_flag::focusable) && !win->focus) set_focus(w);
}

}  // namespace

void render_default(int x, int y, Widget& widget) { render_face(x, y, widget, render_mode::escapes); }

int event_default(Widget&, event::Type, event::Record&) { return 0; }

int update_default(Widget&) { return 0; }

Widget* make_widget(uint32_t type, Widget* parent, const Cell& face, const Rect& rect, uint32_t flags) {
    watch_widgets();
    Backend& b = backend();
    auto made = std::make_unique<Widget>();
    Widget* w = made.get();
    w->id = ++b.last_widget_id;
    w->type = type;
    w->flags = flags;
    w->parent = parent;
    w->x1 = parent ? rect.x : 0;
    w->y1 = parent ? rect.y : 0;
    w->x2 = w->x1 + rect.width;
    w->y2 = w->y1 + rect.height;
    w->ui = none::value;
    w->extra = none::value;
    w->face = face;
    w->render = render_default;
    w->on_event = event_default;
    w->on_update = update_default;
    if (!parent) w->window = std::make_unique<Window>();
    b.widgets.emplace(w->id, std::move(made));
    if (!parent) {
        w->window->x2 = w->x2;
        w->window->y2 = w->y2;
        return w;
    }
    join_window(w);
    return w;
}

void destroy_widget(Widget* w) {
    if (!w) return;
    Backend& b = backend();
    if (b.focused == w) b.focused = nullptr;
    if (b.hovered == w) b.hovered = nullptr;
    if (b.captured == w) b.captured = nullptr;
    std::erase(b.pressed, w);
    if (Window* win = window_record(w); win && win->focus == w) win->focus = nullptr;
    b.timers.remove_all(w);
    for (auto& [id, other] : b.widgets)
        if (other->parent == w) other->parent = nullptr;
    if (w->window) remove_window(w);
    b.widgets.erase(w->id);
}

Widget* find_widget(uint32_t id) {
    auto& widgets = backend().widgets;
    auto it = widgets.find(id);
    return it == widgets.end() ? nullptr : it->second.get();
}

Widget* widget_of_face(const Cell& face) {
    const Cell state = field(face, Name::state);
    if (type_of(state) != TypeId::block || series_tail::cell_count(state) == 0) return nullptr;
    const Cell handle = *series_tail::cell_at(state, 0);
    if (type_of(handle) != TypeId::handle) return nullptr;
    return find_widget(handle.w2);
}

int width_of(const Widget& w) { return static_cast<int>(w.x2 - w.x1); }
int height_of(const Widget& w) { return static_cast<int>(w.y2 - w.y1); }

Point absolute_offset(const Widget& w) {
    Point p;
    for (const Widget* at = &w; at && at->parent; at = at->parent) {
        p.x += at->x1;
        p.y += at->y1;
    }
    return p;
}

Widget* root_of(Widget* w) {
    while (w && w->parent) w = w->parent;
    return w;
}

uint32_t pane_count(const Widget& w) {
    const Cell pane = field(w.face, Name::pane);
    return type_of(pane) == TypeId::block ? series_tail::cell_count(pane) : 0;
}

Widget* pane_child(const Widget& w, uint32_t i) {
    const Cell pane = field(w.face, Name::pane);
    if (type_of(pane) != TypeId::block || i >= series_tail::cell_count(pane)) return nullptr;
    return widget_of_face(*series_tail::cell_at(pane, i));
}

Widget* face_at(const Widget& w, float x, float y) {
    for (uint32_t i = pane_count(w); i-- > 0;) {
        Widget* child = pane_child(w, i);
        if (!child || child->has(widget_flag::hidden)) continue;
        if (child->x1 <= x && x < child->x2 && child->y1 <= y && y < child->y2) return child;
    }
    return nullptr;
}

bool contains(const Widget* outer, const Widget* inner) {
    for (; inner; inner = inner->parent)
        if (inner == outer) return true;
    return false;
}

// Handlers run in between, so both widgets are held by id.
void set_focus(Widget* w) {
    if (!w) return;
    Backend& b = backend();
    const uint32_t id = w->id;
    if (Window* win = window_record(w)) win->focus = w;
    Widget* old = b.focused;
    if (old && old != w) {
        const uint32_t old_id = old->id;
        event::Record r;
        deliver(*old, event::Type::unfocus, r, 0);
        if (Widget* still = find_widget(old_id)) {
            if (b.focused == still) still->flags &= ~widget_flag::focused;
            mark_dirty(still);
        }
    }
    w = find_widget(id);
    if (!w) return;
    w->flags |= widget_flag::focused;
    b.focused = w;
    event::Record r;
    deliver(*w, event::Type::focus, r, 0);
    if ((w = find_widget(id))) mark_dirty(w);
}

void mark_dirty(const Widget* w) {
    Backend& b = backend();
    if (w && b.active && root_of(const_cast<Widget*>(w)) == b.active) b.terminal.dirty = true;
}

void add_window(Widget* root) {
    Backend& b = backend();
    if (std::find(b.windows.begin(), b.windows.end(), root) == b.windows.end()) b.windows.push_back(root);
    if (root->has(widget_flag::full_screen)) b.terminal.full_screen = true;
}

void activate_window(Widget* root) {
    Backend& b = backend();
    std::erase(b.windows, root);
    b.windows.push_back(root);
    b.active = root;
    b.hovered = nullptr;
    b.captured = nullptr;
    b.pressed.clear();
    b.terminal.full_screen = root->has(widget_flag::full_screen);
    b.terminal.dirty = true;
    if (Widget* focus = root->window ? root->window->focus : nullptr) set_focus(focus);
}

void remove_window(Widget* root) {
    Backend& b = backend();
    std::erase(b.windows, root);
    if (b.active != root) return;
    b.active = nullptr;
    b.terminal.full_screen = false;
    for (auto it = b.windows.rbegin(); it != b.windows.rend(); ++it) {
        if (!(*it)->has(widget_flag::hidden)) {
            activate_window(*it);
            return;
        }
    }
}

}  // namespace qor::tui
