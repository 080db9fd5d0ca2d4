// The table of widget classes by face type.
#include "view/terminal/widgets/classes.h"

#include <array>
#include <string_view>

#include "runtime/words/symbol.h"

namespace qor::tui::widgets {

namespace {

struct Entry {
    std::string_view type;
    const ClassHandlers* cls;
};

const std::array<Entry, 11> table = {{
    {"field", &field_class}, {"drop-down", &drop_down_class}, {"button", &button_class},
    {"check", &check_class}, {"radio", &radio_class}, {"base", &base_class},
    {"progress", &progress_class}, {"group-box", &group_box_class}, {"text-list", &text_list_class},
    {"drop-list", &drop_list_class}, {"rich-text", &rich_text_class},
}};

}  // namespace

const ClassHandlers* class_of(uint32_t type_symbol) {
    const uint32_t wanted = symbol::resolve_alias(type_symbol);
    for (const Entry& e : table)
        if (symbol::resolve_alias(symbol::make(e.type)) == wanted) return e.cls;
    return nullptr;
}

void apply_class(Widget& w, const ClassHandlers& cls) {
    if (cls.update) w.on_update = cls.update;
    if (cls.render) w.render = cls.render;
    if (cls.event) w.on_event = cls.event;
    if (cls.setup) cls.setup(w);
}

}  // namespace qor::tui::widgets
