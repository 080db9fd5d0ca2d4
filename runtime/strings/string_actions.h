// The action routines of string!, shared with the types that inherit them
// (file!, url!, tag!, email!, ref!, binary!) and called directly by their
// own routines.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/datatypes/action_routines.h"

namespace qor::string_type {

// ---- comparison, conversion, form and mold (string_text.cpp)

// -1, 0, 1 for two texts; with `match`, 0 when value1 begins with value2.
[[nodiscard]] int32_t compare_values(const Cell& value1, const Cell& value2, CompareOp op, bool match);
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);
const Cell* make(Cell* prototype, Cell* spec, TypeId type);
const Cell* to(Cell* prototype, Cell* spec, TypeId type);
int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent);
// Appends the molded form of one character (escapes with carets).
void mold_char(Cell& buffer, uint32_t cp, bool all);
// Appends the formed text of every value of the block from its index, with
// no separators.
void form_block_into(Cell& buffer, const Cell& block);

// ---- matching tests of the PARSE engine (string_match.cpp)

// The character at the value's index is in the bitset (a code point beyond
// the bitset's bits answers its complement flag).
[[nodiscard]] bool char_in_bitset(const Cell& input, const Cell& bitset);
// The input holds "<" at its index and ">" just after the tag's length.
[[nodiscard]] bool enclosed_in_angles(const Cell& input, const Cell& tag);
// The input at its position matches the value: text by its characters
// (folded unless op is strict_equal), a char! by one character, a tag! by
// its text between angle brackets; anything else does not match.
[[nodiscard]] bool match_value(const Cell& input, const Cell& value, CompareOp op);

// ---- search (string_search.cpp)

const Cell* find(Cell* series, Cell* value, const actions::FindArgs& args);
const Cell* select(Cell* series, Cell* value, const actions::FindArgs& args);
Cell* eval_path(const actions::EvalPathArgs& args);

// ---- modification (string_modify.cpp)

const Cell* append(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup);
const Cell* insert(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup);
const Cell* change(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup);
Cell* swap();
const Cell* take(Cell* series, const Cell* part, bool deep, bool last);
const Cell* trim(Cell* series, const actions::TrimArgs& args);

// ---- sort and set operations (string_sort.cpp)

const Cell* sort(Cell* series, const actions::SortArgs& args);

// Set operation codes as the natives pass them.
enum class SetOp : uint8_t { unique = 8, union_ = 9, intersect = 10, exclude = 11, difference = 12 };
// A new string in `a` built from a (and b) by the operation; b is unused by unique.
void set_operation(SetOp op, Cell& a, const Cell* b, bool case_sensitive, const Cell* skip);

// ---- registration (string_type.cpp)

void init();  // registers string!

}  // namespace qor::string_type
