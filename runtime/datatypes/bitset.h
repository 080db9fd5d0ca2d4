// bitset!: a growable array of bits indexed by non-negative integers, most
// often a set of characters (code points) for `find`, `trim`, the set
// natives and PARSE.
//
// Representation: payload word 2 holds the node of a byte series (unit 1)
// whose bytes, from the buffer's head, are the bits most significant first:
// bit n is mask 0x80 >> (n & 7) of byte n >> 3. The stored bytes are the
// membership itself. A complemented bitset (series flag `complemented`, so
// shared by every value of the series) also holds every position beyond its
// stored bytes; one that is not holds none of them. Complementing a bitset
// inverts its stored bytes and flips the flag, so its text shows the bytes
// of the set it is the complement of: `make bitset! [not #{80}]`.
//
// The stored size in bits is always an integer!: at most
// `max_bytes` × 8 = 2147483640 bits.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/series.h"

namespace qor::bitset {

inline constexpr uint64_t max_bytes = 0x7FFFFFFF / 8;

[[nodiscard]] inline bool is_complemented(const series::Buffer* b) {
    return (b->flags & series::flag::complemented) != 0;
}

// Membership of a code point (or any bit number): the stored bit, or beyond
// the stored bytes the complement flag. Reads the buffer through the node,
// allocates nothing: the test PARSE, `find` and `trim` make per character.
[[nodiscard]] inline bool has(const Cell& bits, uint32_t n) {
    const series::Buffer* b = series::buffer(bits.w2);
    const uint32_t byte = n >> 3;
    if (byte >= b->tail - b->head) return is_complemented(b);
    return (b->head_ptr()[byte] & (0x80u >> (n & 7))) != 0;
}

// A new bitset of `bytes` stored bytes, all 0 (all 0xFF when complemented),
// written into `cell`. Sizes above `max_bytes` raise script `out-of-range`.
Cell* make_at(Cell& cell, uint64_t bytes, bool complemented);

// The set natives' operation on the frame (union 9, intersect 10,
// exclude 11, difference 12; unique 8 answers the bitset itself): the first
// argument becomes the result.
Cell* set_operation(uint8_t code);

void init();  // registers bitset!

}  // namespace qor::bitset
