// The JSON decoder's string routine: `unescape` resolves the backslash
// escapes of a JSON string literal in place, in C++ because it runs once per
// string of every document loaded.
#include <cstdint>

#include "runtime/environment/routines.h"
#include "runtime/error_fire.h"
#include "runtime/eval/data_stack.h"
#include "runtime/strings/string_core.h"

namespace qor::environment {
namespace {

// The value of a hexadecimal digit, or -1.
[[nodiscard]] constexpr int hex_value(uint32_t c) {
    if (c - '0' < 10u) return static_cast<int>(c - '0');
    if ((c | 0x20) - 'a' < 6u) return static_cast<int>((c | 0x20) - 'a' + 10);
    return -1;
}

// Reads four hexadecimal digits at character index `at` (from the head);
// answers -1 when they run past `end` or one is not a digit.
[[nodiscard]] int32_t read_hex4(const Cell& s, uint32_t at, uint32_t end) {
    if (end - at < 4 || at > end) return -1;
    int32_t v = 0;
    for (uint32_t i = 0; i < 4; i++) {
        const int d = hex_value(str::char_at(s, at + i));
        if (d < 0) return -1;
        v = v << 4 | d;
    }
    return v;
}

// The character an escape letter stands for, or -1 for "u" and unknown letters.
[[nodiscard]] constexpr int32_t simple_escape(uint32_t c) {
    switch (c) {
        case '"': case '\\': case '/': return static_cast<int32_t>(c);
        case 'b': return 8;
        case 'f': return 12;
        case 'n': return 10;
        case 'r': return 13;
        case 't': return 9;
        default: return -1;
    }
}

// Decodes one escape whose backslash is at `i`; answers the code point and
// moves `i` past the escape, or answers -1 for a malformed one.
[[nodiscard]] int32_t decode_escape(const Cell& s, uint32_t& i, uint32_t end) {
    if (i + 1 >= end) return -1;
    const uint32_t c = str::char_at(s, i + 1);
    if (c != 'u') {
        i += 2;
        return simple_escape(c);
    }
    const int32_t high = read_hex4(s, i + 2, end);
    if (high < 0) return -1;
    i += 6;
    if (high >= 0xDC00 && high <= 0xDFFF) return -1;  // a low surrogate alone names no character
    if (high < 0xD800 || high > 0xDBFF) return high;
    // A high surrogate must be followed at once by an escaped low surrogate.
    if (end - i < 6 || str::char_at(s, i) != '\\' || str::char_at(s, i + 1) != 'u') return -1;
    const int32_t low = read_hex4(s, i + 2, end);
    if (low < 0xDC00 || low > 0xDFFF) return -1;
    i += 6;
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// unescape str: rewrites the string from its index, answers it. The write
// position never passes the read position, so one pass in place suffices;
// a write that widens the buffer keeps character indexes valid.
void unescape() {
    const Cell s = *stack::arg(0);
    const uint32_t start = s.w1;
    const uint32_t end = start + str::length_at(s);
    Cell head = s;
    head.w1 = 0;
    uint32_t dst = start;
    for (uint32_t i = start; i < end;) {
        uint32_t c = str::char_at(head, i);
        if (c == '\\') {
            const int32_t cp = decode_escape(head, i, end);
            if (cp < 0) error::fire(error::Id::invalid_data, {s});
            c = static_cast<uint32_t>(cp);
        } else {
            i++;
        }
        str::write_char(s.w2, dst++, c);
    }
    series::Buffer* b = series::buffer(s.w2);
    b->set_tail_units(b->head_units() + dst);
}

}  // namespace

void define_json_routines() {
    define_routine("unescape", R"spec(["Resolves the escapes of a JSON string in place" str [string!]])spec", unescape);
}

}  // namespace qor::environment
