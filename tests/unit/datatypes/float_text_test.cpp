// Decimal and binary float conversion: digits, layout, reading, round trips.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "runtime/numtext/float_text.h"
#include "runtime/numtext/number_text.h"

namespace qor::float_text {
namespace {

uint64_t bits_of(double d) {
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

TEST(FloatText, DigitsShortestAndWithPrecision) {
    const struct {
        double value;
        int precision;
        const char* digits;
        int point;
        bool negative;
    } cases[] = {
        {0.1, 0, "1", 0, false},
        {123.456, 0, "123456", 3, false},
        {-0.00125, 0, "125", -2, true},
        {1e17, 0, "1", 18, false},
        {0.0, 0, "0", 1, false},
        {-0.0, 0, "0", 1, true},
        {5e-324, 0, "5", -323, false},
        {DBL_MAX, 0, "17976931348623157", 309, false},
        {0.1, 20, "10000000000000000555", 0, false},
        {2.0 / 3.0, 6, "666667", 0, false},
        {1.5, 6, "15", 1, false},
        {9.9999999, 3, "1", 2, false},
        {1.0 / 0.0, 0, "1.#INF", special_position, false},
        {-1.0 / 0.0, 0, "-1.#INF", special_position, true},
        {std::nan(""), 0, "1.#NaN", special_position, false},
    };
    for (const auto& c : cases) {
        const Digits d = float_to_digits(c.value, c.precision);
        EXPECT_EQ(d.digits.view(), c.digits) << c.value;
        EXPECT_EQ(d.point, c.point) << c.value;
        EXPECT_EQ(d.negative, c.negative) << c.value;
    }
    const Digits zero = float_to_digits(-0.0, 0, true);
    EXPECT_EQ(zero.digits.view(), "-0.0");
    EXPECT_EQ(zero.point, zero_position);
}

TEST(FloatText, Layout) {
    const struct {
        double value;
        bool keep_point;
        const char* text;
    } cases[] = {
        {0.1, false, "0.1"},
        {1e17, false, "1e17"},
        {1e17, true, "1.0e17"},
        {1e16, false, "10000000000000000"},
        {1e16, true, "10000000000000000.0"},
        {1e-7, false, "0.0000001"},
        {1e-8, false, "1e-8"},
        {1.25e-8, false, "1.25e-8"},
        {-1.5e300, true, "-1.5e300"},
        {1.0 / 0.0, true, "1.#INF"},
        {-1.0 / 0.0, true, "-1.#INF"},
        {std::nan(""), true, "1.#NaN"},
        {-0.0, true, "-0.0"},
        {-0.0, false, "-0"},
        {12345.0, false, "12345"},
        {123.5, false, "123.5"},
    };
    for (const auto& c : cases) EXPECT_EQ(form(c.value, 0, c.keep_point).view(), c.text) << c.value;
    EXPECT_EQ(form(2.0 / 3.0, 6, false).view(), "0.666667");
}

TEST(FloatText, ReadingRoundsHalfwayToEven) {
    const struct {
        const char* text;
        int adjust;
        double expected;
        size_t unread;
    } cases[] = {
        {"9007199254740993", 0, 9007199254740992.0, 0},
        {"9007199254740995", 0, 9007199254740996.0, 0},
        {"1.00000000000000011102230246251565404236316680908203125", 0, 1.0, 0},
        {"1.00000000000000011102230246251565404236316680908203125001", 0, 1.0000000000000002, 0},
        {"0.1", 0, 0.1, 0},
        {"+000123.4500e-2", 0, 1.2345, 0},
        {"-2.5E+3", 0, -2500.0, 0},
        {".5", 0, 0.5, 0},
        {"5.", 0, 5.0, 0},
        {"50", -2, 0.5, 0},
        {"12.5", -2, 0.125, 0},
        {"1e400", 0, HUGE_VAL, 0},
        {"-1e400", 0, -HUGE_VAL, 0},
        {"1e-400", 0, 0.0, 0},
        {"1e99999999999999999999", 0, HUGE_VAL, 0},
        {"4.9406564584124654e-324", 0, 5e-324, 0},
        {"2.4703282292062328e-324", 0, 5e-324, 0},
        {"2.4703282292062327e-324", 0, 0.0, 0},
        {"1.7976931348623158e308", 0, DBL_MAX, 0},
        {"1.7976931348623159e308", 0, HUGE_VAL, 0},
        {"1.5abc", 0, 1.5, 3},
        {"1e", 0, 1.0, 1},
        {"abc", 0, 0.0, 3},
        {"1.#INF", 0, HUGE_VAL, 0},
        {"-1.#inf", 0, -HUGE_VAL, 0},
    };
    for (const auto& c : cases) {
        size_t unread = 99;
        const double v = text_to_float(c.text, c.adjust, unread);
        EXPECT_EQ(bits_of(v), bits_of(c.expected)) << c.text << " gave " << v;
        EXPECT_EQ(unread, c.unread) << c.text;
    }
    size_t unread = 99;
    EXPECT_TRUE(std::isnan(text_to_float("1.#NaN", 0, unread)));
    EXPECT_EQ(unread, 0u);
}

// Halfway between 1 and the next double, decided only by a digit far beyond
// the digits a double needs.
TEST(FloatText, ReadingLooksAtEveryDigit) {
    const std::string half = "1.00000000000000011102230246251565404236316680908203125";
    size_t unread;
    EXPECT_EQ(text_to_float(half + std::string(2000, '0'), 0, unread), 1.0);
    EXPECT_EQ(text_to_float(half + std::string(2000, '0') + "1", 0, unread), std::nextafter(1.0, 2.0));
    EXPECT_EQ(unread, 0u);
    EXPECT_EQ(text_to_float("0." + std::string(400, '0') + "1e500", 0, unread), 1e99);
}

// Every finite double survives the trip through its shortest text and its
// layout, in both notations.
TEST(FloatText, MillionRandomRoundTripsAreExact) {
    std::mt19937_64 gen(20240611);
    int checked = 0;
    for (int i = 0; i < 1'000'000; i++) {
        // Half the draws near 1, so that plain notation is exercised too.
        uint64_t bits = gen();
        if (i % 4 < 2) bits = (bits & 0x800FFFFFFFFFFFFFull) | (uint64_t(990 + gen() % 90) << 52);
        double x;
        std::memcpy(&x, &bits, sizeof x);
        if (!std::isfinite(x)) continue;
        const Text t = i % 2 ? form(x, 0, true) : layout(x, 0, true, -30, 30);
        size_t unread = 1;
        const double back = text_to_float(t.view(), 0, unread);
        ASSERT_EQ(unread, 0u) << t.view();
        ASSERT_EQ(bits_of(back), bits) << t.view();
        checked++;
    }
    EXPECT_GT(checked, 990'000);
}

TEST(FloatText, PrecisionDigitsMatchCorrectlyRoundedPrintf) {
    std::mt19937_64 gen(7);
    for (int i = 0; i < 20000; i++) {
        const double x = std::ldexp(static_cast<double>(gen() >> 11), static_cast<int>(gen() % 200) - 100);
        const int precision = 1 + static_cast<int>(gen() % 17);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.*e", precision - 1, x);
        std::string digits;
        for (const char* p = expected; *p && *p != 'e'; p++)
            if (*p != '.') digits += *p;
        while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
        ASSERT_EQ(float_to_digits(x, precision).digits.view(), digits) << expected;
    }
}

TEST(NumberText, FloatSyntax) {
    const std::pair<const char*, bool> cases[] = {
        {"1", true},     {"1.5", true},   {"-1.5e10", true}, {".5", true},    {"5.", true},
        {"1'000.5", true}, {"1.5'5", true}, {"1e+5", true},  {"", false},     {"e5", false},
        {"1e", false},   {"1e+", false},  {"1''0", false},   {"1.5.5", false}, {"1x", false},
        {"1.5e5.5", false},
    };
    for (auto [text, ok] : cases) EXPECT_EQ(number_text::float_syntax_ok(text), ok) << text;
    EXPECT_FALSE(number_text::float_syntax_ok(std::string(313, '1')));
    EXPECT_TRUE(number_text::float_syntax_ok(std::string(312, '1')));
}

TEST(NumberText, Integer) {
    using number_text::Status;
    const struct {
        std::u32string_view text;
        int32_t value;
        Status status;
    } cases[] = {
        {U"1'000'000", 1000000, Status::ok},
        {U"-2147483648", -2147483647 - 1, Status::ok},
        {U"2147483647", 2147483647, Status::ok},
        {U"+7", 7, Status::ok},
        {U"2147483648", 0, Status::overflow},
        {U"-2147483649", 0, Status::overflow},
        {U"99999999999999", 0, Status::overflow},
        {U"12abc", 12, Status::bad_text},
        {U"", 0, Status::bad_text},
        {U"-", 0, Status::bad_text},
    };
    for (const auto& c : cases) {
        Status s;
        const int32_t v = number_text::to_integer(c.text, s);
        EXPECT_EQ(s, c.status);
        if (s != Status::overflow) {
            EXPECT_EQ(v, c.value);
        }
    }
}

}  // namespace
}  // namespace qor::float_text
