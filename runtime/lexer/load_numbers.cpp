// Loaders of the numeric tokens: integers, hexadecimal integers, floats and
// their special forms, percents, tuples, pairs, points, times, money and
// dates. The text readers they share with the datatypes are in numtext/.
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "runtime/lexer/lex_record.h"
#include "runtime/numtext/float_text.h"
#include "runtime/numtext/number_readers.h"

namespace qor::lexer {

using number_text::IntRead;
using number_text::read_date;
using number_text::read_float;
using number_text::read_integer;
using number_text::read_money;
using number_text::read_time;

namespace {

[[nodiscard]] bool is_digit(uint8_t b) { return b >= '0' && b <= '9'; }

[[nodiscard]] std::string_view text_of(const Record& r, uint32_t start, uint32_t end) {
    return {reinterpret_cast<const char*>(r.input + start), end - start};
}

void push_float(Record& r, TypeId type, double v) {
    Cell c{to_int(type), 0, 0, 0};
    set_double(c, v);
    push_value(r, c);
}

}  // namespace

namespace scanners {

void load_integer(Record& r, uint32_t start, uint32_t end, uint32_t flags, bool load) {
    r.pos = end;
    const std::string_view t = text_of(r, start, end);
    const IntRead v = read_integer(t);
    if (!v.ok) invalid(r, start, end, TypeId::integer);
    // Beyond 32 bits the number is a float; only the exact text of the
    // smallest integer stays one.
    if (v.too_big || (v.value == std::numeric_limits<int32_t>::min() && t != "-2147483648")) {
        r.token_type = TypeId::float_;
        load_float(r, start, end, flags, load);
        return;
    }
    if (load) push_value(r, Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(v.value), 0});
}

void load_hex_integer(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end;
    const uint32_t digits_end = end - 1;  // before the "h"
    const uint32_t n = digits_end - start;
    // A short token that starts with a letter is a word gone wrong.
    if (n < 2 && !is_digit(r.input[start])) invalid(r, start, end, TypeId::word);
    if (n < 2 || n > 8) invalid(r, start, end, TypeId::integer);
    uint32_t v = 0;
    for (uint32_t i = start; i < digits_end; i++) {
        const uint8_t b = r.input[i];
        int d = is_digit(b) ? b - '0' : (b >= 'A' && b <= 'F') ? b - 'A' + 10 : -1;
        if (d < 0) invalid(r, start, end, TypeId::integer);
        v = v << 4 | static_cast<uint32_t>(d);
    }
    if (load) push_value(r, Cell{to_int(TypeId::integer), 0, v, 0});
}

void load_float(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end;
    double v = 0;
    if (!read_float(text_of(r, start, end), 0, v)) invalid(r, start, end, TypeId::float_);
    if (load) push_float(r, TypeId::float_, v);
}

void load_special_float(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end;
    std::string_view t = text_of(r, start, end);
    bool negative = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) negative = t[0] == '-', t.remove_prefix(1);
    auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); i++)
            if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
        return true;
    };
    double v = 0;
    if (t.size() == 6 && t.substr(0, 3) == "1.#" && same(t.substr(3), "nan")) v = std::numeric_limits<double>::quiet_NaN();
    else if (t.size() == 6 && t.substr(0, 3) == "1.#" && same(t.substr(3), "inf")) v = HUGE_VAL;
    else invalid(r, start, end, TypeId::float_);
    if (load) push_float(r, TypeId::float_, negative ? -v : v);
}

void load_percent(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end + 1;  // past the "%"
    double v = 0;
    if (!read_float(text_of(r, start, end), -2, v)) invalid(r, start, end + 1, TypeId::percent);
    if (load) push_float(r, TypeId::percent, v);
}

