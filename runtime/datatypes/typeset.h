// typeset!: a set of datatypes held in the cell itself. Type id t is bit
// 0x80 >> (t & 7) of byte t >> 3 of the 96 payload bits (payload bytes in
// memory order), so ids 0-95 fit.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/core/cell.h"

namespace qor::typeset {

[[nodiscard]] bool has(const Cell& ts, TypeId t);
void add(Cell& ts, TypeId t);
void clear(Cell& ts);

// The number of registered ids (1 to the highest registered) in the set.
[[nodiscard]] int count(const Cell& ts);

// A typeset! cell with the given payload words / with no type / with every
// type but unset! (the default typeset of a function argument).
[[nodiscard]] constexpr Cell make(uint32_t w1, uint32_t w2, uint32_t w3) {
    return Cell{to_int(TypeId::typeset), w1, w2, w3};
}
[[nodiscard]] Cell all_but_unset();

Cell* push(const Cell& ts);

// Adds one datatype or merges a typeset; anything else raises `invalid-arg`.
void add_type(Cell& ts, const Cell& item);

// The set operations on the result slot and the second argument (a typeset
// or a datatype): 5/9 union, 6/10 intersection, 7/12 difference, 11
// exclusion, 8 the first unchanged.
Cell* set_operation(int code);

// "make typeset! [integer! float!]": the full names of the set types in id
// order; with `only` the bare names. With a part limit, stops before a name
// once the limit has fallen below 0. `limit` is reduced by the length.
[[nodiscard]] std::string form_text(const Cell& ts, bool only, bool has_part, int32_t& limit);

void init();  // registers typeset!

}  // namespace qor::typeset
