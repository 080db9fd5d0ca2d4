// Series used as plain arrays of fixed-size records: bytes, or 32-bit
// values such as node ids and indexes. The records lie between head and
// tail; the unit bits of the buffer hold the record size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/memory/series.h"

namespace qor::array {

// A series of `count` records of `size` bytes (a count of 0 still gives 16
// bytes of room), empty.
[[nodiscard]] NodeId make(size_t count, uint32_t size);

// Records between head and tail.
[[nodiscard]] uint32_t length(NodeId id);

// Empties the array.
void clear(NodeId id);

// The buffer's flags word.
[[nodiscard]] uint32_t flags(NodeId id);

// Grows the tail by n bytes, expanding the buffer (at least doubling it)
// when full, and answers the address of the new bytes. May move the buffer.
[[nodiscard]] uint8_t* reserve_tail(NodeId id, size_t n);

void append_byte(NodeId id, uint8_t byte);
void append_bytes(NodeId id, const void* bytes, size_t n);

// 32-bit records.
void append_u32(NodeId id, uint32_t value);
// Byte offset from the head of the first record equal to value, or -1.
[[nodiscard]] int64_t find_u32(NodeId id, uint32_t value);
// The i-th record, 1-based; i must be valid.
[[nodiscard]] uint32_t pick_u32(NodeId id, uint32_t i);
void poke_u32(NodeId id, uint32_t i, uint32_t value);
// Removes the first record equal to value, when there is one.
void remove_u32(NodeId id, uint32_t value);

// Removes n bytes at a byte offset from the head (clamped to the tail).
void remove_bytes(NodeId id, size_t offset, size_t n);

}  // namespace qor::array
