// Correctly rounded conversion between doubles and decimal text.
#include "runtime/numtext/float_text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace qor::float_text {

namespace {

// More significant digits than any double needs to decide its rounding
// (a halfway point between two doubles has at most 767 of them).
constexpr size_t max_kept_digits = 780;
constexpr int max_precision = 40;
// Plain notation stops at this exponent, so every text fits `Text`.
constexpr int max_plain_exponent = 30;

Digits special(std::string_view text, int position, bool negative) {
    Digits d;
    d.digits.append(text);
    d.point = position;
    d.negative = negative;
    return d;
}

}  // namespace

Digits float_to_digits(double value, int precision, bool zero_as_text) {
    const bool negative = std::signbit(value);
    if (std::isnan(value)) return special("1.#NaN", special_position, false);
    if (std::isinf(value)) return special(negative ? "-1.#INF" : "1.#INF", special_position, negative);
    if (value == 0.0 && zero_as_text) return special(negative ? "-0.0" : "0.0", zero_position, negative);

    // Scientific notation gives the digits and the exponent in one go:
    // "d.ddde±x" (shortest) or exactly `precision` digits.
    char buf[128];
    const double magnitude = std::fabs(value);
    std::to_chars_result r =
        precision > 0
            ? std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific,
                            (precision > max_precision ? max_precision : precision) - 1)
            : std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
    Digits d;
    d.negative = negative;
    const char* p = buf;
    for (; p < r.ptr && *p != 'e'; p++)
        if (*p != '.') d.digits.push(*p);
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+'), r.ptr, exponent);
    d.point = exponent + 1;
    while (d.digits.size > 1 && d.digits.data[d.digits.size - 1] == '0') d.digits.size--;
    return d;
}

double text_to_float(std::string_view text, int exponent_adjust, size_t& unread) {
    const size_t n = text.size();
    size_t i = 0;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    // "1.#INF" and "1.#NaN".
    if (i + 3 < n && text[i] >= '0' && text[i] <= '9' && text[i + 1] == '.' && text[i + 2] == '#') {
        const char c = text[i + 3];
        if (c == 'I' || c == 'i' || c == 'N' || c == 'n') {
            i += 4;
            while (i < n && ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z'))) i++;
            unread = n - i;
            if (c == 'N' || c == 'n') return std::numeric_limits<double>::quiet_NaN();
            return negative ? -HUGE_VAL : HUGE_VAL;
        }
    }

    // Significant digits, and the decimal exponent of the point after them.
    // "0." + digits + "e" + exponent, built in place without allocating.
    char normal[max_kept_digits + 32] = {'0', '.'};
    size_t n_digits = 0;
    char* const digits = normal + 2;
    bool dropped_nonzero = false;
    int64_t point = 0;  // digits before the point, counted from the first significant one
    bool any_digit = false;
    auto take = [&](char c, bool before_point) {
        any_digit = true;
        if (n_digits == 0 && c == '0') {
            if (!before_point) point--;
            return;
        }
        if (before_point) point++;
        if (n_digits < max_kept_digits) digits[n_digits++] = c;
        else if (c != '0') dropped_nonzero = true;
    };
    for (; i < n && text[i] >= '0' && text[i] <= '9'; i++) take(text[i], true);
    if (i < n && text[i] == '.') {
        i++;
        for (; i < n && text[i] >= '0' && text[i] <= '9'; i++) take(text[i], false);
    }
    if (!any_digit) {
        unread = n;
        return 0.0;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        bool exp_negative = false;
        if (j < n && (text[j] == '+' || text[j] == '-')) exp_negative = text[j++] == '-';
        if (j < n && text[j] >= '0' && text[j] <= '9') {
            int64_t e = 0;
            for (; j < n && text[j] >= '0' && text[j] <= '9'; j++)
                if (e < 1'000'000'000) e = e * 10 + (text[j] - '0');
            point += exp_negative ? -e : e;
            i = j;
        }
    }
    unread = n - i;
    point += exponent_adjust;

    const double zero = negative ? -0.0 : 0.0;
    if (n_digits == 0) return zero;
    if (point > 400) return negative ? -HUGE_VAL : HUGE_VAL;
    if (point < -400) return zero;
    if (dropped_nonzero) digits[n_digits++] = '1';  // keeps the rounding direction

    // "0.<digits>e<point>" is exactly the value read.
    char* end = digits + n_digits;
    *end++ = 'e';
    end = std::to_chars(end, normal + sizeof normal, point).ptr;
    double value = 0.0;
    const auto r = std::from_chars(normal, end, value);
    if (r.ec == std::errc::result_out_of_range) value = point > 0 ? HUGE_VAL : 0.0;
    return negative ? -value : value;
}

Text layout(double value, int precision, bool keep_point_zero, int min_exp, int max_exp) {
    Text out;
    if (std::isnan(value)) {
        out.append("1.#NaN");
        return out;
    }
    if (std::isinf(value)) {
        out.append(value < 0 ? "-1.#INF" : "1.#INF");
        return out;
    }
    min_exp = min_exp < -max_plain_exponent ? -max_plain_exponent : min_exp;
    max_exp = max_exp > max_plain_exponent ? max_plain_exponent : max_exp;
    const Digits d = float_to_digits(value, precision);
    const std::string_view digits = d.digits.view();
    const int p = d.point;
    if (d.negative) out.push('-');

    auto point_then = [&](std::string_view after) {
        out.push('.');
        if (!after.empty()) out.append(after);
        else if (keep_point_zero) out.push('0');
        else out.size--;
    };
    if (p - 1 > max_exp || p - 1 < min_exp) {
        out.push(digits[0]);
        point_then(digits.substr(1));
        out.push('e');
        char exp[8];
        const auto r = std::to_chars(exp, exp + sizeof exp, p - 1);
        out.append({exp, static_cast<size_t>(r.ptr - exp)});
    } else if (p < 1) {
        out.append("0.");
        for (int k = 0; k < -p; k++) out.push('0');
        out.append(digits);
    } else if (static_cast<size_t>(p) >= digits.size()) {
        out.append(digits);
        for (size_t k = digits.size(); k < static_cast<size_t>(p); k++) out.push('0');
        point_then({});
    } else {
        out.append(digits.substr(0, static_cast<size_t>(p)));
        point_then(digits.substr(static_cast<size_t>(p)));
    }
    return out;
}

Text form(double value, int precision, bool keep_point_zero) {
    return layout(value, precision, keep_point_zero, -7, 16);
}

}  // namespace qor::float_text
