// The widget classes: one set of handlers per face type, chosen by the
// face's type word when its widget is made. A type without a class keeps the
// default handlers (the face rendered with escape sequences, no events).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "view/terminal/widget.h"

namespace qor::tui::widgets {

struct ClassHandlers {
    uint32_t flags = 0;                  // widget flags the class adds before the widget joins its window
    void (*setup)(Widget&) = nullptr;    // runs once the widget is made
    UpdateHandler update = nullptr;
    RenderHandler render = nullptr;
    EventHandler event = nullptr;
};

// The class of a face type's symbol, or nullptr.
[[nodiscard]] const ClassHandlers* class_of(uint32_t type_symbol);

// The face types that have a class.
[[nodiscard]] std::span<const std::string_view> class_types();

// Gives the widget its class's handlers and runs its set-up.
void apply_class(Widget& widget, const ClassHandlers& cls);

// The classes, each in its own file.
extern const ClassHandlers field_class;       // field
extern const ClassHandlers drop_down_class;   // drop-down: a field that also steps through its items
extern const ClassHandlers button_class;
extern const ClassHandlers check_class;
extern const ClassHandlers radio_class;
extern const ClassHandlers base_class;
extern const ClassHandlers progress_class;
extern const ClassHandlers group_box_class;
extern const ClassHandlers text_list_class;
extern const ClassHandlers drop_list_class;
extern const ClassHandlers rich_text_class;

// The text caret of an editable text kept within its text: the index
// clamped to the length, the column and width measured again.
void sync_caret(Widget& widget);

}  // namespace qor::tui::widgets
