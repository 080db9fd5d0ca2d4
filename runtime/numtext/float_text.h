// Correctly rounded conversion between doubles and decimal text, both ways,
// and the one decimal layout of float text.
//
// Digits come from the standard library's shortest/fixed-precision
// conversion (`std::to_chars`, correctly rounded); text is read with
// `std::from_chars` (round to nearest, ties to even) after the syntax of
// number text has been walked here.
#pragma once

#include <cstdint>
#include <string_view>

namespace qor::float_text {

// A short text built in place, valid as long as the object lives.
struct Text {
    static constexpr uint8_t capacity = 128;
    char data[capacity];
    uint8_t size = 0;

    [[nodiscard]] std::string_view view() const { return {data, size}; }
    // The layouts below never fill it; a push beyond it is dropped.
    void push(char c) {
        if (size < capacity) data[size++] = c;
    }
    void append(std::string_view s) {
        for (char c : s) push(c);
    }
};

// Decimal-point positions of the special results.
inline constexpr int special_position = 9999;  // infinities, NaN
inline constexpr int zero_position = 9998;     // zero as text

// The decimal digits of a double.
struct Digits {
    Text digits;          // the digits, no sign and no point; or a special text
    int point = 0;        // where the point goes: 1 = after the first digit
    bool negative = false;
};

// Digits of `value`: with precision > 0 at most that many significant digits
// (correctly rounded, trailing zeros dropped), otherwise the shortest digits
// that read back to the same double. Infinities give "1.#INF" / "-1.#INF"
// and NaN "1.#NaN" at `special_position`; zero with `zero_as_text` gives
// "0.0" / "-0.0" at `zero_position`; plain zero gives "0" at position 1.
[[nodiscard]] Digits float_to_digits(double value, int precision, bool zero_as_text = false);

// Reads decimal text: optional sign, digits, optional "." and fraction,
// optional "e"/"E" with an optional sign and digits; "<digit>.#I..." is
// infinity and "<digit>.#N..." NaN. `exponent_adjust` is added to the decimal
// exponent (-2 reads "50" as 0.5). `unread` receives the number of characters
// left unread (anything but 0 means the text was not all a number). Values
// beyond the double range give an infinity, values below it zero.
[[nodiscard]] double text_to_float(std::string_view text, int exponent_adjust, size_t& unread);

// The decimal layout of a double: exponent form ("1.5e20") when the point
// position is 18 or more or -7 or less, else plain ("0.001", "150"); a point
// with nothing after it becomes ".0" with `keep_point_zero`, else goes;
// "1.#INF", "-1.#INF" and "1.#NaN" for the specials.
[[nodiscard]] Text form(double value, int precision, bool keep_point_zero);

// The same layout with plain notation for decimal exponents from `min_exp`
// to `max_exp` (the point position minus one), a range no wider than -30 to
// 30 (wider ranges are narrowed to it). Precision beyond 40 digits is 40.
[[nodiscard]] Text layout(double value, int precision, bool keep_point_zero, int min_exp, int max_exp);

}  // namespace qor::float_text
