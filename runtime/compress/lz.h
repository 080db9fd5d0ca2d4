// The LZ decoder: a small LZ77 format with a bit-level encoding, used for
// data the program carries with it (compressed QORBIN bodies).
//
// Layout, integers 32-bit little-endian:
//   S   bytes that follow this 8-byte header
//   U   total decoded size
//   chunks until S bytes are used: a length L (1 to 1,048,576 output bytes)
//   then a bit stream, read least significant bit first, starting on a byte
//   boundary; the bits left in its last byte are dropped.
// Items: 0 + 8-bit literal, or 1 + length + distance: a copy of n + 3 bytes
// from d + 1 bytes back within the chunk's own output (it may overlap).
//   length prefix 1 / 01 / 001 / 0001 / 00001 / 00000 then a field of
//   2 / 2 / 2 / 3 / 5 / 9 bits added to 0 / 4 / 8 / 12 / 20 / 52
//   distance: a 4-bit e, k = e + 2; k = 2: a 3-bit d; else d = 2^k + a
//   k-bit field
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qor::lz {

inline constexpr uint32_t max_chunk = 1048576;

// Decodes a whole block. Answers nothing when the block is malformed: a
// size that runs past the input or past U, a chunk length out of range, a
// copy reaching before its chunk or past its end. Never reads outside
// `input`.
[[nodiscard]] std::optional<std::vector<uint8_t>> decompress(std::span<const uint8_t> input);

}  // namespace qor::lz
