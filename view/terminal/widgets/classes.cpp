// The table of widget classes by face type.
#include "view/terminal/widgets/classes.h"

#include <array>
#include <string_view>

#include "runtime/words/symbol.h"

namespace qor::tui::widgets {

namespace {

constexpr std::array<std::string_view, 11> types = {
    "field", "drop-down", "button", "check", "radio", "base", "progress", "group-box", "text-list", "drop-list",
    "rich-text",
};
const std::array<const ClassHandlers*, types.size()> classes = {
    &field_class, &drop_down_class, &button_class, &check_class, &radio_class, &base_class,
    &progress_class, &group_box_class, &text_list_class, &drop_list_class, &rich_text_class,
};

}  // namespace

const ClassHandlers* class_of(uint32_t type_symbol) {
    const uint32_t wanted = symbol::resolve_alias(type_symbol);
    for (size_t i = 0; i < types.size(); i++)
        if (symbol::resolve_alias(symbol::make(types[i])) == wanted) return classes[i];
    return nullptr;
}

std::span<const std::string_view> class_types() { return types; }

void apply_class(Widget& w, const ClassHandlers& cls) {
    if (cls.update) w.on_update = cls.update;
    if (cls.render) w.render = cls.render;
    if (cls.event) w.on_event = cls.event;
    if (cls.setup) cls.setup(w);
}

}  // namespace qor::tui::widgets
