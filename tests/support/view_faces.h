// Faces shown by the terminal engine without the script side: source run at
// top level, global words read, and widgets made for faces and linked to
// them through their state block as shown faces are. For the view's tests,
// its terminal driver and its benchmark.
#pragma once

#include <string_view>

#include "runtime/memory/call_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "view/terminal/face_fields.h"
#include "view/terminal/widget.h"

namespace qor::test {

// Runs the source in the global context (an error raises); the data stack
// is empty again after.
inline void eval_source(std::string_view source) {
    Cell* code = stack::push(unset_cell);
    lexer::scan_buffer(code, reinterpret_cast<const uint8_t*>(source.data()), source.size());
    interpreter::eval_block(*code, false);
    stack::data.top = stack::data.base = stack::data.bottom;
}

// The value of a global word.
inline Cell global_value(std::string_view name) { return *context::value_cell(word::load(name)); }

// A widget for the face, which has a state block of at least one value:
// its first value becomes the handle! of the widget.
inline tui::Widget* show_face(const Cell& face, tui::Widget* parent, tui::Rect rect, uint32_t flags = 0) {
    tui::Widget* w = tui::make_widget(symbol::make("base"), parent, face, rect, flags);
    *series_tail::cell_at(tui::field(face, tui::Name::state), 0) = Cell{to_int(TypeId::handle), 0, w->id, 0xFFFFFFFF};
    return w;
}

}  // namespace qor::test
