// Growing series at their tail: the cell and byte appends that value
// helpers (`make_in`) and builders use.
//
// Each may grow the buffer, and growing may move it: the answered address is
// valid only until the next allocation.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"

namespace qor::series_tail {

// Appends a new cell to the series of cells behind the node, growing it by
// the default growth when full; the cell's header is unset! (its payload is
// not written). Answers the new cell.
Cell* alloc_cell(uint32_t node);

// `alloc_cell` on the buffer of a block value's node.
Cell* block_alloc_tail(const Cell& block);

// Advances the tail by n bytes, growing the buffer when it passes the end of
// its capacity (to at least twice n when n is more than the whole capacity,
// else by the default growth). Answers the old tail address.
uint8_t* reserve(uint32_t node, uint32_t n);

// Cells of a block value from its index to its tail (0 when the index is
// past the tail), and the cell at position i from the index.
[[nodiscard]] uint32_t cell_count(const Cell& block);
[[nodiscard]] Cell* cell_at(const Cell& block, uint32_t i);

// Units from the head of a series value's buffer to its tail: the index of its
// tail position.
[[nodiscard]] uint32_t tail_units(const Cell& series);

}  // namespace qor::series_tail
