// String storage: the character helpers that every text-building routine
// calls.
//
// A string value (string!, file!, url!, tag!, email!, ref!, and the bytes of
// binary!) is a cell whose word 1 is the index in characters from the
// buffer's head and word 2 the series node. The buffer holds 1-, 2- or
// 4-byte units (Latin-1, UCS-2, UCS-4); the unit only grows while a string
// changes, so a character index stays valid across every widening.
//
// Two widening rules: appending (the builder's rule) keeps a 1-byte string
// for 0-127 only, so that text built by appending stays plain ASCII when
// 1 byte wide; inserting and writing keep 0-255 in 1-byte units. Both widen
// a 2-byte string above 0xFFFF.
//
// Every helper that may grow or widen answers the buffer, which may have
// moved: never keep a buffer pointer across one of them.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/core/cell.h"
#include "runtime/memory/series.h"
#include "runtime/unicode/case_map.h"
#include "runtime/unicode/string_units.h"

namespace qor::str {

// ---- reading and writing one unit

[[nodiscard]] inline uint32_t get_char(const uint8_t* p, uint32_t unit) { return units::read_unit(p, unit); }

inline void put_char(uint8_t* p, uint32_t unit, uint32_t cp) {
    if (unit == 1) {
        *p = static_cast<uint8_t>(cp);
    } else if (unit == 2) {
        const uint16_t u = static_cast<uint16_t>(cp);
        std::memcpy(p, &u, 2);
    } else {
        std::memcpy(p, &cp, 4);
    }
}

// The unit a code point needs when appended (the builder's rule) and when
// inserted or written.
[[nodiscard]] constexpr uint32_t unit_for_append(uint32_t cp) { return cp > 0xFFFF ? 4 : cp > 127 ? 2 : 1; }
[[nodiscard]] constexpr uint32_t unit_for_insert(uint32_t cp) { return cp > 0xFFFF ? 4 : cp > 255 ? 2 : 1; }

// Case folding for case-insensitive comparison and search: ASCII inline,
// the rest through the case tables.
[[nodiscard]] inline uint32_t fold(uint32_t cp) {
    if (cp < 128) return (cp - 'A' < 26u) ? cp + 32 : cp;
    return unicode::to_lower(cp);
}

// ---- values

[[nodiscard]] inline series::Buffer* buffer_of(const Cell& s) { return series::buffer(s.w2); }

// Characters from the value's index to the tail; an index past the tail
// counts as the tail (the const form leaves the value alone, the other
// lowers its index to the tail).
[[nodiscard]] uint32_t length_at(const Cell& s);
uint32_t clamp_index(Cell& s);

// The code point at character offset i from the value's index.
[[nodiscard]] inline uint32_t char_at(const Cell& s, uint32_t i) {
    const series::Buffer* b = buffer_of(s);
    return get_char(b->at(s.w1 + i), b->unit());
}

// Makes `cell` an empty value of the type with room for n characters of the
// unit (n = 0 still gives room).
Cell& make_at(Cell& cell, uint32_t n, uint32_t unit = 1, TypeId type = TypeId::string);

// Empties the value's buffer, sets its unit back to 1 and its index to 0.
void reset(Cell& s);

// ---- growing and widening

// Widens the buffer to `unit` when it is narrower; answers the buffer.
series::Buffer* ensure_unit(NodeId node, uint32_t unit);

// Room for `extra` more units after the tail: grows to twice the capacity,
// or to the exact need when twice is not enough. A need beyond the largest
// series raises internal no-memory.
series::Buffer* reserve(NodeId node, uint64_t extra);

// Appends one code point at the tail (append rule).
series::Buffer* append_char(NodeId node, uint32_t cp);
// Inserts one code point at unit position `pos` from the head (insert rule).
series::Buffer* insert_char(NodeId node, uint32_t pos, uint32_t cp);
// Stores one code point at unit position `pos` from the head (insert rule).
series::Buffer* write_char(NodeId node, uint32_t pos, uint32_t cp);

// Removes `count` characters at unit position `pos` from the head; a count
// beyond the tail is cut, a position at or past the tail does nothing.
void remove_part(NodeId node, uint32_t pos, uint32_t count);

// Appends bytes as characters 0-255 (each byte its own code point).
void append_literal(Cell& s, std::string_view bytes);
// Appends a code point sequence.
void append_chars(Cell& s, std::u32string_view chars);
// True when the characters from the index begin with all the bytes.
[[nodiscard]] bool equal_literal(const Cell& s, std::string_view bytes);
// Offset from the index of the first occurrence of the code point, or -1.
[[nodiscard]] int32_t find_char(const Cell& s, uint32_t cp);

// How `concatenate` places the copied characters.
enum class Mode : uint8_t { append = 0, insert = 1, overwrite = 2 };

// Copies the source's characters from its index (at most `limit` when
// limit >= 0) into the target: at its tail, inserted at or written over
// from the target's index + offset. The target widens to the source's unit;
// a narrower source is converted while copying. Answers the count copied.
uint32_t concatenate(Cell& target, const Cell& source, int32_t limit, uint32_t offset, Mode mode);

// Exchanges the adjacent byte ranges [p, p + a) and [p + a, p + a + b),
// moving the longer one once.
void rotate(uint8_t* p, size_t a, size_t b);

// ---- small text helpers

// Two upper-case hexadecimal digits.
[[nodiscard]] std::array<char, 2> byte_to_hex(uint8_t byte);
// Eight upper-case hexadecimal digits; with `short_form` no leading zeros
// ("00" for zero).
[[nodiscard]] std::string integer_to_hex(uint32_t value, bool short_form);

// ---- loading

// Text encodings a byte buffer is loaded from.
enum class Encoding : int32_t { utf8 = 0, utf16le = -1 };

// Decodes the bytes into `cell` as a new string! at index 0. Any encoding
// but UTF-8 and UTF-16LE raises internal not-done.
Cell& load_at(const uint8_t* bytes, size_t count, Cell& cell, int32_t encoding);

// A new string! decoded from UTF-8 on the data stack; bad input raises
// access invalid-utf8.
Cell* push_new(const uint8_t* bytes, size_t count);

// The characters from the value's index as UTF-8 (at most `limit`
// characters when limit >= 0).
[[nodiscard]] std::string to_utf8(const Cell& s, int32_t limit = -1);

}  // namespace qor::str