void load_tuple(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end;
    uint8_t bytes[12] = {};
    uint32_t fields = 0, value = 0, digits = 0;
    for (uint32_t i = start; i <= end; i++) {
        const uint8_t b = i < end ? r.input[i] : '.';
        if (b == '.') {
            if (digits == 0 || fields == 12) invalid(r, start, end, TypeId::tuple);
            bytes[fields++] = static_cast<uint8_t>(value);
            value = digits = 0;
        } else if (is_digit(b)) {
            value = value * 10 + (b - '0');
            if (++digits > 3 || value > 255) invalid(r, start, end, TypeId::tuple);
        } else {
            invalid(r, start, end, TypeId::tuple);
        }
    }
    if (fields < 3) invalid(r, start, end, TypeId::tuple);
    if (!load) return;
    Cell c{to_int(TypeId::tuple) | fields << cell_flag::tuple_length_shift, 0, 0, 0};
    std::memcpy(&c.w1, bytes, sizeof bytes);
    push_value(r, c);
}

void load_pair(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end;
    const std::string_view t = text_of(r, start, end);
    const size_t x = t.find_first_of("xX");
    if (t.find('.') != std::string_view::npos || x == std::string_view::npos) invalid(r, start, end, TypeId::pair);
    const IntRead a = read_integer(t.substr(0, x));
    const IntRead b = read_integer(t.substr(x + 1));
    // A coordinate beyond 32 bits has no pair value: refused.
    if (!a.ok || !b.ok || a.too_big || b.too_big) invalid(r, start, end, TypeId::pair);
    if (load)
        push_value(r, Cell{to_int(TypeId::pair), 0, static_cast<uint32_t>(a.value), static_cast<uint32_t>(b.value)});
}

// The token reaches from the "(" (which opened it) to before the ")".
void load_point(Record& r, uint32_t, uint32_t end, uint32_t, bool load) {
    r.pos = end + 1;  // past the ")"
    r.start_state = start_normal;
    const uint32_t open = r.string_start;
    float coords[3] = {};
    int count = 0;
    uint32_t i = open + 1;
    auto fail = [&] { invalid(r, open, end + 1, count >= 2 ? TypeId::point3d : TypeId::point2d); };
    while (true) {
        while (i < end && (r.input[i] == ' ' || r.input[i] == '\t')) i++;
        uint32_t s = i;
        while (i < end && r.input[i] != ',' && r.input[i] != ' ' && r.input[i] != '\t') i++;
        if (i == s || count == 3 || i - s > 312) fail();
        const std::string_view t = text_of(r, s, i);
        double v = 0;
        if (t.find('#') != std::string_view::npos) {
            size_t unread = 0;
            v = float_text::text_to_float(t, 0, unread);
            if (unread != 0) fail();
        } else if (!read_float(t, 0, v)) {
            fail();
        }
        coords[count++] = static_cast<float>(v);
        while (i < end && (r.input[i] == ' ' || r.input[i] == '\t')) i++;
        if (i >= end) break;
        if (r.input[i] != ',') fail();
        i++;
    }
    if (count < 2) fail();
    r.token_type = count == 3 ? TypeId::point3d : TypeId::point2d;
    if (!load) return;
    Cell c{to_int(r.token_type), 0, 0, 0};
    std::memcpy(&c.w1, coords, sizeof(float) * static_cast<size_t>(count));
    push_value(r, c);
}

void load_time(Record& r, uint32_t start, uint32_t end, uint32_t flags, bool load) {
    r.pos = end;
    double seconds = 0;
    if (!read_time(text_of(r, start, end), (flags & tf::exponent) != 0, seconds)) invalid(r, start, end, TypeId::time);
    if (load) push_float(r, TypeId::time, seconds);
}

void load_money(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end;
    Cell c{};
    if (!read_money(text_of(r, start, end), c)) invalid(r, start, end, TypeId::money);
    if (load) push_value(r, c);
}

void load_date(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end;
    Cell c{};
    if (!read_date({reinterpret_cast<const char*>(r.input + start), end - start}, c))
        invalid(r, start, end, TypeId::date);
    if (load) push_value(r, c);
}

}  // namespace scanners

}  // namespace qor::lexer
