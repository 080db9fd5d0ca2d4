// Readers of number, time, money and date text: the syntax the lexer loads
// these values with, on plain text so that the datatypes' conversions from
// strings read exactly what source text reads.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/core/cell.h"

namespace qor::number_text {

// An optional sign and decimal digits with single "'" between them.
struct IntRead {
    bool ok = false;       // the text is integer syntax
    bool too_big = false;  // more than 10 digits, or beyond 32 bits
    int32_t value = 0;
};
[[nodiscard]] IntRead read_integer(std::string_view text);

// Float text (checked with `float_syntax_ok`, "'" dropped) to a double
// scaled by 10^exponent_adjust; false when it is not a number.
[[nodiscard]] bool read_float(std::string_view text, int exponent_adjust, double& out);

// "h:m", "h:m:s[.f]" or "m:s.f" with an optional sign, in seconds; text
// with an exponent is refused.
[[nodiscard]] bool read_time(std::string_view text, bool has_exponent, double& seconds);

// "[sign][CUR]$digits[.decimals]" into a money! cell.
[[nodiscard]] bool read_money(std::string_view text, Cell& out);

// A date in any of its source forms into a date! cell.
[[nodiscard]] bool read_date(std::string_view text, Cell& out);

}  // namespace qor::number_text
