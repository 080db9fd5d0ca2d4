// Readers behind the lexer's number, time, money and date loaders, on plain
// text so that other converters can share them.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/core/cell.h"

namespace qor::lexer {

// An optional sign and decimal digits with single "'" between them.
struct IntRead {
    bool ok = false;       // the text is integer syntax
    bool too_big = false;  // more than 10 digits, or beyond 32 bits
    int32_t value = 0;
};
[[nodiscard]] IntRead read_integer(std::string_view text);

// "h:m", "h:m:s[.f]" or "m:s.f" with an optional sign, in seconds; `flags`
// are the token flags (an exponent is refused).
[[nodiscard]] bool read_time(std::string_view text, uint32_t flags, double& seconds);

// "[sign][CUR]$digits[.decimals]" into a money! cell.
[[nodiscard]] bool read_money(std::string_view text, Cell& out);

// A date in any of its source forms into a date! cell.
[[nodiscard]] bool read_date(std::string_view text, Cell& out);

}  // namespace qor::lexer
