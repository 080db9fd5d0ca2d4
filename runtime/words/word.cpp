// Words: making, pushing, reading and writing.
#include "runtime/words/word.h"

#include <cstring>

#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"

namespace qor::word {

namespace {

// The words loaded lately, by spelling: source text repeats its words so
// often that most loads find theirs here instead of hashing the spelling
// into the symbol table and the symbol into the global context. An entry
// keeps the exact spelling's symbol and its slot in the global context it
// was found in (words are never taken out of one).
struct Loaded {
    uint64_t global = 0;  // the global context's generation; 0: empty
    uint32_t sym = 0;
    uint32_t index = 0;
    uint32_t length = 0;
    char spelling[20];
};
constexpr size_t loaded_slots = 1024;
Loaded loaded[loaded_slots];

size_t loaded_slot(std::string_view s) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    return (s.size() * 0x9E37 + byte(0) * 31 + byte(s.size() / 2) * 131 + byte(s.size() - 1) * 7919) &
           (loaded_slots - 1);
}

}  // namespace

Cell load(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > sizeof(Loaded::spelling))
        return context::add_word_global(symbol::make(utf8), true, true);
    Loaded& e = loaded[loaded_slot(utf8)];
    const uint64_t global = context::global_generation();
    if (e.global == global && e.length == utf8.size() && std::memcmp(e.spelling, utf8.data(), utf8.size()) == 0) {
        // As the global context answers a word it holds.
        Cell word = *context::word_at(context::global(), e.index);
        word.w2 = e.sym;
        return word;
    }
    const Cell word = context::add_word_global(symbol::make(utf8), true, true);
    e.global = global;
    e.sym = word.w2;
    e.index = word.w3;
    e.length = static_cast<uint32_t>(utf8.size());
    std::memcpy(e.spelling, utf8.data(), utf8.size());
    return word;
}

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
