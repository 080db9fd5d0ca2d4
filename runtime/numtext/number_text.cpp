// Text to number for the `to` actions.
#include "runtime/numtext/number_text.h"

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "runtime/numtext/float_text.h"
#include "runtime/numtext/number_readers.h"

namespace qor::number_text {

namespace {
constexpr size_t max_float_text = 312;
}  // namespace

int32_t to_integer(std::u32string_view chars, Status& status) {
    status = Status::ok;
    size_t i = 0;
    bool negative = false;
    if (i < chars.size() && (chars[i] == U'+' || chars[i] == U'-')) negative = chars[i++] == U'-';
    // Accumulated as a magnitude up to 2^31, so the most negative integer
    // reads without overflowing.
    uint32_t value = 0;
    constexpr uint32_t max_magnitude = 0x80000000u;
    bool any_digit = false;
    for (; i < chars.size(); i++) {
        const char32_t c = chars[i];
        if (c == U'\'') continue;
        if (c < U'0' || c > U'9') {
            status = Status::bad_text;
            break;
        }
        any_digit = true;
        const uint32_t digit = c - U'0';
        if (value > (max_magnitude - digit) / 10) {
            status = Status::overflow;
            return 0;
        }
        value = value * 10 + digit;
    }
    // A text without a digit ("", "-") is no number.
    if (!any_digit) status = Status::bad_text;
    if (!negative && value == max_magnitude) {
        status = Status::overflow;
        return 0;
    }
    return negative ? static_cast<int32_t>(0u - value) : static_cast<int32_t>(value);
}

bool float_syntax_ok(std::string_view text) {
    if (text.size() > max_float_text) return false;
    // States: 0 start, 1 integer digits, 2 after ' in the integer part,
    // 3 fraction digits, 4 after a leading . or a ' in the fraction,
    // 5 after digits and ., 6 after e, 7 after the exponent sign,
    // 8 exponent digits. -1 rejects for good.
    int state = 0;
    for (char c : text) {
        const bool digit = c >= '0' && c <= '9';
        const bool sign = c == '+' || c == '-';
        const bool e = c == 'e' || c == 'E';
        int next = -1;
        switch (state) {
            case 0: next = sign ? 0 : digit ? 1 : c == '.' ? 4 : -1; break;
            case 1: next = digit ? 1 : e ? 6 : c == '.' ? 5 : c == '\'' ? 2 : -1; break;
            case 2: next = digit ? 1 : -1; break;
            case 3: next = digit ? 3 : e ? 6 : c == '\'' ? 4 : -1; break;
            case 4: next = digit ? 3 : -1; break;
            case 5: next = digit ? 3 : -1; break;
            case 6: next = sign ? 7 : digit ? 8 : -1; break;
            case 7: next = digit ? 8 : -1; break;
            case 8: next = digit ? 8 : -1; break;
        }
        if (next < 0) return false;
        state = next;
    }
    return state >= 1 && state != 6 && state != 7;
}

double to_float(std::u32string_view chars, Status& status) {
    status = Status::bad_text;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (chars.size() > max_float_text) return nan;
    std::string text;
    text.reserve(chars.size());
    for (char32_t c : chars) {
        if (c > 0x7F) return nan;
        text.push_back(c == U',' ? '.' : static_cast<char>(c));
    }
    if (!float_syntax_ok(text)) return nan;
    std::erase(text, '\'');
    size_t unread = 0;
    const double value = float_text::text_to_float(text, 0, unread);
    if (unread != 0) return nan;
    status = Status::ok;
    return value;
}

void to_money(std::u32string_view chars, Status& status, Cell& out) {
    status = Status::bad_text;
    auto letter = [](char32_t c) { return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z'); };
    auto digit = [](char32_t c) { return c >= U'0' && c <= U'9'; };
    // The text as the lexer's money syntax: sign, currency, "$", amount.
    std::string text;
    size_t i = 0;
    if (i < chars.size() && (chars[i] == U'+' || chars[i] == U'-')) text.push_back(static_cast<char>(chars[i++]));
    if (i < chars.size() && letter(chars[i])) {
        if (chars.size() - i < 5 || !letter(chars[i + 1]) || !letter(chars[i + 2]) || chars[i + 3] != U'$') return;
        for (size_t k = 0; k < 3; k++) text.push_back(static_cast<char>(chars[i + k]));
        i += 3;
    }
    if (i < chars.size() && chars[i] == U'$') i++;
    text.push_back('$');
    if (i >= chars.size() || !digit(chars[i])) return;  // nothing, or "'" or "." first
    bool point = false;
    for (; i < chars.size(); i++) {
        const char32_t c = chars[i];
        const bool last = i + 1 == chars.size();
        if (c == U'\'') {
            if (last || point || chars[i - 1] == U'\'') return;
        } else if (c == U'.') {
            if (last || point || chars[i - 1] == U'\'') return;
            point = true;
        } else if (!digit(c)) {
            return;
        }
        text.push_back(static_cast<char>(c));
    }
    Cell value{};
    if (!read_money(text, value)) return;
    out = value;
    status = Status::ok;
}

}  // namespace qor::number_text
