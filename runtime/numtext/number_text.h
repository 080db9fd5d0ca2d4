// Text to number for the `to` actions: the characters of a string read as an
// integer or a float, with the number syntax of source text ("'" between
// digits, "," as the decimal point).
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/core/cell.h"

namespace qor::number_text {

enum class Status : int8_t { ok = 0, bad_text = -1, overflow = -2 };

// An optional sign, then digits with "'" anywhere among them. Any other
// character, or no digit at all, is bad text; a value beyond 32 bits is
// overflow.
[[nodiscard]] int32_t to_integer(std::u32string_view chars, Status& status);

// At most 312 characters of float text ("," read as "."; "'" dropped) that
// pass `float_syntax_ok`, converted correctly rounded.
[[nodiscard]] double to_float(std::u32string_view chars, Status& status);

// "[sign][CUR$]digits[.decimals]" (the "$" optional without a currency
// code; "'" between integer digits) into a money! cell. Bad text leaves
// `out` unchanged.
void to_money(std::u32string_view chars, Status& status, Cell& out);

// The float syntax shared with the lexer: optional signs, digits with "'"
// between them, an optional "." and fraction, an optional exponent; at most
// 312 bytes.
[[nodiscard]] bool float_syntax_ok(std::string_view text);

}  // namespace qor::number_text
