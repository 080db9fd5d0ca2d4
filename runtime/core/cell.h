// The value cell: every value of the language is one 16-byte cell.
//
//   word 0  header   bits 0-7 the datatype id (1-54), higher bits flags
//   word 1  payload  } their use depends on the datatype
//   word 2  payload  }
//   word 3  payload  }
//
// Payloads by datatype:
//   integer!, char!          value in word 2
//   float!, percent!, time!  an IEEE double in words 2-3 (time! in seconds)
//   logic!                   0 or 1 in word 1;  datatype!: the type id in word 1
//   pair!                    x and y as 32-bit integers in words 2-3
//   point2D!, point3D!       32-bit floats from word 1
//   tuple!                   up to 12 bytes from word 1, length in header bits 19-22
//   handle!                  kind, value, -1
//   typeset!                 96 bits in words 1-3 (type t is bit 0x80 >> (t & 7) of byte t >> 3)
//   series values            head index in word 1, series node id in word 2; word 3 the
//                            hash table of a hash! or map!, the size of an image!
//   words                    context node id, symbol id, index in that context
//   object!, error!, port!   context node id, class id, on-change record node id (or 0)
//   function!, routine!      context node id, interface block node id, parts block node id
//   native!, action!         table number of its code, interface block node id, a 2-cell block
//   date!                    packed date in word 1, time of day (double) in words 2-3
//
// Every reference that a pointer would make elsewhere (a series node, a
// context, a hash table) is a 32-bit node id, so buffers can move while the
// cell stays the same. Copying a value copies all four words; changing a
// value's type keeps its flags.
#pragma once

#include <cstdint>
#include <cstring>

#include "runtime/core/type_ids.h"

namespace qor {

struct Cell {
    uint32_t header;
    uint32_t w1, w2, w3;
};
static_assert(sizeof(Cell) == 16);

// Header flag bits.
// Header flags. Bits 8-31 mean what the cell's datatype says they mean: the
// same bit serves different datatypes (bit 12 is part of a context!'s kind
// and an event!'s script-made mark), so a flag is read only on a cell whose
// type is known to use it. Only `new_line` means the same on every value.
namespace cell_flag {
inline constexpr uint32_t type_mask = 0xFF;
inline constexpr uint32_t new_line = 1u << 30;        // a line break before the value when molded
inline constexpr uint32_t context_kind_shift = 11;    // context! cells: bits 11-12 (0 global, 1 function, 2 object)
inline constexpr uint32_t context_kind_mask = 3u << 11;
inline constexpr uint32_t event_script_made = 1u << 12;  // event!: made by a script, its w2 a series
inline constexpr uint32_t changed = 1u << 13;         // word of an object's word list: field was assigned
inline constexpr uint32_t money_negative = 1u << 14;  // money!: the sign
inline constexpr uint32_t op_type_shift = 16;         // op!: bits 16-23 the type of the wrapped function
inline constexpr uint32_t tuple_length_shift = 19;    // tuple!: bits 19-22 the length
inline constexpr uint32_t tuple_length_mask = 0xFu << 19;
inline constexpr uint32_t stack_values = 1u << 22;    // context!: values live on the data stack
inline constexpr uint32_t self_value = 1u << 24;      // context!: has a self value
inline constexpr uint32_t routine_arity_shift = 25;   // routine!: bits 25-29 the argument count
inline constexpr uint32_t routine_arity_mask = 0x1Fu << 25;
}  // namespace cell_flag

[[nodiscard]] inline TypeId type_of(const Cell& c) { return static_cast<TypeId>(c.header & cell_flag::type_mask); }

// Sets the type and keeps the flags.
inline void set_type_keep_flags(Cell& c, TypeId t) {
    c.header = (c.header & ~cell_flag::type_mask) | to_int(t);
}

// Sets the whole header: the type with every flag cleared.
inline void set_header(Cell& c, TypeId t) { c.header = to_int(t); }

// Clears the new-line marker (a value moved to a new place loses its break).
inline void clear_new_line(Cell& c) { c.header &= ~cell_flag::new_line; }

[[nodiscard]] inline bool has_flag(const Cell& c, uint32_t flag) { return (c.header & flag) != 0; }

// Doubles live unaligned in words 2-3, so they are read and written by copy.
[[nodiscard]] inline double get_double(const Cell& c) {
    double d;
    std::memcpy(&d, &c.w2, sizeof d);
    return d;
}
inline void set_double(Cell& c, double d) { std::memcpy(&c.w2, &d, sizeof d); }

[[nodiscard]] inline int32_t get_int(const Cell& c) { return static_cast<int32_t>(c.w2); }
inline void set_int(Cell& c, int32_t v) { c.w2 = static_cast<uint32_t>(v); }

// The cell a block slot holds before anything is stored: unset!, payload 0.
inline constexpr Cell unset_cell{to_int(TypeId::unset), 0, 0, 0};

}  // namespace qor
