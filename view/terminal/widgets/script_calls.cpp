// Face fields, guarded script calls and notices for the widget classes.
#include "view/terminal/widgets/script_calls.h"

#include <array>

#include "runtime/core/error_fire.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/memory/call_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/memory/data_stack.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "view/terminal/dispatch.h"
#include "view/terminal/widget.h"

namespace qor::tui::widgets {

namespace {

constexpr std::array<std::string_view, static_cast<size_t>(WName::count_)> spellings = {
    "type", "offset", "size", "text", "image", "data", "enabled?", "visible?", "selected", "flags", "options",
    "parent", "pane", "rate", "font", "para", "state", "color", "caret", "border-corners", "border-color",
    "round", "TUI-helpers", "make-progress-ui", "make-text-list-ui", "make-checkbox-ui", "make-radio-ui",
};

std::array<uint32_t, spellings.size()> symbols{};

}  // namespace

bool run_guarded(void (*call)(void*), void* context) {
    return tui::run_guarded(symbol_of(WName::tui_helpers), call, context);
}

uint32_t symbol_of(WName name) {
    const auto i = static_cast<size_t>(name);
    const uint32_t cached = symbols[i];
    if (cached != 0 && cached <= symbol::count() && symbol::spelling(cached) == spellings[i]) return cached;
    symbols[i] = symbol::make(spellings[i]);
    return symbols[i];
}

void intern_widget_names() {
    for (size_t i = 0; i < spellings.size(); i++) (void)symbol_of(static_cast<WName>(i));
}

Cell field_of(const Cell& object, WName name) {
    if (type_of(object) != TypeId::object) return none::value;
    const int32_t i = context::find_word(object.w1, symbol_of(name), true);
    if (i < 0 || !context::values(object.w1)) return none::value;
    return *context::value_cell_at(object.w1, static_cast<uint32_t>(i));
}

bool is_name(const Cell& value, WName name) {
    if (!is_word_like(type_of(value))) return false;
    return symbol::resolve_alias(word::symbol_of(value)) == symbol::resolve_alias(symbol_of(name));
}

bool set_face_field(const Cell& face_in, WName name, const Cell& value_in) {
    if (type_of(face_in) != TypeId::object) return false;
    Cell* kept = stack::push(face_in);
    stack::push(value_in);
    const uint32_t sym = symbol_of(name);
    const int32_t i = context::find_word(kept[0].w1, sym, true);
    bool ok = false;
    if (i >= 0 && context::values(kept[0].w1)) {
        ok = guarded([&] {
            Cell* slot = context::value_cell_at(kept[0].w1, static_cast<uint32_t>(i));
            Cell* old = stack::push(*slot);
            *slot = kept[1];
            const Cell w = word::make_cell(TypeId::word, kept[0].w1, sym, i);
            object::fire_on_change(kept[0], w, *old, kept[1]);
        });
    }
    stack::data.top = kept;
    return ok;
}

void call_helper(WName helper, const Cell& face) {
    const int32_t g = context::find_word(context::global(), symbol_of(WName::tui_helpers), true);
    if (g < 0) return;
    const Cell helpers = *context::value_cell_at(context::global(), static_cast<uint32_t>(g));
    const Cell fn = field_of(helpers, helper);
    if (type_of(fn) != TypeId::function) return;
    Cell* kept = stack::push(fn);
    stack::push(face);
    (void)guarded([&] {
        const Cell args[1] = {kept[1]};
        interpreter::call_with(kept[0], args, word::make_cell(TypeId::word, 0, symbol_of(helper), word::no_index));
    });
    stack::data.top = kept;
}

int notify(Widget& widget, event::Type type, int32_t picked) {
    if (type_of(widget.face) != TypeId::object) return 0;
    event::Record r;
    r.key = picked;
    return dispatch_event(type, widget, r, 0);
}

}  // namespace qor::tui::widgets
