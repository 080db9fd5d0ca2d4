// money!: an exact decimal amount with an optional currency.
//
// Cell layout (payload bytes in memory order from word 1):
//   byte 0       the currency: 0 none, else the 1-based position of its code
//                in the currency list (system/locale/currencies/list)
//   bytes 1-11   22 decimal digits in packed BCD, most significant first,
//                the earlier digit of a byte in its high nibble: positions
//                1-17 the integer part (17 the units), 18-22 five decimals
//   header bit 14 (`cell_flag::money_negative`) the sign. A value whose
//                digits are all zero is zero whatever that bit says.
//
// Arithmetic works on the amount as an integer count of 0.00001 units (at
// most 10^22 - 1), so no result ever suffers binary rounding: multiplication
// and division keep five decimals and truncate the rest; a result that
// needs more than 22 digits raises script `type-limit`.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/core/cell.h"
#include "runtime/core/compare_ops.h"
#include "runtime/datatypes/math_ops.h"

namespace qor::money {

inline constexpr int digit_count = 22;
inline constexpr int integer_digits = 17;
inline constexpr int fraction_digits = 5;

// What the money code reads from the system object: the currency list (a
// block of words) and system/options/money-digits. Each answers nullptr
// while there is no such field; the address is valid until the next
// allocation. Before the environment installs them, the list is the one the
// system starts with.
struct SystemLookup {
    const Cell* (*currency_list)();
    const Cell* (*money_digits)();
};
void install_system_lookup(SystemLookup lookup);

// The 1-based position of a three-letter code in the currency list, ignoring
// case; -1 when it is not there.
[[nodiscard]] int32_t currency_index(std::string_view code);

// Whether a currency index names a currency of the list (0, none, does).
[[nodiscard]] bool currency_known(uint8_t index);

// A money! cell from its parts: sign, currency index and the 22 digits.
[[nodiscard]] Cell make(bool negative, uint8_t currency, const uint8_t (&digits)[digit_count]);

[[nodiscard]] bool is_zero(const Cell& m);
// -1, 0 or 1.
[[nodiscard]] int sign(const Cell& m);

// The arithmetic of the frame's two operands (add to remainder) when either
// is a money!: integer!, float! and percent! operands are converted; the
// result replaces the first argument. integer! and float! hand over here.
Cell* do_math(MathOp op);

// The compare routine's answer for a number (integer! or float!) first and a
// money! second.
[[nodiscard]] int32_t compare_number(const Cell& number, const Cell& money, CompareOp op);

// Conversions of `to integer!` (script `type-limit` beyond 32 bits; the
// fraction is dropped) and `to float!`.
[[nodiscard]] int32_t to_integer(const Cell& m);
[[nodiscard]] double to_float(const Cell& m);

// as-money: the amount (an integer! or float!) in the currency of the word.
// An unknown currency raises script `bad-denom`.
[[nodiscard]] Cell as_money(const Cell& currency_word, const Cell& amount);

void init();  // registers money!

}  // namespace qor::money
