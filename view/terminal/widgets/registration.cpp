// Plugs the widget classes into widget making by face type: each class's
// handlers and set-up when a face's widget is made, its text re-derived at
// each update, a list's scroll head kept in range on in-place changes of its
// items, and the face image turned into cells.
#include "view/terminal/widgets/widgets.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "runtime/datatypes/image.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "view/terminal/platform.h"
#include "view/terminal/widgets/classes.h"
#include "view/terminal/widgets/script_calls.h"
#include "view/terminal/widgets/widgets.h"

namespace qor::tui::widgets {

namespace {

// The widget whose class set-up is running: its face has no state yet, so
// the helpers the set-up calls find the widget through this.
Widget* in_making = nullptr;

// The face image as cells, when the face has one.
void follow_image(Widget& w) {
    const Cell image = field_of(w.face, WName::image);
    if (type_of(image) == TypeId::image) set_image(w, image);
    else if (!w.image.cells.empty()) w.image = ImageCells{};
}

void setup(Widget& w) {
    intern_widget_names();
    const uint32_t id = w.id;
    if (const ClassHandlers* cls = class_of(w.type)) {
        w.flags |= cls->flags;
        Widget* saved = in_making;
        in_making = &w;
        apply_class(w, *cls);
        in_making = saved;
    }
    if (Widget* still = find_widget(id)) follow_image(*still);
}

// A helper that sets the face's text comes back here through the face's
// change handler: the widget's own update then does not run again.
void update(Widget& w) {
    static uint32_t running = 0;
    const uint32_t id = w.id;
    follow_image(w);
    if (running == id) return;
    const uint32_t saved = running;
    running = id;
    (void)w.on_update(w);
    running = saved;
}

int32_t item_count(const Cell& data) {
    const TypeId t = type_of(data);
    return t == TypeId::block || t == TypeId::hash ? static_cast<int32_t>(series_tail::cell_count(data)) : 0;
}

bool is_action(const Cell& action, std::string_view name) {
    return is_word_like(type_of(action)) && symbol::spelling(word::symbol_of(action)) == name;
}

// Items about to leave a text list: the scroll head and the selection stay
// within what remains. A data value that is no block needs no update.
bool list_facet(Widget& w, const FacetChange& c) {
    if (!is_name(c.word, WName::data)) return false;
    const Cell data = field_of(w.face, WName::data);
    const bool move = is_action(c.action, "move");
    if (move || is_action(c.action, "remove") || is_action(c.action, "clear") || is_action(c.action, "take")) {
        if (w.data > c.index) w.data = std::max(c.index, 0);
        const int32_t remaining = std::max(item_count(data) - (move ? 0 : c.part), 0);
        if (c.index == 0 && remaining == 0) w.data = 0;
        const Cell selected = field_of(w.face, WName::selected);
        if (type_of(selected) == TypeId::integer && static_cast<int32_t>(selected.w2) > remaining) {
            const int32_t i = context::find_word(w.face.w1, symbol_of(WName::selected), true);
            if (i >= 0) context::value_cell_at(w.face.w1, static_cast<uint32_t>(i))->w2 = static_cast<uint32_t>(remaining);
        }
    }
    return type_of(data) != TypeId::block;
}

// Face types whose widgets only show a face image besides the default.
constexpr std::array<std::string_view, 4> plain_types = {"text", "area", "panel", "image"};

}  // namespace

void register_classes() {
    for (std::string_view type : class_types()) {
        tui::WidgetClass c{setup, update, nullptr, nullptr};
        if (type == "text-list") c.facet = list_facet;
        register_widget_class(type, c);
    }
    for (std::string_view type : plain_types) register_widget_class(type, tui::WidgetClass{setup, update, nullptr, nullptr});
}

Widget* widget_for(const Cell& face) {
    if (Widget* w = widget_of_face(face)) return w;
    if (in_making && type_of(face) == TypeId::object && in_making->face.w1 == face.w1) return in_making;
    return nullptr;
}

}  // namespace qor::tui::widgets
