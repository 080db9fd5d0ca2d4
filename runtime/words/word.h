// Words: making, pushing, reading and writing the values of word!,
// set-word!, lit-word!, get-word!, refinement! and issue!.
//
// All six share one payload: word 1 the context node (the global context
// for words made from text; 0 for an unbound refinement), word 2 the symbol
// id, word 3 the index in that context (-1 when the word has no slot there).
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"
#include "runtime/core/symbol_ids.h"

namespace qor::word {

inline constexpr int32_t no_index = -1;

[[nodiscard]] constexpr Cell make_cell(TypeId type, NodeId ctx, uint32_t sym, int32_t index) {
    return Cell{to_int(type), ctx, sym, static_cast<uint32_t>(index)};
}
[[nodiscard]] inline uint32_t symbol_of(const Cell& w) { return w.w2; }
[[nodiscard]] inline NodeId context_of(const Cell& w) { return w.w1; }
[[nodiscard]] inline int32_t index_of(const Cell& w) { return static_cast<int32_t>(w.w3); }

// The word of a spelling, bound in the global context (added there when
// missing, sharing the slot of a differently cased spelling).
[[nodiscard]] Cell load(std::string_view utf8);

// A word! of the symbol bound in the global context (added with an unset!
// value when missing). The cell's flags are kept.
Cell* make_at(uint32_t sym, Cell& cell);
Cell* box(uint32_t sym);                    // into the result slot
Cell* make_in(uint32_t sym, NodeId block);  // on a new tail cell of the block
Cell* push(uint32_t sym);                   // on a new data-stack cell
Cell* load_in(std::string_view utf8, NodeId block);

// A word! of a runtime symbol in the global context.
[[nodiscard]] Cell of(Sym sym);

// The word entry at an index of a context's word list, and a pushed copy.
[[nodiscard]] Cell* word_at(NodeId ctx, uint32_t index);

// The context's entry for the symbol (exact), else the global context's,
// added there when missing.
[[nodiscard]] Cell find_in_or_global(NodeId ctx, uint32_t sym);

// Pushes a string! sharing the symbol's string form (head 0).
Cell* push_spelling(const Cell& word);

// True for word!, set-word!, lit-word!, get-word!, refinement!, issue!.
[[nodiscard]] constexpr bool any_word(TypeId t) { return is_word_like(t); }

// An unbound refinement (context 0, index -1) of a spelling.
[[nodiscard]] Cell refinement(std::string_view utf8);

// An issue! (global context, index -1) of a spelling.
Cell* issue_make_at(Cell& cell, std::string_view utf8);
[[nodiscard]] Cell issue(std::string_view utf8);

// --- Values ------------------------------------------------------------------

// Pushes a copy of the word's value; script no-value when it is unset!.
Cell* get(const Cell& word);
// Pushes a copy of the word's value, unset! included.
Cell* push_value(const Cell& word);
// The word is argument 0 and the value argument 1 of the current frame:
// script need-value for an unset! value, else sets the word and copies the
// value into the result slot.
Cell* set_checked();

}  // namespace qor::word
