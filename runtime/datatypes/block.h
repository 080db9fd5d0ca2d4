// block!: the series of value cells that code and data rest on. paren!,
// hash! and the path types inherit its routines.
//
// Helpers here are what the rest of the runtime calls to make and fill
// blocks; the action routines are split by concern: storage and change
// (block.cpp), search (block_find.cpp), ordering (block_sort.cpp), text and
// path access (block_mold.cpp), set operations (block_sets.cpp).
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/datatypes/action_routines.h"
#include "runtime/memory/node.h"

namespace qor::block {

// --- Making -------------------------------------------------------------------

// Makes the cell an empty block! with room for n cells (n < 1 gives 1).
Cell* make_at(Cell& cell, int32_t n);
// Pushes a new empty block with room for n cells.
Cell* push_new(int32_t n);
// Pushes a copy of a value.
Cell* push(const Cell& value);

// --- Reading ------------------------------------------------------------------

// Cells from the index to the tail (0 when the index is past the tail).
[[nodiscard]] uint32_t length_at(const Cell& b);
// The cell at position n from the buffer's head. Valid until the next allocation.
[[nodiscard]] Cell* cell_at(const Cell& b, uint32_t n);

// --- Changing -----------------------------------------------------------------

// Appends a copy of the value at the tail; answers the new cell.
Cell* append_cell(const Cell& b, const Cell& value);

// Removes the first cell equal to the value (from the head, or from the
// index); answers whether its offset from the head is at most the index.
bool remove_value(const Cell& b, const Cell& value, bool from_head);

// Appends a new empty block with room for n cells to the parent block and
// answers the new cell.
Cell* make_in(const Cell& parent, int32_t n = 1);

// The cell after the first word-family cell with the word's symbol (by
// alias unless case), or none.
[[nodiscard]] const Cell* find_word(const Cell& b, const Cell& word, bool case_sensitive);

// A new block of copies of the cells from the index; with deep, nested
// blocks (and with any_block also parens and paths) are cloned too.
void clone(const Cell& source, Cell& result, bool deep, bool any_block);

// --- Routines other block types share -------------------------------------------

const Cell* make(Cell* prototype, Cell* spec, TypeId type);
const Cell* to(Cell* prototype, Cell* spec, TypeId type);
const Cell* copy(Cell* value, Cell* result, const Cell* part, bool deep, const Cell* types);
const Cell* find(Cell* series, Cell* value, const actions::FindArgs& args);
const Cell* select(Cell* series, Cell* value, const actions::FindArgs& args);
const Cell* sort(Cell* series, const actions::SortArgs& args);
int32_t compare(const Cell* a, const Cell* b, CompareOp op);
int32_t compare_each(const Cell* a, const Cell* b, CompareOp op);
int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent);
// The cells from the index with separators and line breaks, no brackets.
int32_t mold_items(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
                   int32_t indent);
Cell* eval_path(const actions::EvalPathArgs& args);

// --- Sorting with a function ------------------------------------------------------

// Calls a comparator function with two arguments and answers its result.
// The evaluator installs it; without it a function comparator raises
// internal not-done.
using ComparatorCall = Cell (*)(const Cell& function, const Cell& first, const Cell& second);
void install_comparator_call(ComparatorCall call);
// Calls the installed comparator with the two values and answers its result
// as an order, the rule every sort with a function follows (strings too);
// internal not-done when none is installed.
int32_t call_comparator(const Cell& function, const Cell& first, const Cell& second);

// Registers block! (parent series!).
void init();

}  // namespace qor::block
