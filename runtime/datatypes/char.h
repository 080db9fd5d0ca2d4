// char!: one Unicode code point, 0 to 0x10FFFF (payload word 2). Registered
// as a child of integer!, whose random, absolute, even? and odd? it
// inherits; its arithmetic is integer arithmetic kept inside the code-point
// range.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/datatypes/math_ops.h"

namespace qor::char_ {

inline constexpr uint32_t max_code_point = 0x10FFFF;

Cell* make_at(Cell& cell, uint32_t code_point);
Cell* push(uint32_t code_point);
Cell* make_in(Cell& block, uint32_t code_point);

// The escaped form of one code point inside a molded char or string
// ("^/" for a line feed, "^(1E)" for 30), as code points.
struct Escaped {
    char32_t data[10];
    uint8_t size;
};
[[nodiscard]] Escaped mold_escape(uint32_t code_point, bool all);

// The arithmetic actions: the char in the result slot op second argument.
Cell* do_math(MathOp op);

void init();  // registers char!

}  // namespace qor::char_
