// The QORBIN binary format: the numbers a container is built from.
//
// A container is an 8-byte header ("QORBIN", a version byte, a flags byte)
// and a body in one of two encodings: the fixed encoding of little-endian
// 32-bit words, or the compact encoding of bytes and LEB128 integers. The
// body holds a value count, the records size, an optional symbol table and
// the records, one per top-level value. Records of containers (blocks,
// contexts, objects, functions, maps, errors) hold further records; a series,
// context or function met a second time is written as a reference: the path
// of indexes that leads to its first occurrence.
#pragma once

#include <cstdint>

namespace qor::qorbin {

inline constexpr uint8_t magic[6] = {'Q', 'O', 'R', 'B', 'I', 'N'};
inline constexpr uint8_t written_version = 2;
inline constexpr uint32_t header_size = 8;

// Flags byte of the header.
namespace container_flag {
inline constexpr uint8_t compact = 1;
inline constexpr uint8_t compressed = 2;
inline constexpr uint8_t symbols = 4;
}  // namespace container_flag

// Compact records: prefix bytes before the header byte, and header bytes
// that stand for a whole value.
namespace compact {
inline constexpr uint8_t new_line = 0xC0;
inline constexpr uint8_t reference = 0xC1;
inline constexpr uint8_t logic_true = 0xC2;
inline constexpr uint8_t logic_false = 0xC3;
inline constexpr uint8_t word_with_value = 0xC4;
inline constexpr uint8_t standalone_reference = 0xFF;
inline constexpr uint8_t small_integer = 0x80;  // 0x80-0xBF: the integers 0-63
inline constexpr uint8_t type_mask = 0x3F;
inline constexpr uint8_t ext = 0x40;
inline constexpr uint8_t long_type = 63;  // the type id follows as a LEB
}  // namespace compact

// Fixed records: the bits of a record's header word.
namespace fixed {
inline constexpr uint32_t type_mask = 0xFF;
inline constexpr uint32_t reference_type = 255;
inline constexpr uint32_t unit_shift = 8;  // string unit, tuple length
inline constexpr uint32_t op_type_shift = 16;
inline constexpr uint32_t reference = 1u << 19;
inline constexpr uint32_t money_negative = 1u << 22;
inline constexpr uint32_t complemented = 1u << 23;
inline constexpr uint32_t on_change = 1u << 24;
inline constexpr uint32_t global_word = 1u << 25;
inline constexpr uint32_t context_kind_shift = 26;
inline constexpr uint32_t context_self = 1u << 28;
inline constexpr uint32_t context_on_stack = 1u << 29;
inline constexpr uint32_t context_values = 1u << 30;
inline constexpr uint32_t new_line = 1u << 31;
}  // namespace fixed

// The flags byte of a compact context record.
namespace context_flag {
inline constexpr uint8_t kind_mask = 3;
inline constexpr uint8_t on_stack = 4;
inline constexpr uint8_t self = 8;
inline constexpr uint8_t values = 16;
}  // namespace context_flag

// A reference path holds 1 to this many indexes.
inline constexpr uint32_t max_path_length = 65536;

// How deeply records may nest: a tree deeper than this is refused by both
// the encoder and the decoder, so neither recursion can exhaust the stack.
inline constexpr int max_depth = 1000;

}  // namespace qor::qorbin
