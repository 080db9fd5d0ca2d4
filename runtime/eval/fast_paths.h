// Fast paths for the commonest operations: integer and float arithmetic,
// comparisons, pick and series queries computed directly on the operand
// cells, without a frame or dispatch, and falling back to the action
// dispatchers inside a native frame named by the given word otherwise.
//
// Used by the interpreter for operators over integers and floats, and by
// natives.
#pragma once

#include <cstdint>
#include <cstring>

#include "runtime/core/cell.h"
#include "runtime/datatypes/logic.h"

namespace qor::fast {

enum class Arith : uint8_t { add = 0, subtract = 1, multiply = 2, or_ = 5, and_ = 6, xor_ = 7 };

// Comparison codes 0-6: equal?, not-equal?, strict-equal?, lesser?,
// lesser-or-equal?, greater?, greater-or-equal?.
inline constexpr int compare_codes = 7;

enum class Query : uint8_t { length = 1, index = 2, head_q = 3, tail_q = 4, next = 5, back = 6, head = 7, tail = 8 };

// Pushes a op b. Integer results that leave the 32-bit range become floats.
// The integer cases of arith and compare, inline for the evaluators' own
// loops. int_arith: false when the result overflows (arith then answers a
// float); int_compare takes a code below compare_codes.
[[nodiscard]] inline bool int_arith(Arith code, int32_t x, int32_t y, int32_t& r) {
    switch (code) {
        case Arith::add: return !__builtin_add_overflow(x, y, &r);
        case Arith::subtract: return !__builtin_sub_overflow(x, y, &r);
        case Arith::multiply: return !__builtin_mul_overflow(x, y, &r);
        case Arith::or_: r = x | y; return true;
        case Arith::and_: r = x & y; return true;
        case Arith::xor_: r = x ^ y; return true;
    }
    return false;
}
[[nodiscard]] inline bool int_compare(int code, int32_t a, int32_t b) {
    switch (code) {
        case 0:
        case 2: return a == b;
        case 1: return a != b;
        case 3: return a < b;
        case 4: return a <= b;
        case 5: return a > b;
        default: return a >= b;
    }
}

// Stores an integer cell with one store: the next step reads the cell
// back whole, which waits for a cell written in parts to reach the cache.
inline void put_int(Cell& out, int32_t r) {
    using Lanes = uint32_t __attribute__((vector_size(16)));
    const Lanes cell = {to_int(TypeId::integer), 0, static_cast<uint32_t>(r), 0};
    std::memcpy(&out, &cell, sizeof(Cell));
}

// The integer case of an operator as one cell: an Arith code, or with
// `compare` a comparison code; false when a sum leaves the 32-bit range.
[[nodiscard]] inline bool int_result(bool compare, int code, int32_t x, int32_t y, Cell& out) {
    if (compare) {
        out = int_compare(code, x, y) ? logic::true_value : logic::false_value;
        return true;
    }
    int32_t r = 0;
    if (!int_arith(static_cast<Arith>(code), x, y, r)) return false;
    put_int(out, r);
    return true;
}

void arith(Arith code, const Cell& word, const Cell& a, const Cell& b);
// Pushes a logic! for the comparison.
void compare(int code, const Cell& word, const Cell& a, const Cell& b);
// Pushes the value at the 1-based index of a block (none outside it).
void pick(const Cell& value, int32_t index, const Cell& word);

}  // namespace qor::fast
