// Tab completion through the library (see completer.h).
#include "console/completer.h"

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/type_ids.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/data_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/core/symbol_ids.h"
#include "runtime/words/word.h"

namespace qor::console {

namespace {

// qor-complete-ctx/complete-input, or null when the library has none.
const Cell* complete_input_function() {
    const Cell* ctx = context::value_cell(word::load("qor-complete-ctx"));
    if (!ctx || type_of(*ctx) != TypeId::object) return nullptr;
    const int32_t i = context::find_word(ctx->w1, symbol::make("complete-input"), true);
    if (i < 0) return nullptr;
    const Cell* fn = context::value_cell_at(ctx->w1, static_cast<uint32_t>(i));
    return type_of(*fn) == TypeId::function ? fn : nullptr;
}

// The library's answer as completions: the first value is the new line,
// its index the cursor; the candidates follow.
std::vector<Completion> completions_of(const Cell& answer) {
    std::vector<Completion> found;
    if (type_of(answer) != TypeId::block) return found;
    series::Buffer* b = series::buffer(answer.w2);
    const uint32_t length = b->length();
    const uint32_t n = answer.w1 < length ? length - answer.w1 : 0;
    for (uint32_t i = 0; i < n; i++) {
        const Cell v = b->cells()[answer.w1 + i];
        if (!is_any_string(type_of(v))) return {};
        if (i == 0) {
            Cell whole = v;
            whole.w1 = 0;
            found.push_back({text_buffer::chars(whole), v.w1});
        } else {
            found.push_back({text_buffer::chars(v), 0});
        }
    }
    return found;
}

}  // namespace

std::vector<Completion> library_completion(const std::u32string& line, size_t cursor) {
    const Cell* fn = complete_input_function();
    if (!fn) return {};
    Cell* const top = stack::data.top;
    Cell* const base = stack::data.base;
    std::vector<Completion> found;
    stack::mark_try(to_int(Sym::try_));
    try {
        Cell* text = stack::push(unset_cell);
        text_buffer::make(*text, static_cast<uint32_t>(line.size() + 1));
        for (char32_t c : line) text_buffer::append_char(*text, c);
        const Cell args[] = {Cell{text->header, static_cast<uint32_t>(cursor), text->w2, text->w3},
                             logic::true_value};
        const Cell function = *fn;
        interpreter::call_with(function, args, word::load("complete-input"));
        if (stack::exiting()) {
            (void)stack::take_exit();
        } else {
            found = completions_of(stack::data.top[-1]);
        }
        stack::revert();
    } catch (const error::Raised&) {
        (void)stack::unwind_for_error();
        stack::revert();
    }
    stack::data.top = top;
    stack::data.base = base;
    return found;
}

}  // namespace qor::console
