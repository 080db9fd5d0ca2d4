// binary!: a series of bytes (a 1-byte-unit string buffer). Conversion of
// values to bytes, hexadecimal form and mold, byte comparison, insertion and
// change of converted values, trimming of zero bytes and the bitwise
// actions, and the byte helpers other parts of the runtime use.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "runtime/core/cell.h"
#include "runtime/datatypes/action_routines.h"

namespace qor::binary_type {

// ---- byte helpers

// Bytes from the value's index to the tail (0 past the tail).
[[nodiscard]] uint32_t length_at(const Cell& b);
// Makes `cell` an empty binary! with room for n bytes.
Cell& make_at(Cell& cell, uint32_t n);
// Makes `cell` a new binary! holding a copy of the bytes (which must not
// lie in a series buffer).
Cell& load_at(Cell& cell, std::span<const uint8_t> bytes);
// Appends n bytes at the tail.
void append_memory(Cell& b, const uint8_t* bytes, uint32_t n);
// The bytes from the index, copied out.
[[nodiscard]] std::vector<uint8_t> bytes_of(const Cell& b);
// Stores the byte an integer! (-128 to 255) or char! (0 to 255) stands for
// at absolute position `at`; anything else raises script invalid-arg.
void poke_byte(Cell& b, uint32_t at, const Cell& value);

// The byte at the index in the bitset (beyond its bits: its complement
// flag).
[[nodiscard]] bool byte_in_bitset(const Cell& b, const Cell& bitset);
// For the PARSE engine: a text or binary value matches when the binary at
// its index starts with the value's bytes; a char! when the byte there
// equals its code.
[[nodiscard]] bool match_value(const Cell& b, const Cell& value);

// How a value becomes bytes (insert, append, change and to). In insert
// mode an unconvertible value raises bad-to-arg; in change mode it is
// formed. An integer outside -128..255 raises invalid-arg.
enum class BytesMode : uint8_t { insert, change };
void value_bytes(const Cell& value, std::vector<uint8_t>& out, BytesMode mode);

// ---- actions

const Cell* to(Cell* prototype, Cell* spec, TypeId type);
int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);
const Cell* insert(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup);
const Cell* append(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup);
const Cell* change(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup);
const Cell* trim(Cell* series, const actions::TrimArgs& args);

void init();  // registers binary!

}  // namespace qor::binary_type
