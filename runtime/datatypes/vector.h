// vector!: a packed series of numbers of one kind. The elements are char!,
// integer!, float! or percent! values stored in 1, 2, 4 or 8 bytes each.
//
// Representation: payload word 1 is the position (in elements), word 2 the
// node of the element buffer, whose unit size is the element size, and
// word 3 the element datatype id (10 char!, 11 integer!, 12 float!,
// 38 percent!). Elements are little-endian: integer! elements two's
// complement in 1, 2 or 4 bytes (read sign-extended), char! elements the
// code point in 1, 2 or 4 bytes (read unsigned), float! elements IEEE
// single or double, percent! elements the double of the fraction (50% is
// 0.5) in 8 bytes.
//
// Navigation and the units-only series actions come from series! and
// string!; the series routines reach single elements through `item_value`
// (reading) and `set_item` (writing).
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/datatypes/action_routines.h"
#include "runtime/datatypes/math_ops.h"

namespace qor::vector_type {

// ---- elements

// The element datatype of a vector value.
[[nodiscard]] inline TypeId element_type(const Cell& v) { return static_cast<TypeId>(v.w3); }

// Elements of char! and integer! are read as integers, float! and percent!
// as doubles.
[[nodiscard]] constexpr bool is_float_kind(TypeId element) {
    return element == TypeId::float_ || element == TypeId::percent;
}

// The element at `p` as an integer (char! unsigned, integer! sign-extended)
// and as a double (a single widened).
[[nodiscard]] int32_t read_int(const uint8_t* p, uint32_t unit, TypeId element);
[[nodiscard]] double read_float(const uint8_t* p, uint32_t unit);

// Writes `out` as the value of the element at absolute position i.
void item_value(const Cell& v, uint32_t i, Cell& out);

// Writes the value into the element at `p`: a char! or integer! into a
// char! or integer! vector keeps its low 1, 2 or 4 bytes; a float! or
// percent! into a float! or percent! vector is stored as a double or a
// single. Any other pairing raises script invalid-type with the value's
// datatype.
void set_item(uint8_t* p, const Cell& value, uint32_t unit, TypeId element);

// The check `set_item` makes, without writing.
void check_item(const Cell& value, TypeId element);

// poke: the value's datatype must be the element type (else script
// invalid-arg with the value); writes the element at absolute position i.
void poke(Cell& v, uint32_t i, const Cell& value);

// ---- values

// Makes `cell` an empty vector with room for `count` elements of `unit`
// bytes (at least one). A size beyond the largest series raises internal
// no-memory.
Cell& make_at(Cell& cell, int64_t count, TypeId element, uint32_t unit);

// Appends one value, whose datatype must be the element type (else script
// invalid-arg with the value).
void append_value(Cell& v, const Cell& value);

// A new block in `result` holding one value per element from the position.
void to_block(const Cell& v, Cell& result);

// ---- math

// Element-wise math on the current frame: the first argument is the
// vector, the second a vector (a new vector is answered) or a scalar (the
// vector changes in place and is answered).
Cell* do_math(MathOp op);

// The same with the scalar first (`10 - v`): the frame's first argument is
// the scalar, the second the vector, which is changed in place to scalar op
// element and answered.
Cell* do_math_scalar_first(MathOp op);

// ---- actions shared by the series files of vector!

const Cell* find(Cell* series, Cell* value, const actions::FindArgs& args);
const Cell* select(Cell* series, Cell* value, const actions::FindArgs& args);
const Cell* sort(Cell* series, const actions::SortArgs& args);
Cell* eval_path(const actions::EvalPathArgs& args);

void init();  // registers vector! (after string!)

}  // namespace qor::vector_type
