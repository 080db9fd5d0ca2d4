// map!: an insertion-ordered table of keys and values.
//
// A map cell: word 1 the head index (0), word 2 the node of its block of
// alternating key and value cells, word 3 the node of the block's key
// index (a hash table of the map kind). Word keys are kept as set-words
// and string-like keys as copies of their own; removing a pair leaves its
// key in place and zeroes its value cell's header, so the order of the
// remaining pairs never changes.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"

namespace qor::map {

// Whether a value of this datatype may be a key.
[[nodiscard]] bool valid_key(TypeId type);

// Turns a key into its stored form in place: string-like keys become a copy
// from their index, words become set-words, other valid keys stay. Any
// other datatype raises script invalid-path with `context` and the key's
// datatype.
void prepare_key(Cell& key, const Cell& context);

// Makes `out` a map over the block (its pairs indexed at once; a repeated
// key keeps its last value) or, without one, over a new empty block with
// room for `size` cells.
Cell* make_at(Cell& out, const Cell* block, int32_t size);

// The number of live pairs.
[[nodiscard]] int32_t size(const Cell& map);

// Pushes a copy of a map value on the data stack.
Cell* push(const Cell& map);

// Sets a key's value, adding the key (prepared, with `context` for its
// error) as a new pair when missing and reviving a removed pair.
void set_pair(const Cell& map, const Cell& key, const Cell& value, bool case_sensitive, const Cell& context);

// The body of `extend` on a map: every key and value of the block from its
// index; an odd count raises script invalid-arg.
void extend_with(const Cell& map, const Cell& block, bool case_sensitive);

// One step of `foreach` over a map: assigns the pairs from cell `position`
// to the words of the block (from its index) in order, moving `position`
// past what was taken. A removed pair is passed over where a key would be
// taken; a set-word key is given as a word; words left when the map ends
// get none. Answers whether any word took a key or value.
bool foreach_set(const Cell& words, const Cell& map, uint32_t& position);

// Mold and form of a map (map_text.cpp).
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent);
int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit);
// reflect: words, values or body as a new block (map_text.cpp).
Cell* reflect();

// Registers map! and installs the key check of map tables.
void init();

}  // namespace qor::map
