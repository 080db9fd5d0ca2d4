// Contexts: tables that map words to value slots, and binding.
//
// A context is a node whose block holds two cells:
//   1. the context! cell: kind in header bits 11-12 (0 global, 1 function,
//      2 object), bit 22 set when the values live on the data stack, bit 24
//      when the context has a self value; word 1 the node of its word table
//      (a kind-2 hash table whose key block is the word list); word 2 the
//      node of the values block, or, for a stack context, the data-stack
//      index of the first value cell plus one (0 while the function does not
//      run). A stack context holds an index, not an address, so it stays
//      valid whatever the stack's storage is.
//   2. the self value: unset! when made; the owner sets it.
// The word at index i of the word list (a word! bound to the context, with
// the symbol as it was first given) names the value at index i.
//
// A word carries its binding (context node, slot index), so reading or
// setting it is one index into the values. Addresses answered here are valid
// until the next allocation: keep indexes, not cells, across allocations.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"

namespace qor::context {

enum class Kind : uint32_t { global = 0, function = 1, object = 2 };

// Room the global context is made with.
inline constexpr uint32_t global_room = 4000;

// --- The context node's cells ---------------------------------------------

[[nodiscard]] Cell* header(NodeId ctx);  // the context! cell
[[nodiscard]] Cell* self(NodeId ctx);    // the self value

[[nodiscard]] inline Kind kind_of(const Cell& header) {
    return static_cast<Kind>((header.header & cell_flag::context_kind_mask) >> cell_flag::context_kind_shift);
}
[[nodiscard]] inline bool values_on_stack(const Cell& header) {
    return (header.header & cell_flag::stack_values) != 0;
}
// False for a function context whose function is not running.
[[nodiscard]] inline bool has_values(const Cell& header) { return header.w2 != 0; }

// What word 2 of a stack context holds for values starting at stack cell
// `index` (from the bottom), and back.
[[nodiscard]] constexpr uint32_t stack_values_ref(uint32_t index) { return index + 1; }
[[nodiscard]] constexpr uint32_t stack_values_index(uint32_t ref) { return ref - 1; }

// The word list: its node, its length, word i (from 0).
[[nodiscard]] NodeId word_list(NodeId ctx);
[[nodiscard]] uint32_t word_count(NodeId ctx);
[[nodiscard]] Cell* word_at(NodeId ctx, uint32_t index);
// The first value cell (heap or stack storage); nullptr without values.
[[nodiscard]] Cell* values(NodeId ctx);

// --- Making ----------------------------------------------------------------

// A context with room for `slots` words (0 taken as 1). With `source_words`
// (a block of words), the word table is built from it. A heap context gets a
// values block of that room, every cell unset!, its tail at the head.
[[nodiscard]] NodeId make(uint32_t slots, bool on_stack, bool self, const Cell* source_words, Kind kind);

// A context for the word!, lit-word!, get-word! and refinement! entries of a
// interface block (one level, by alias); a heap context gets one unset! value per
// entry.
[[nodiscard]] NodeId make_from_spec(const Cell& spec, bool on_stack, bool self, Kind kind);

// A context with the words of an object's context (values not copied), the
// copied words rebound to it; the object now refers to it. Answers it.
NodeId clone(Cell& object, Kind kind);

// Adds every set-word! of the block from its index (one level, by alias),
// after clamping the block's index to its tail. True when the context grew.
bool collect_set_words(NodeId ctx, Cell& block);

// --- Finding and adding ----------------------------------------------------

// The index of the symbol, or -1. By alias compares canonical ids.
[[nodiscard]] int32_t find_word(NodeId ctx, uint32_t sym, bool by_alias);

// As find_word; when absent the word is added to the word list (no value),
// its index written to `added` and -1 answered.
int32_t find_word_in(NodeId ctx, uint32_t sym, bool by_alias, int32_t& added);

// By alias: the existing index, or the word is added (an unset! value for a
// heap context) and its new index answered.
int32_t add_word(NodeId ctx, uint32_t sym);

// --- The global context ----------------------------------------------------

// Makes the global context (boot).
void make_global();
[[nodiscard]] NodeId global();
// Counts the global contexts made: what is known of one holds while this
// stands (its words are never taken away).
[[nodiscard]] uint64_t global_generation();

// Finds or adds the symbol in the global context and answers a word bound
// there. A symbol found by alias under another spelling answers, with
// `keep_spelling`, a word with the exact symbol on the shared slot. An
// added alias shares the slot of its canonical spelling when that is there.
[[nodiscard]] Cell add_word_global(uint32_t sym, bool by_alias, bool keep_spelling);

// add_word_global exact, keeping the spelling.
[[nodiscard]] Cell add_global(uint32_t sym);

// --- Getting and setting bound words ---------------------------------------

// The value cell of a word in a context. An unbound word (index -1) answers
// the self value when it is exactly `self`, else raises script no-value; a
// context without values raises script not-in-context.
[[nodiscard]] Cell* word_value_cell(const Cell& word, NodeId ctx);
// The same in the word's own context.
[[nodiscard]] Cell* value_cell(const Cell& word);

// Stores a value through a word into a context and answers the slot. An
// unbound word is looked up exactly (added when absent) and its index set.
// Raises script not-defined for a context without values. In an object
// context the word gets its changed mark, and with `events` the object's
// change handler runs with the old and new value.
Cell* set_word_value(Cell& word, const Cell& value, NodeId ctx, bool events);
// The same in the word's own context, events on.
Cell* set(Cell& word, const Cell& value);

// By alias: when the context holds the word's symbol, the word is bound to
// it; answers the index, or -1 leaving the word untouched.
int32_t bind_word(NodeId ctx, Cell& word);

// Binds every word of the block (from its index, through nested blocks,
// parens, paths and hashes) whose symbol the context holds; with `self`, a
// word! spelled exactly `self` is bound to the context with index -1. Never
// adds words. Answers the block.
Cell& bind(Cell& block, NodeId ctx, bool self);

// --- Slots by index ----------------------------------------------------------

// The value cell at an index (no check).
[[nodiscard]] Cell* value_cell_at(NodeId ctx, uint32_t index);

// --- The object's change handler -------------------------------------------

// Runs an object's on-change* handler (object, word, old value, new value).
// The object datatype installs it; until then assignments run no handler.
using FireOnChange = void (*)(const Cell& object, const Cell& word, const Cell& old_value,
                              const Cell& new_value);
void install_fire_on_change(FireOnChange handler);

}  // namespace qor::context
