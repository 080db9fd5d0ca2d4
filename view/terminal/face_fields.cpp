// Face fields by name.
#include "view/terminal/face_fields.h"

#include <array>
#include <string_view>

#include "runtime/datatypes/none.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::tui {

namespace {

constexpr std::array<std::string_view, static_cast<size_t>(Name::count_)> spellings = {
    "text", "color", "font", "para", "options", "draw", "pane", "state", "hint", "wrap?", "align", "v-align",
    "right", "center", "middle", "bottom", "done", "system", "view", "awake", "screens", "size", "platform",
    "mouse-event?",
};

std::array<uint32_t, spellings.size()> symbols{};

}  // namespace

uint32_t symbol_of(Name name) {
    const auto i = static_cast<size_t>(name);
    const uint32_t cached = symbols[i];
    if (cached != 0 && cached <= symbol::count() && symbol::spelling(cached) == spellings[i]) return cached;
    symbols[i] = symbol::make(spellings[i]);
    return symbols[i];
}

void intern_names() {
    for (size_t i = 0; i < spellings.size(); i++) (void)symbol_of(static_cast<Name>(i));
}

Cell field(const Cell& object, Name name) {
    if (type_of(object) != TypeId::object) return none::value;
    const int32_t i = context::find_word(object.w1, symbol_of(name), true);
    if (i < 0 || !context::values(object.w1)) return none::value;
    return *context::value_cell_at(object.w1, static_cast<uint32_t>(i));
}

bool is_word(const Cell& value, Name name) {
    if (!is_word_like(type_of(value))) return false;
    return symbol::resolve_alias(word::symbol_of(value)) == symbol::resolve_alias(symbol_of(name));
}

Cell view_field(Name name) {
    const int32_t s = context::find_word(context::global(), symbol_of(Name::system), true);
    if (s < 0) return none::value;
    const Cell system = *context::value_cell_at(context::global(), static_cast<uint32_t>(s));
    return field(field(system, Name::view), name);
}

}  // namespace qor::tui
