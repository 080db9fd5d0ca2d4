// integer!: arithmetic that never wraps, rounding, conversion, comparison.
#include "tests/unit/datatypes/fixture.h"

namespace qor::test {
namespace {

using IntegerTest = DatatypeTest;

constexpr int32_t int_max = 2147483647;
constexpr int32_t int_min = -2147483647 - 1;

struct MathCase {
    Action action;
    Cell left, right;
    Cell expected;  // unset: see `error`
    const char* error = "";
};

void check_math(const MathCase& c) {
    const auto [err, result] = attempt([&] { return act(c.action, {c.left, c.right}); });
    const std::string where = std::string(action_word(c.action)) + " " + describe(c.left) + " " + describe(c.right);
    EXPECT_EQ(err, c.error) << where;
    if (err.empty()) {
        EXPECT_TRUE(same_value(result, c.expected)) << where << " gave " << describe(result);
    }
}

TEST_F(IntegerTest, ArithmeticOverflowsIntoFloatAndDividesExactlyOrAsFloat) {
    const MathCase cases[] = {
        {Action::add, I(int_max), I(1), F(2147483648.0)},
        {Action::subtract, I(int_min), I(1), F(-2147483649.0)},
        {Action::multiply, I(65536), I(65536), F(4294967296.0)},
        {Action::add, I(2), I(3), I(5)},
        {Action::add, I(3), C(U'A'), I(68)},
        {Action::add, I(1), F(0.5), F(1.5)},
        {Action::divide, I(7), I(2), F(3.5)},
        {Action::divide, I(-7), I(2), F(-3.5)},
        {Action::divide, I(6), I(3), I(2)},
        {Action::divide, I(1), I(0), unset_v, "math/zero-divide"},
        {Action::divide, I(int_min), I(-1), unset_v, "math/overflow"},
        {Action::remainder, I(-7), I(2), I(-1)},
        {Action::remainder, I(7), I(-2), I(1)},
        {Action::remainder, I(7), I(0), unset_v, "math/zero-divide"},
        {Action::remainder, I(int_min), I(-1), unset_v, "math/overflow"},
        {Action::and_t, I(12), I(10), I(8)},
        {Action::or_t, I(12), I(10), I(14)},
        {Action::xor_t, I(12), I(10), I(6)},
        {Action::and_t, I(5), F(1.0), unset_v, "script/cannot-use"},
        {Action::add, I(1), none_v, unset_v, "script/invalid-type"},
        {Action::power, I(2), I(10), I(1024)},
        {Action::power, I(2), I(31), F(2147483648.0)},
        {Action::power, I(-2), I(3), I(-8)},
        {Action::power, I(2), I(-2), F(0.25)},
        {Action::power, I(0), I(0), I(1)},
        {Action::power, I(-2), I(31), I(int_min)},
        {Action::power, I(3), I(40), F(12157665459056928801.0)},
        {Action::power, I(2), F(0.5), F(1.4142135623730951)},
        {Action::power, I(2), C(U'a'), unset_v, "script/expect-arg"},
    };
    for (const auto& c : cases) check_math(c);
}

TEST_F(IntegerTest, UnaryActions) {
    const struct {
        Action action;
        Cell value;
        Cell expected;
        const char* error;
    } cases[] = {
        {Action::negate, I(5), I(-5), ""},
        {Action::negate, I(int_max), I(-int_max), ""},
        {Action::negate, I(int_min), unset_v, "math/overflow"},
        {Action::absolute, I(-5), I(5), ""},
        {Action::absolute, I(int_min), unset_v, "math/overflow"},
        {Action::complement, I(0), I(-1), ""},
        {Action::even_q, I(-4), L(true), ""},
        {Action::odd_q, I(-3), L(true), ""},
        {Action::odd_q, I(int_min), L(false), ""},
    };
    for (const auto& c : cases) {
        const auto [err, result] = attempt([&] { return act(c.action, {c.value}); });
        EXPECT_EQ(err, c.error) << action_word(c.action) << " " << describe(c.value);
        if (err.empty()) {
            EXPECT_TRUE(same_value(result, c.expected)) << action_word(c.action) << " " << describe(c.value);
        }
    }
}

// round n /to scale /even /down /half-down /floor /ceiling /half-ceiling
Cell round_call(const Cell& n, std::optional<Cell> scale, const char* mode) {
    const std::string m = mode;
    auto f = [&](const char* name) { return m == name ? Ref::on() : off; };
    return act(Action::round, {n},
               {scale ? Ref::with(*scale) : off, f("even"), f("down"), f("half-down"), f("floor"), f("ceiling"),
                f("half-ceiling")});
}

TEST_F(IntegerTest, RoundToScale) {
    const struct {
        Cell n;
        std::optional<Cell> scale;
        const char* mode;
        Cell expected;
        const char* error;
    } cases[] = {
        {I(17), I(5), "", I(15), ""},
        {I(18), I(5), "", I(20), ""},
        {I(-17), I(5), "", I(-15), ""},
        {I(-17), I(5), "floor", I(-20), ""},
        {I(17), I(5), "ceiling", I(20), ""},
        {I(-18), I(5), "down", I(-15), ""},
        {I(25), I(10), "even", I(20), ""},
        {I(35), I(10), "even", I(40), ""},
        {I(25), I(10), "half-down", I(20), ""},
        {I(-25), I(10), "half-ceiling", I(-20), ""},
        {I(25), I(10), "", I(30), ""},
        {I(-25), I(10), "", I(-30), ""},
        {I(25), I(-10), "", I(30), ""},
        {I(7), I(0), "", I(7), ""},
        {I(7), std::nullopt, "", I(7), ""},
        {I(int_min), std::nullopt, "", I(int_min), ""},
        // Toward zero always fits, whatever the rounding away would give.
        {I(int_max), I(10), "floor", I(2147483640), ""},
        {I(int_max), I(10), "down", I(2147483640), ""},
        {I(int_max), I(10), "half-down", unset_v, "math/overflow"},
        {I(int_max), I(2), "half-down", I(2147483646), ""},
        {I(int_max), I(10), "ceiling", unset_v, "math/overflow"},
        {I(int_max), I(10), "", unset_v, "math/overflow"},
        {I(-2147483647), I(2), "", I(int_min), ""},
        {I(5), I(int_min), "", unset_v, "math/overflow"},
        // The most negative integer to a unit it is not a multiple of goes
        // through the float rounding, whose integer result is range-checked.
        {I(int_min), I(10), "down", I(-2147483640), ""},
        {I(int_min), I(10), "", unset_v, "math/overflow"},
        {I(int_min), I(1024), "", I(int_min), ""},
        {I(int_min), I(int_min), "", I(int_min), ""},
        // A non-integer scale rounds as a float of the scale's type.
        {I(1234), F(100.0), "", F(1200.0), ""},
        {I(7), F(0.5), "", F(7.0), ""},
    };
    for (const auto& c : cases) {
        const auto [err, result] = attempt([&] { return round_call(c.n, c.scale, c.mode); });
        const std::string where = "round " + describe(c.n) + " " + (c.scale ? describe(*c.scale) : "-") + " " + c.mode;
        EXPECT_EQ(err, c.error) << where;
        if (err.empty()) {
            EXPECT_TRUE(same_value(result, c.expected)) << where << " gave " << describe(result);
        }
    }
}

TEST_F(IntegerTest, MakeAndTo) {
    const struct {
        Action action;
        Cell spec;
        Cell expected;
        const char* error;
    } cases[] = {
        {Action::to, S("12"), I(12), ""},
        {Action::to, S("-2147483648"), I(int_min), ""},
        {Action::to, S("1'000'000"), I(1000000), ""},
        {Action::to, S("2147483648"), unset_v, "script/bad-to-arg"},
        {Action::to, S("12abc"), unset_v, "script/bad-to-arg"},
        {Action::to, S(""), unset_v, "script/bad-to-arg"},
        {Action::to, C(U'A'), I(65), ""},
        {Action::to, F(1.9), I(1), ""},
        {Action::to, F(-1.9), I(-1), ""},
        {Action::to, F(-2147483648.9), I(int_min), ""},
        {Action::to, F(2147483648.0), unset_v, "script/type-limit"},
        {Action::to, F(std::nan("")), unset_v, "script/type-limit"},
        {Action::to, F(HUGE_VAL), unset_v, "script/type-limit"},
        {Action::to, I(42), I(42), ""},
        {Action::to, L(true), unset_v, "script/bad-to-arg"},
        {Action::make, L(true), I(1), ""},
        {Action::make, L(false), I(0), ""},
        {Action::make, F(3.7), I(3), ""},
        {Action::to, none_v, unset_v, "script/bad-to-arg"},
    };
    for (const auto& c : cases) {
        const auto [err, result] = attempt([&] { return act(c.action, {T(TypeId::integer), c.spec}); });
        EXPECT_EQ(err, c.error) << action_word(c.action) << " " << describe(c.spec);
        if (err.empty()) {
            EXPECT_TRUE(same_value(result, c.expected)) << describe(c.spec) << " gave " << describe(result);
        }
    }
    // A prototype value dispatches like its datatype.
    EXPECT_TRUE(same_value(act(Action::make, {I(0), F(7.2)}), I(7)));
}

TEST_F(IntegerTest, FormAndMold) {
    const std::pair<int32_t, const char*> cases[] = {
        {0, "0"}, {-1, "-1"}, {42, "42"}, {int_max, "2147483647"}, {int_min, "-2147483648"},
    };
    for (auto [v, text] : cases) {
        EXPECT_EQ(form(I(v)), text);
        EXPECT_EQ(mold(I(v)), text);
    }
}

TEST_F(IntegerTest, Compare) {
    const struct {
        Cell a, b;
        CompareOp op;
        bool holds;
    } cases[] = {
        {I(1), F(1.0), CompareOp::equal, true},
        {I(1), F(1.0), CompareOp::strict_equal, false},
        {I(1), F(1.0), CompareOp::same, false},
        {I(65), C(U'A'), CompareOp::equal, true},
        {I(65), C(U'A'), CompareOp::strict_equal, false},
        {I(65), C(U'A'), CompareOp::find_key, false},
        {I(2), I(3), CompareOp::lesser, true},
        {I(-2), I(3), CompareOp::greater_or_equal, false},
        {I(3), F(2.5), CompareOp::greater, true},
        {I(1), S("a"), CompareOp::equal, false},
        {I(1), S("a"), CompareOp::not_equal, true},
        {I(7), I(7), CompareOp::equal_series, true},
        {I(7), I(8), CompareOp::equal_series_alt, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(actions::compare(c.a, c.b, c.op), c.holds)
            << describe(c.a) << " op " << to_int(c.op) << " " << describe(c.b);
    EXPECT_EQ(error_of([] { (void)actions::compare(I(1), S("a"), CompareOp::lesser); }), "script/invalid-compare");
}

TEST_F(IntegerTest, RandomStaysInRangeAndSeedReproduces) {
    for (int i = 0; i < 2000; i++) {
        const int32_t r = get_int(act(Action::random, {I(6)}));
        ASSERT_GE(r, 1);
        ASSERT_LE(r, 6);
        const int32_t n = get_int(act(Action::random, {I(-5)}));
        ASSERT_GE(n, -5);
        ASSERT_LE(n, -1);
    }
    EXPECT_EQ(get_int(act(Action::random, {I(0)})), 0);
    EXPECT_EQ(type_of(act(Action::random, {I(1234)}, {Ref::on()})), TypeId::unset);
    const int32_t first = get_int(act(Action::random, {I(1000000)}));
    act(Action::random, {I(1234)}, {Ref::on()});
    EXPECT_EQ(get_int(act(Action::random, {I(1000000)})), first);
}

}  // namespace
}  // namespace qor::test
