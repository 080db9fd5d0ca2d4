// The natives table, filled by name, and the reading of built-in interface blocks.
#include "runtime/eval/natives.h"

#include "runtime/datatypes/native.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::natives {

namespace {

Table table;

// A listed native that has no routine: raises not-done when called.
void not_done(bool, std::span<const int32_t>) { error::fire(error::Id::not_done); }

// Reads one token of the interface notation into a cell appended to the block.
void append_token(NodeId block, std::string_view token) {
    TypeId type = TypeId::word;
    if (token.front() == '\'') {
        type = TypeId::lit_word;
        token.remove_prefix(1);
    } else if (token.front() == ':') {
        type = TypeId::get_word;
        token.remove_prefix(1);
    } else if (token.front() == '/') {
        type = TypeId::refinement;
        token.remove_prefix(1);
    } else if (token.back() == ':') {
        type = TypeId::set_word;
        token.remove_suffix(1);
    }
    Cell w = word::load(token);
    set_type_keep_flags(w, type);
    *series_tail::alloc_cell(block) = w;
}

}  // namespace

Cell spec_block(std::string_view text) {
    const NodeId outer = series::alloc_cells(8);
    stack::push(Cell{to_int(TypeId::block), 0, outer, 0});
    NodeId inner = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ') {
            i++;
        } else if (c == '[') {
            inner = series::alloc_cells(4);
            // Kept on the stack while the outer block grows.
            const Cell* inner_cell = stack::push(Cell{to_int(TypeId::block), 0, inner, 0});
            *series_tail::alloc_cell(outer) = *inner_cell;
            stack::pop();
            i++;
        } else if (c == ']') {
            inner = 0;
            i++;
        } else if (c == '"') {
            // A doc string, up to the next double quote.
            size_t end = text.find('"', i + 1);
            if (end == std::string_view::npos) end = text.size();
            const std::string_view doc = text.substr(i + 1, end - i - 1);
            const Cell* s = str::push_new(reinterpret_cast<const uint8_t*>(doc.data()), doc.size());
            const Cell copy = *s;
            *series_tail::alloc_cell(inner ? inner : outer) = copy;
            stack::pop();
            i = end + 1;
        } else {
            size_t end = i;
            while (end < text.size() && text[end] != ' ' && text[end] != ']' && text[end] != '[') end++;
            append_token(inner ? inner : outer, text.substr(i, end - i));
            i = end;
        }
    }
    const Cell spec = stack::data.top[-1];
    stack::pop();
    return spec;
}

void init() {
    table = Table{};
    for (const ListedNative& n : listed) table[n.number] = not_done;
    impl::install(table);
}

NativeFn code(uint32_t number) { return table.at(number); }

Cell make_action(Action a, std::string_view spec_text) {
    const Cell* spec = stack::push(spec_block(spec_text));
    const Cell value = native::make(TypeId::action, static_cast<uint32_t>(to_int(a)), *spec);
    stack::pop();
    return value;
}

std::optional<std::string> first_undefined() {
    for (const ListedNative& n : listed) {
        const Cell w = word::load(n.word);
        const Cell* value = context::value_cell(w);
        if (!value || type_of(*value) != TypeId::native || value->w1 != to_int(n.number)) return std::string(n.word);
    }
    return std::nullopt;
}

}  // namespace qor::natives
