// tuple!: 3 to 12 bytes written with dots (1.2.3, 255.0.0.128): versions,
// colours (three channels and an optional alpha), network addresses. The
// bytes live inside the cell, so a tuple is copied, never shared, and no
// tuple operation allocates.
//
//   header  bits 19-22 the length (3 to 12)
//   word 1  bytes 1-4 (byte 1 in the lowest byte)
//   word 2  bytes 5-8
//   word 3  bytes 9-12; bytes beyond the length are 0
//
// Arithmetic works byte by byte and clamps every result to 0-255.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "runtime/core/cell.h"
#include "runtime/datatypes/math_ops.h"

namespace qor::tuple {

inline constexpr uint32_t min_length = 3;
inline constexpr uint32_t max_length = 12;

using Bytes = std::array<uint8_t, max_length>;

[[nodiscard]] inline uint32_t length_of(const Cell& c) {
    return (c.header & cell_flag::tuple_length_mask) >> cell_flag::tuple_length_shift;
}
[[nodiscard]] Bytes bytes_of(const Cell& c);

// Writes a tuple of the given bytes into the cell (whole header written);
// fewer than 3 bytes are padded with zeros.
Cell* make_at(Cell& cell, std::span<const uint8_t> bytes);
Cell* push(std::span<const uint8_t> bytes);

// Every byte within the length is 0.
[[nodiscard]] bool all_zero(const Cell& c);

// The arithmetic actions (also the hand-off of integer! and float!, whose
// value is then the first argument): the result slot op the second
// argument, the tuple taking the first place.
Cell* do_math(MathOp op);

void init();  // registers tuple!

}  // namespace qor::tuple
