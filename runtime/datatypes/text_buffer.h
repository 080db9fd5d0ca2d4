// The text buffer of form and mold: a `string!` value that formers and
// molders append to at its tail.
//
// Only what the scalar formers need: appending ASCII (or Latin-1) text and
// single code points (which widen the string when they do not fit its unit),
// making a new empty buffer and cutting one to a length.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/core/cell.h"

namespace qor::text_buffer {

// Makes `cell` a new empty string! with room for `capacity` characters.
void make(Cell& cell, uint32_t capacity = 32);

// Appends bytes as characters (each byte is its own code point).
void append_ascii(Cell& buffer, std::string_view text);

// Appends ASCII text and answers the part budget less its length: the
// step of every former and molder that writes fixed text.
int32_t put(Cell& buffer, std::string_view text, int32_t budget);

// Appends one code point.
void append_char(Cell& buffer, uint32_t code_point);

// Molded indentation: four spaces per level. Answers the budget minus
// what was appended.
int32_t indent(Cell& buffer, int32_t level, int32_t budget);

// Characters from the buffer's index to its tail.
[[nodiscard]] uint32_t length(const Cell& buffer);

// Keeps the first `count` characters from the index (nothing when the
// buffer is shorter).
void cut(Cell& buffer, uint32_t count);

// The code point at position i from the index (for tests and readers).
[[nodiscard]] uint32_t char_at(const Cell& buffer, uint32_t i);

// The characters of any string value from its index to its tail (a position
// past the tail reads as empty).
[[nodiscard]] std::u32string chars(const Cell& string);

// Up to `max` bytes of a binary! (or any byte series) from its index;
// answers how many were copied into `out`.
uint32_t bytes(const Cell& binary, uint8_t* out, uint32_t max);

}  // namespace qor::text_buffer
