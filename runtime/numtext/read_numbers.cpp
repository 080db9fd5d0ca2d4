// Readers of integer, float, time and money text, shared by the lexer's
// loaders and the datatypes' conversions from strings.
#include <cstring>
#include <string_view>

#include "runtime/datatypes/money.h"
#include "runtime/numtext/float_text.h"
#include "runtime/numtext/number_readers.h"
#include "runtime/numtext/number_text.h"

namespace qor::number_text {

bool read_float(std::string_view text, int exponent_adjust, double& out) {
    if (!float_syntax_ok(text)) return false;
    char buf[320];
    size_t n = 0;
    for (char c : text)
        if (c != '\'') buf[n++] = c;
    size_t unread = 0;
    out = float_text::text_to_float({buf, n}, exponent_adjust, unread);
    return unread == 0;
}

IntRead read_integer(std::string_view t) {
    IntRead out;
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    if (i >= t.size()) return out;
    uint64_t acc = 0;
    int digits = 0;
    bool after_quote = false;
    for (; i < t.size(); i++) {
        const char c = t[i];
        if (c == '\'') {
            if (after_quote || digits == 0) return out;
            after_quote = true;
            continue;
        }
        if (c < '0' || c > '9') return out;
        after_quote = false;
        if (++digits <= 11) acc = acc * 10 + static_cast<uint64_t>(c - '0');
    }
    if (digits == 0) return out;
    out.ok = true;
    if (digits > 10 || acc > (negative ? 0x80000000u : 0x7FFFFFFFu)) {
        out.too_big = true;
        return out;
    }
    out.value = negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(acc)) : static_cast<int32_t>(acc);
    return out;
}

bool read_time(std::string_view t, bool has_exponent, double& out) {
    if (has_exponent) return false;
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    // Fields: a, ":", b, then ":" and c, or "." and a fraction of b.
    const size_t colon = t.find(':', i);
    if (colon == std::string_view::npos) return false;
    const IntRead a = read_integer(t.substr(i, colon - i));
    if (!a.ok || a.too_big || a.value < 0) return false;
    size_t j = colon + 1;
    size_t k = j;
    while (k < t.size() && t[k] >= '0' && t[k] <= '9') k++;
    if (k == j) return false;
    const IntRead b = read_integer(t.substr(j, k - j));
    if (!b.ok || b.too_big) return false;
    double hours = a.value, minutes = b.value, secs = 0;
    if (k < t.size() && (t[k] == '.' || t[k] == ',')) {
        // "m:s.f": the two fields are minutes and seconds.
        double s = 0;
        if (!read_float(t.substr(j), 0, s) || s >= 60) return false;
        hours = 0;
        minutes = a.value;
        secs = s;
    } else if (k < t.size()) {
        if (t[k] != ':' || k + 1 >= t.size()) return false;
        double s = 0;
        if (!read_float(t.substr(k + 1), 0, s) || s >= 60 || t[k + 1] == '+' || t[k + 1] == '-') return false;
        secs = s;
    }
    double v = hours * 3600 + minutes * 60 + secs;
    out = negative ? -v : v;
    return true;
}

namespace {

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool read_money(std::string_view t, Cell& out) {
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    int currency = 0;
    if (i < t.size() && is_letter(t[i])) {
        if (t.size() - i < 4 || !is_letter(t[i + 1]) || !is_letter(t[i + 2]) || t[i + 3] != '$') return false;
        currency = money::currency_index(t.substr(i, 3));
        if (currency < 0) return false;
        i += 3;
    }
    if (i >= t.size() || t[i] != '$') return false;
    i++;
    if (i >= t.size() || !(t[i] >= '0' && t[i] <= '9')) return false;
    // Integer digits: leading zeros skipped, "'" between digits only.
    char int_digits[17];
    int n_int = 0;
    bool after_quote = false;
    for (; i < t.size() && t[i] != '.' && t[i] != ','; i++) {
        const char c = t[i];
        if (c == '\'') {
            if (after_quote) return false;
            after_quote = true;
            continue;
        }
        if (c < '0' || c > '9') return false;
        after_quote = false;
        if (n_int == 0 && c == '0') continue;
        if (n_int == 17) return false;
        int_digits[n_int++] = c;
    }
    if (after_quote) return false;
    char frac_digits[5];
    int n_frac = 0;
    if (i < t.size()) {
        i++;  // the decimal point
        if (i >= t.size()) return false;
        for (; i < t.size(); i++) {
            const char c = t[i];
            if (c < '0' || c > '9' || n_frac == 5) return false;
            frac_digits[n_frac++] = c;
        }
    }
    // 22 digit positions: the integer digits end at position 17, the
    // fraction starts at 18; packed two a byte, the earlier in the high nibble.
    uint8_t digits[22] = {};
    for (int k = 0; k < n_int; k++) digits[17 - n_int + k] = static_cast<uint8_t>(int_digits[k] - '0');
    for (int k = 0; k < n_frac; k++) digits[17 + k] = static_cast<uint8_t>(frac_digits[k] - '0');
    uint8_t payload[12] = {};
    payload[0] = static_cast<uint8_t>(currency);
    for (int k = 0; k < 11; k++) payload[1 + k] = static_cast<uint8_t>(digits[2 * k] << 4 | digits[2 * k + 1]);
    out = Cell{to_int(TypeId::money) | (negative ? cell_flag::money_negative : 0u), 0, 0, 0};
    std::memcpy(&out.w1, payload, sizeof payload);
    return true;
}

}  // namespace qor::number_text
