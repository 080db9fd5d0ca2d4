// Words: making, pushing, reading and writing.
#include "runtime/words/word.h"

#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"

namespace qor::word {

Cell load(std::string_view utf8) { return context::add_word_global(symbol::make(utf8), true, true); }

Cell* make_at(uint32_t sym, Cell& cell) {
    int32_t index = context::add_word(context::global(), sym);
    cell.header = (cell.header & ~cell_flag::type_mask) | to_int(TypeId::word);
    cell.w1 = context::global();
    cell.w2 = sym;
    cell.w3 = static_cast<uint32_t>(index);
    return &cell;
}

Cell* box(uint32_t sym) {
    Cell word = unset_cell;
    make_at(sym, word);
    return stack::set_result(word);
}

Cell* make_in(uint32_t sym, NodeId block) {
    Cell word = unset_cell;
    make_at(sym, word);  // may grow the global context: make the word first
    Cell* cell = series_tail::alloc_cell(block);
    *cell = word;
    return cell;
}

Cell* push(uint32_t sym) {
    Cell word = unset_cell;
    make_at(sym, word);
    return stack::push(word);
}

Cell* load_in(std::string_view utf8, NodeId block) { return make_in(symbol::make(utf8), block); }

Cell of(Sym sym) {
    int32_t index = global_index(sym);
    if (index >= 0) return make_cell(TypeId::word, context::global(), to_int(sym), index);
    Cell word = unset_cell;
    make_at(to_int(sym), word);
    return word;
}

Cell* word_at(NodeId ctx, uint32_t index) { return context::word_at(ctx, index); }

Cell find_in_or_global(NodeId ctx, uint32_t sym) {
    if (ctx != 0) {
        int32_t index = context::find_word(ctx, sym, false);
        if (index >= 0) return *context::word_at(ctx, static_cast<uint32_t>(index));
    }
    return context::add_global(sym);
}

Cell refinement(std::string_view utf8) { return make_cell(TypeId::refinement, 0, symbol::make(utf8), no_index); }

Cell* issue_make_at(Cell& cell, std::string_view utf8) {
    uint32_t sym = symbol::make(utf8);
    cell = make_cell(TypeId::issue, context::global(), sym, no_index);
    return &cell;
}

Cell issue(std::string_view utf8) {
    Cell cell;
    issue_make_at(cell, utf8);
    return cell;
}

// --- Values ------------------------------------------------------------------

Cell* get(const Cell& word) {
    const Cell value = *context::value_cell(word);
    if (type_of(value) == TypeId::unset) error::fire(error::Id::no_value, {word});
    return stack::push(value);
}

}  // namespace qor::word
