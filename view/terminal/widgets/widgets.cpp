// Widget lifecycle: making widgets for faces, updating them from the
// changed mask, destroying face trees, timers and face images.
#include "view/terminal/widgets/widgets.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string_view>

#include "runtime/core/error_fire.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "view/terminal/backend.h"
#include "view/terminal/event_loop.h"
#include "view/terminal/widgets/classes.h"
#include "view/terminal/widgets/script_calls.h"

namespace qor::tui::widgets {

namespace {

// The widget whose class set-up is running: its face has no state yet, so
// helpers called from the set-up find the widget through this.
Widget* in_making = nullptr;

bool is_none(const Cell& v) { return type_of(v) == TypeId::none; }

struct FlagWord {
    std::string_view word;
    uint32_t bit;
};
constexpr std::array<FlagWord, 15> flag_words = {{
    {"all-over", 0x1}, {"focusable", 0x2}, {"tri-state", 0x20000}, {"scrollable", 0x40000},
    {"password", 0x80000}, {"no-sync", 0x100000}, {"fullscreen", 0x200000}, {"popup", 0x1000000},
    {"modal", 0x2000000}, {"resize", 0x4000000}, {"no-buttons", 0x8000000}, {"no-max", 0x10000000},
    {"no-min", 0x20000000}, {"no-title", 0x40000000}, {"no-border", 0x80000000},
}};

uint32_t flag_bit(const Cell& word) {
    const uint32_t sym = symbol::resolve_alias(word::symbol_of(word));
    for (const FlagWord& f : flag_words)
        if (symbol::resolve_alias(symbol::make(f.word)) == sym) return f.bit;
    error::fire(error::Id::invalid_arg, {word});
}

// A pair's or a point's two numbers, or nothing.
bool xy_of(const Cell& v, float& x, float& y) {
    if (type_of(v) == TypeId::pair) {
        x = static_cast<float>(static_cast<int32_t>(v.w2));
        y = static_cast<float>(static_cast<int32_t>(v.w3));
        return true;
    }
    if (type_of(v) == TypeId::point2d) {
        x = point::coordinate(v, 0);
        y = point::coordinate(v, 1);
        return true;
    }
    return false;
}

// The widget flags a face's flags and switches give.
uint32_t widget_flags_of(const Cell& face) {
    const uint32_t f = face_flags(field_of(face, WName::flags));
    uint32_t w = 0;
    if (f & face_flag::focusable) w |= widget_flag::focusable;
    if (f & face_flag::all_over) w |= widget_flag::all_over;
    if (f & face_flag::password) w |= widget_flag::password;
    if (f & face_flag::fullscreen) w |= widget_flag::full_screen;
    if (!logic::is_true(field_of(face, WName::visible_q)) || type_of(field_of(face, WName::visible_q)) != TypeId::logic)
        w |= widget_flag::hidden;
    if (!logic::is_true(field_of(face, WName::enabled_q)) || type_of(field_of(face, WName::enabled_q)) != TypeId::logic)
        w |= widget_flag::disabled;
    if (type_of(field_of(face, WName::size)) == TypeId::pair) w |= widget_flag::size_pair;
    return w;
}

void stop_timer(Widget& w) { backend().timers.remove(&w); }

// The face's state block and its changed mask, or nothing.
Cell* state_mask(const Cell& face) {
    const Cell state = field_of(face, WName::state);
    if (type_of(state) != TypeId::block || series_tail::cell_count(state) < 2) return nullptr;
    Cell* mask = series_tail::cell_at(state, 1);
    return type_of(*mask) == TypeId::integer ? mask : nullptr;
}

// Takes the face out of the list of faces that use its font or para.
void unlink_from(const Cell& face, WName facet) {
    const Cell owner = field_of(face, facet);
    Cell list = field_of(owner, WName::parent);
    if (type_of(list) != TypeId::block) return;
    list.w1 = 0;
    const uint32_t n = series_tail::cell_count(list);
    for (uint32_t i = 0; i < n; i++) {
        const Cell v = *series_tail::cell_at(list, i);
        if (type_of(v) == TypeId::object && v.w1 == face.w1) {
            Cell* at = stack::push(list);
            at->w1 = i;
            (void)series_type::remove(at, nullptr, nullptr);
            stack::data.top = at;
            return;
        }
    }
}

void destroy_tree(const Cell& face, int depth) {
    if (type_of(face) != TypeId::object || depth > 64) return;
    Cell* kept = stack::push(face);
    if (Widget* w = widget_of_face(*kept)) {
        if (!is_none(field_of(*kept, WName::rate))) stop_timer(*w);
        unlink_from(*kept, WName::font);
        unlink_from(*kept, WName::para);
        const Cell pane = field_of(*kept, WName::pane);
        if (type_of(pane) == TypeId::block) {
            Cell* p = stack::push(pane);
            for (uint32_t i = 0; i < series_tail::cell_count(*p); i++) destroy_tree(*series_tail::cell_at(*p, i), depth + 1);
        }
        if (Widget* still = widget_of_face(*kept)) {
            mark_dirty(still);
            destroy_widget(still);
        }
        const int32_t i = context::find_word(kept->w1, symbol_of(WName::state), true);
        if (i >= 0) *context::value_cell_at(kept->w1, static_cast<uint32_t>(i)) = none::value;
    }
    stack::data.top = kept;
}

// The number of items of a list's data.
int32_t item_count(const Cell& data) {
    const TypeId t = type_of(data);
    if (t == TypeId::block || t == TypeId::hash) return static_cast<int32_t>(series_tail::cell_count(data));
    return 0;
}

}  // namespace

uint32_t face_flags(const Cell& flags) {
    if (is_word_like(type_of(flags))) return flag_bit(flags);
    if (type_of(flags) != TypeId::block) return 0;
    uint32_t bits = 0;
    for (uint32_t i = 0; i < series_tail::cell_count(flags); i++) {
        const Cell v = *series_tail::cell_at(flags, i);
        if (is_word_like(type_of(v))) bits |= flag_bit(v);
    }
    return bits;
}

Widget* widget_for(const Cell& face) {
    if (Widget* w = widget_of_face(face)) return w;
    if (in_making && type_of(face) == TypeId::object && in_making->face.w1 == face.w1) return in_making;
    return nullptr;
}

Widget* make_view(const Cell& face_in, Widget* parent) {
    intern_widget_names();
    Cell* face = stack::push(face_in);
    float x = 0, y = 0, width = 0, height = 0;
    (void)xy_of(field_of(*face, WName::offset), x, y);
    (void)xy_of(field_of(*face, WName::size), width, height);
    const Cell type = field_of(*face, WName::type);
    const uint32_t type_sym = is_word_like(type_of(type)) ? symbol::resolve_alias(word::symbol_of(type)) : 0;
    const ClassHandlers* cls = type_sym ? class_of(type_sym) : nullptr;
    uint32_t flags = widget_flags_of(*face);
    if (cls) flags |= cls->flags;
    Widget* w = make_widget(type_sym ? word::symbol_of(type) : 0, parent, *face, Rect{x, y, width, height}, flags);
    const uint32_t id = w->id;
    if (cls) {
        Widget* saved = in_making;
        in_making = w;
        apply_class(*w, *cls);
        in_making = saved;
    }
    w = find_widget(id);
    if (w && type_of(field_of(*face, WName::image)) == TypeId::image) set_image(*w, field_of(*face, WName::image));
    if (w && !is_none(field_of(*face, WName::rate))) set_rate(*w, field_of(*face, WName::rate));
    stack::data.top = face;
    return w;
}

void update_view(const Cell& face_in) {
    intern_widget_names();
    Cell* face = stack::push(face_in);
    Widget* w = widget_of_face(*face);
    Cell* mask_cell = state_mask(*face);
    if (!w) {
        stack::data.top = face;
        return;
    }
    const uint32_t mask = mask_cell ? mask_cell->w2 : 0;
    if (mask_cell) mask_cell->w2 = 0;
    float x = 0, y = 0;
    if (mask & changed::rate) {
        stop_timer(*w);
        if (!is_none(field_of(*face, WName::rate))) set_rate(*w, field_of(*face, WName::rate));
    }
    if ((mask & changed::offset) && xy_of(field_of(*face, WName::offset), x, y) && w->parent) {
        const float wd = w->x2 - w->x1, ht = w->y2 - w->y1;
        w->x1 = x;
        w->y1 = y;
        w->x2 = x + wd;
        w->y2 = y + ht;
    }
    if ((mask & changed::size) && xy_of(field_of(*face, WName::size), x, y)) {
        w->x2 = w->x1 + x;
        w->y2 = w->y1 + y;
        if (w->window) {
            w->window->x2 = std::max(w->window->x2, w->x2);
            w->window->y2 = std::max(w->window->y2, w->y2);
        }
    }
    if (mask & changed::selected) {
        const Cell selected = field_of(*face, WName::selected);
        if (w->window && type_of(selected) == TypeId::object)
            if (Widget* target = widget_of_face(selected)) set_focus(target);
        w = widget_of_face(*face);
    }
    if (w && (mask & changed::enabled)) {
        if (logic::is_true(field_of(*face, WName::enabled_q))) w->flags &= ~widget_flag::disabled;
        else w->flags |= widget_flag::disabled;
    }
    bool shown_again = false;
    if (w && (mask & changed::visible)) {
        if (logic::is_true(field_of(*face, WName::visible_q))) {
            if (w->window && w->has(widget_flag::hidden)) {
                w->flags &= ~widget_flag::hidden;
                shown_again = true;
            }
            w->flags &= ~widget_flag::hidden;
        } else {
            w->flags |= widget_flag::hidden;
        }
    }
    if (w && (mask & changed::flags)) {
        const uint32_t f = face_flags(field_of(*face, WName::flags));
        w->flags &= ~(widget_flag::all_over | widget_flag::password);
        if (f & face_flag::all_over) w->flags |= widget_flag::all_over;
        if (f & face_flag::password) w->flags |= widget_flag::password;
    }
    if (w && (mask & changed::image)) set_image(*w, field_of(*face, WName::image));
    if (w) {
        // A helper that sets the face's text comes back here through the
        // face's change handler: the update then does not run again.
        static uint32_t running = 0;
        const uint32_t id = w->id;
        if (running != id) {
            const uint32_t saved = running;
            running = id;
            (void)w->on_update(*w);
            running = saved;
        }
        w = find_widget(id);
        if (w) mark_dirty(w);
        if (w && shown_again && w == backend().active) backend().terminal.dirty = true;
    }
    stack::data.top = face;
}

void destroy_view(const Cell& face, bool empty) {
    intern_widget_names();
    destroy_tree(face, 0);
    if (empty) {
        Backend& b = backend();
        if (b.loop_depth == 0 && !b.terminal.open) reset_backend();
        else if (b.active) b.terminal.dirty = true;
    }
}

void update_facet(const Cell& owner_in, const Cell& word, const Cell& action, int32_t index, int32_t part) {
    intern_widget_names();
    Cell* owner = stack::push(owner_in);
    const Cell type = field_of(*owner, WName::type);
    const bool list = is_word_like(type_of(type)) && symbol::spelling(word::symbol_of(type)) == "text-list";
    const bool drop = is_word_like(type_of(type)) && (symbol::spelling(word::symbol_of(type)) == "drop-list" ||
                                                      symbol::spelling(word::symbol_of(type)) == "drop-down");
    const bool data_word = is_name(word, WName::data);
    if (list && data_word) {
        const std::string_view a = is_word_like(type_of(action)) ? symbol::spelling(word::symbol_of(action)) : "";
        Widget* w = widget_of_face(*owner);
        const Cell data = field_of(*owner, WName::data);
        if (w && (a == "remove" || a == "clear" || a == "take" || a == "move")) {
            if (w->data > index) w->data = std::max(index, 0);
            if (index == 0 && (a == "clear" || item_count(data) <= part)) w->data = 0;
            const Cell selected = field_of(*owner, WName::selected);
            const int32_t remaining = std::max(item_count(data) - (a == "move" ? 0 : part), 0);
            if (type_of(selected) == TypeId::integer && static_cast<int32_t>(selected.w2) > remaining) {
                const int32_t i = context::find_word(owner->w1, symbol_of(WName::selected), true);
                if (i >= 0) context::value_cell_at(owner->w1, static_cast<uint32_t>(i))->w2 = static_cast<uint32_t>(remaining);
            }
        }
        if (type_of(data) != TypeId::block) {
            stack::data.top = owner;
            return;
        }
    }
    if (drop && part == 0) {
        stack::data.top = owner;
        return;
    }
    update_view(*owner);
    stack::data.top = owner;
}

void set_rate(Widget& w, const Cell& rate) {
    const TypeId t = type_of(rate);
    if (t == TypeId::none) {
        stop_timer(w);
        return;
    }
    int32_t ms = -1;
    if (t == TypeId::integer && static_cast<int32_t>(rate.w2) > 0) {
        ms = 1000 / static_cast<int32_t>(rate.w2);
    } else if (t == TypeId::time) {
        double seconds;
        const uint32_t words[2] = {rate.w2, rate.w3};
        std::memcpy(&seconds, words, sizeof seconds);
        if (seconds > 0) ms = static_cast<int32_t>(std::min(seconds * 1000.0, 2147483647.0));
    }
    if (ms < 0) error::fire(error::Id::invalid_facet_type, {rate});
    add_timer(&w, ms);
}

void set_image(Widget& w, const Cell& img) {
    w.image = ImageCells{};
    const int cols = width_of(w), rows = height_of(w);
    if (type_of(img) != TypeId::image || cols < 1 || rows < 1) return;
    const image::Pixels* px = image_type::pixels(img);
    if (!px || px->width == 0 || px->height == 0) return;
    const bool true_colour = backend().terminal.true_colour;
    auto colour = [&](uint32_t p) {
        return at_depth(colour::rgb(image::red(p), image::green(p), image::blue(p)), true_colour);
    };
    // Nearest pixel of the image scaled to cols x (2 x rows).
    auto pixel = [&](int x, int y) {
        const uint32_t sx = static_cast<uint32_t>(uint64_t(x) * px->width / uint64_t(cols));
        const uint32_t sy = static_cast<uint32_t>(uint64_t(y) * px->height / uint64_t(2 * rows));
        return px->row(sy)[sx];
    };
    w.image.width = cols;
    w.image.height = rows;
    w.image.cells.resize(static_cast<size_t>(cols) * static_cast<size_t>(rows));
    for (int r = 0; r < rows; r++) {
        for (int c = 0; c < cols; c++) {
            const uint32_t upper = pixel(c, 2 * r);
            const uint32_t lower = pixel(c, 2 * r + 1);
            GridCell& cell = w.image.cells[static_cast<size_t>(r) * static_cast<size_t>(cols) + static_cast<size_t>(c)];
            if (image::opacity(upper) == 0) cell = GridCell{' ', 0, 0, 0};
            else cell = GridCell{0x2584, colour(upper), colour(lower), 0};
        }
    }
}

}  // namespace qor::tui::widgets
