// The words that exist before any script runs.
#include "runtime/words/predefined.h"

#include <array>

#include "runtime/core/error_fire.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::words {

namespace {

std::array<Cell, std::size(runtime_words::keywords)> keyword_cells{};

// A constant that did not come out as declared means the boot order changed:
// an internal fault, reported as such rather than left to corrupt lookups.
void expect(bool holds) {
    if (!holds) error::unreachable();
}

}  // namespace

void init_type_names() {
    for (uint32_t t = 1; t <= type_name_count; t++) {
        const Cell word = word::load(runtime_spellings[t]);
        expect(word.w2 == t && word::index_of(word) == global_index(type_name_symbol(t)));
    }
}

void init_runtime() {
    for (uint32_t id = type_name_count + 1; id <= runtime_symbol_count; id++)
        expect(symbol::make(runtime_spellings[id]) == id);
    for (Sym s : runtime_words::global_indexed)
        expect(word::index_of(context::add_global(to_int(s))) == global_index(s));
    for (Sym s : runtime_words::words)
        expect(word::index_of(word::load(runtime_spellings[to_int(s)])) == global_index(s));
}

void init_keywords() {
    for (size_t i = 0; i < keyword_cells.size(); i++)
        keyword_cells[i] = word::refinement(runtime_spellings[to_int(runtime_words::keywords[i])]);
}

void init_all() {
    init_type_names();
    init_runtime();
    init_keywords();
}

const Cell& keyword(Sym sym) {
    for (size_t i = 0; i < keyword_cells.size(); i++)
        if (runtime_words::keywords[i] == sym) return keyword_cells[i];
    error::unreachable();
}

}  // namespace qor::words
