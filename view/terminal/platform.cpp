// Widgets of faces: making them from a face, updating them from the face's
// changed mask, destroying face trees, and the widget classes by face type.
#include "view/terminal/platform.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/core/error_fire.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "view/terminal/backend.h"
#include "view/terminal/event_loop.h"
#include "view/terminal/face_render.h"

namespace qor::tui {

namespace {

DrawImageHook the_draw_image_hook = nullptr;

// Keyed by the type's spelling in lower case, so that the table outlives
// a symbol table made afresh (as tests do).
std::unordered_map<std::string, WidgetClass>& classes() {
    static std::unordered_map<std::string, WidgetClass> table;
    return table;
}

std::string lower_case(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

struct FlagWord {
    std::string_view word;
    uint32_t bit;
};

constexpr FlagWord flag_words[] = {
    {"all-over", face_flag::all_over},     {"focusable", face_flag::focusable},
    {"tri-state", face_flag::tri_state},   {"scrollable", face_flag::scrollable},
    {"password", face_flag::password},     {"no-sync", face_flag::no_sync},
    {"fullscreen", face_flag::fullscreen}, {"popup", face_flag::popup},
    {"modal", face_flag::modal},           {"resize", face_flag::resize},
    {"no-buttons", face_flag::no_buttons}, {"no-max", face_flag::no_max},
    {"no-min", face_flag::no_min},         {"no-title", face_flag::no_title},
    {"no-border", face_flag::no_border},
};

uint32_t flag_bit(const Cell& word) {
    const uint32_t wanted = symbol::resolve_alias(word::symbol_of(word));
    for (const FlagWord& f : flag_words)
        if (symbol::resolve_alias(symbol::make(f.word)) == wanted) return f.bit;
    error::fire(error::Id::invalid_arg, {word});
}

[[nodiscard]] bool is_true(const Cell& v) { return type_of(v) == TypeId::logic && v.w1 != 0; }

// A pair's or a point's two coordinates; answers false for other values.
bool planar(const Cell& v, float& x, float& y) {
    if (type_of(v) == TypeId::pair) {
        x = static_cast<float>(pair::x(v));
        y = static_cast<float>(pair::y(v));
        return true;
    }
    if (type_of(v) == TypeId::point2d) {
        x = point::coordinate(v, 0);
        y = point::coordinate(v, 1);
        return true;
    }
    return false;
}

uint32_t type_symbol(const Cell& face) {
    const Cell type = face_field(face, "type");
    return is_word_like(type_of(type)) ? word::symbol_of(type) : symbol::make("face");
}

// The widget's state bits that follow the face's flags.
uint32_t widget_bits_of_flags(uint32_t flags) {
    uint32_t bits = 0;
    if (flags & face_flag::focusable) bits |= widget_flag::focusable;
    if (flags & face_flag::all_over) bits |= widget_flag::all_over;
    if (flags & face_flag::password) bits |= widget_password;
    if (flags & face_flag::fullscreen) bits |= widget_flag::full_screen;
    return bits;
}

void set_bit(Widget& w, uint32_t bit, bool on) {
    if (on) w.flags |= bit;
    else w.flags &= ~bit;
}

// The mask in the face's state block, or 0.
uint32_t changed_mask(const Cell& face) {
    const Cell state = face_field(face, "state");
    if (type_of(state) != TypeId::block || series_tail::cell_count(state) < 2) return 0;
    const Cell mask = *series_tail::cell_at(state, 1);
    return type_of(mask) == TypeId::integer ? static_cast<uint32_t>(get_int(mask)) : 0;
}

void clear_mask(const Cell& face) {
    const Cell state = face_field(face, "state");
    if (type_of(state) != TypeId::block || series_tail::cell_count(state) < 2) return;
    *series_tail::cell_at(state, 1) = Cell{to_int(TypeId::integer), 0, 0, 0};
}

// The face leaves the list of faces of a font or para object.
void leave_user_list(const Cell& face, const Cell& owner) {
    const Cell list = face_field(owner, "parent");
    if (type_of(list) != TypeId::block) return;
    Cell from_head = list;
    from_head.w1 = 0;
    const uint32_t n = series_tail::cell_count(from_head);
    for (uint32_t i = 0; i < n; i++) {
        const Cell* c = series_tail::cell_at(from_head, i);
        if (type_of(*c) == TypeId::object && c->w1 == face.w1) {
            const Cell copy = *c;
            (void)block::remove_value(from_head, copy, true);
            return;
        }
    }
}

void destroy_tree(const Cell& face, std::vector<uint32_t>& windows_gone) {
    if (type_of(face) != TypeId::object) return;
    Widget* w = widget_of_face(face);
    if (!w) return;
    const uint32_t id = w->id;
    backend().timers.remove_all(w);
    leave_user_list(face, face_field(face, "font"));
    leave_user_list(face, face_field(face, "para"));
    const Cell pane = face_field(face, "pane");
    if (type_of(pane) == TypeId::block) {
        // Held in a copy of the cells: nothing here changes the pane.
        const uint32_t n = series_tail::cell_count(pane);
        std::vector<Cell> children;
        children.reserve(n);
        for (uint32_t i = 0; i < n; i++) children.push_back(*series_tail::cell_at(pane, i));
        for (const Cell& child : children) destroy_tree(child, windows_gone);
    }
    if ((w = find_widget(id))) {
        if (w->window) windows_gone.push_back(id);
        if (const WidgetClass* c = widget_class(w->type); c && c->destroy) c->destroy(*w);
        destroy_widget(w);
    }
    set_face_field(face, "state", none::value);
}

// A face removed from a pane (a removal announced only after it happened)
// leaves its widget behind: the widgets under `w` whose faces are no longer
// in w's pane are destroyed with their trees, and their faces unlinked.
void drop_left_children(Widget& w) {
    std::vector<Cell> left;
    for (auto& [id, child] : backend().widgets) {
        if (child->parent != &w || type_of(child->face) != TypeId::object) continue;
        bool in_pane = false;
        for (uint32_t i = 0, n = pane_count(w); i < n && !in_pane; i++) in_pane = pane_child(w, i) == child.get();
        if (!in_pane) left.push_back(child->face);
    }
    std::vector<uint32_t> windows_gone;
    for (const Cell& face : left) {
        destroy_tree(face, windows_gone);
        set_face_field(face, "parent", none::value);
    }
}

}  // namespace

Cell face_field(const Cell& face, std::string_view name) {
    if (type_of(face) != TypeId::object) return none::value;
    const int32_t i = context::find_word(face.w1, symbol::make(name), true);
    if (i < 0 || !context::values(face.w1)) return none::value;
    return *context::value_cell_at(face.w1, static_cast<uint32_t>(i));
}

void set_face_field(const Cell& face, std::string_view name, const Cell& value) {
    if (type_of(face) != TypeId::object) return;
    const Cell kept = value;
    const int32_t i = context::find_word(face.w1, symbol::make(name), true);
    if (i < 0 || !context::values(face.w1)) return;
    *context::value_cell_at(face.w1, static_cast<uint32_t>(i)) = kept;
}

void set_draw_image_hook(DrawImageHook hook) { the_draw_image_hook = hook; }
DrawImageHook draw_image_hook() { return the_draw_image_hook; }

// A window draws its background; its text is its title, not content.
void render_window_root(int x, int y, Widget& w) { render_face(x, y, w, render_mode::escapes | render_mode::no_text); }

void setup_window(Widget& w) { w.render = render_window_root; }

void register_engine_classes() {
    WidgetClass window;
    window.setup = setup_window;
    register_widget_class("window", window);
}

void register_widget_class(std::string_view type, const WidgetClass& widget_class) {
    classes()[lower_case(type)] = widget_class;
}

const WidgetClass* widget_class(uint32_t type_symbol) {
    if (type_symbol == 0 || type_symbol > symbol::count()) return nullptr;
    auto& table = classes();
    auto it = table.find(lower_case(symbol::spelling(type_symbol)));
    return it == table.end() ? nullptr : &it->second;
}

uint32_t face_flags(const Cell& flags) {
    if (type_of(flags) == TypeId::word) return flag_bit(flags);
    if (type_of(flags) != TypeId::block) return 0;
    uint32_t bits = 0;
    const uint32_t n = series_tail::cell_count(flags);
    for (uint32_t i = 0; i < n; i++) {
        const Cell v = *series_tail::cell_at(flags, i);
        if (type_of(v) == TypeId::word || type_of(v) == TypeId::lit_word) bits |= flag_bit(v);
    }
    return bits;
}

Widget* make_view(const Cell& face, Widget* parent) {
    const Cell kept = face;
    Rect rect;
    float x = 0, y = 0;
    uint32_t bits = widget_bits_of_flags(face_flags(face_field(kept, "flags")));
    if (planar(face_field(kept, "offset"), x, y)) {
        rect.x = x;
        rect.y = y;
    }
    const Cell size = face_field(kept, "size");
    if (planar(size, x, y)) {
        rect.width = std::max(x, 0.0f);
        rect.height = std::max(y, 0.0f);
        if (type_of(size) == TypeId::pair) bits |= widget_flag::size_pair;
    }
    if (!is_true(face_field(kept, "visible?"))) bits |= widget_flag::hidden;
    if (!is_true(face_field(kept, "enabled?"))) bits |= widget_flag::disabled;
    const uint32_t type = type_symbol(kept);
    Widget* w = make_widget(type, parent, kept, rect, bits);
    const uint32_t id = w->id;
    if (const WidgetClass* c = widget_class(type); c && c->setup) {
        const bool had_cursor = w->has(widget_flag::shows_cursor);
        c->setup(*w);
        if (!(w = find_widget(id))) return nullptr;
        // A class that shows the cursor is counted in its window.
        if (!had_cursor && w->has(widget_flag::shows_cursor) && parent) {
            Widget* root = root_of(w);
            if (root && root->window) root->window->cursor_widgets++;
        }
    }
    const Cell rate = face_field(kept, "rate");
    if (type_of(rate) != TypeId::none) set_rate(*w, rate);
    return w;
}

void set_rate(Widget& w, const Cell& rate) {
    Timers& timers = backend().timers;
    timers.remove_all(&w);
    switch (type_of(rate)) {
        case TypeId::none: return;
        case TypeId::integer:
            if (get_int(rate) > 0) return timers.add(&w, 1000 / get_int(rate));
            break;
        case TypeId::time: {
            const double ms = get_double(rate) * 1000.0;
            if (ms > 0) return timers.add(&w, ms >= 2147483647.0 ? 2147483647 : std::max<int32_t>(1, static_cast<int32_t>(ms)));
            break;
        }
        default: break;
    }
    error::fire(error::Id::invalid_facet_type, {rate});
}

void update_view(const Cell& face) {
    const Cell kept = face;
    Widget* w = widget_of_face(kept);
    if (!w) return;
    const uint32_t id = w->id;
    const uint32_t mask = changed_mask(kept);
    clear_mask(kept);
    float x = 0, y = 0;
    if (mask & face_bit::rate) set_rate(*w, face_field(kept, "rate"));
    if ((mask & face_bit::offset) && !w->window && planar(face_field(kept, "offset"), x, y)) {
        const float width = w->x2 - w->x1, height = w->y2 - w->y1;
        w->x1 = x;
        w->y1 = y;
        w->x2 = x + width;
        w->y2 = y + height;
    }
    if (mask & face_bit::size) {
        const Cell size = face_field(kept, "size");
        if (planar(size, x, y)) {
            w->x2 = w->x1 + std::max(x, 0.0f);
            w->y2 = w->y1 + std::max(y, 0.0f);
            set_bit(*w, widget_flag::size_pair, type_of(size) == TypeId::pair);
            if (w->window) {
                w->window->x2 = std::max(w->window->x2, w->x2);
                w->window->y2 = std::max(w->window->y2, w->y2);
            }
        }
    }
    if ((mask & face_bit::selected) && w->window) {
        if (Widget* target = widget_of_face(face_field(kept, "selected"))) {
            if (root_of(target) == w) set_focus(target);
        }
        if (!(w = find_widget(id))) return;
    }
    if (mask & face_bit::enabled) set_bit(*w, widget_flag::disabled, !is_true(face_field(kept, "enabled?")));
    if (mask & face_bit::visible) {
        const bool visible = is_true(face_field(kept, "visible?"));
        set_bit(*w, widget_flag::hidden, !visible);
        if (w->window) {
            Backend& b = backend();
            const bool listed = std::find(b.windows.begin(), b.windows.end(), w) != b.windows.end();
            if (!visible && listed) remove_window(w);
            if (visible && !listed) {
                add_window(w);
                activate_window(w);
            }
            if (!(w = find_widget(id))) return;
        }
    }
    if (mask & face_bit::flags) {
        const uint32_t flags = face_flags(face_field(kept, "flags"));
        set_bit(*w, widget_flag::all_over, flags & face_flag::all_over);
        set_bit(*w, widget_password, flags & face_flag::password);
    }
    if (const WidgetClass* c = widget_class(w->type); c && c->update) {
        c->update(*w);
        if (!(w = find_widget(id))) return;
    }
    mark_dirty(w);
    if (w->window && (mask & face_bit::visible)) backend().terminal.dirty = true;
}

void destroy_view(const Cell& face, bool blocking) {
    const Cell kept = face;
    std::vector<uint32_t> windows_gone;
    destroy_tree(kept, windows_gone);
    Backend& b = backend();
    if (b.active) b.terminal.dirty = true;
    if (blocking && !windows_gone.empty() && b.loop_depth > 0) post_quit();
}

void update_facet(const FacetChange& change) {
    Widget* w = widget_of_face(change.owner);
    if (!w) return;
    if (is_word_like(type_of(change.word)) &&
        symbol::resolve_alias(word::symbol_of(change.word)) == symbol::resolve_alias(symbol::make("pane"))) {
        drop_left_children(*w);
        if (!(w = widget_of_face(change.owner))) return;
    }
    if (const WidgetClass* c = widget_class(w->type); c && c->facet && c->facet(*w, change)) return;
    const uint32_t type = symbol::resolve_alias(w->type);
    if (change.part == 0 && (type == symbol::resolve_alias(symbol::make("drop-list")) ||
                             type == symbol::resolve_alias(symbol::make("drop-down"))))
        return;
    update_view(change.owner);
}

}  // namespace qor::tui
