// float!: IEEE arithmetic, rounding, near-equality, the form and mold texts.
#include <cfloat>
#include <cmath>

#include "tests/unit/datatypes/fixture.h"

namespace qor::test {
namespace {

// percent! is float!'s child and takes its routines.
using FloatTest = DatatypeTest;

const double inf = HUGE_VAL;
const double nan_ = std::nan("");

Cell math(Action a, const Cell& l, const Cell& r) { return act(a, {l, r}); }

TEST_F(FloatTest, Arithmetic) {
    const struct {
        Action action;
        Cell left, right, expected;
        const char* error;
    } cases[] = {
        {Action::add, F(0.5), I(1), F(1.5), ""},
        {Action::add, F(0.1), F(0.2), F(0.30000000000000004), ""},
        {Action::divide, F(1.0), F(0.0), F(inf), ""},
        {Action::divide, F(-1.0), F(0.0), F(-inf), ""},
        {Action::remainder, F(5.5), F(2.0), F(1.5), ""},
        {Action::remainder, F(-5.5), F(2.0), F(-1.5), ""},
        {Action::multiply, F(1.5), P(0.1), F(0.15000000000000002), ""},
        {Action::add, P(0.5), I(1), P(1.5), ""},
        {Action::add, F(1.0), C(U'a'), F(98.0), ""},
        {Action::add, P(0.5), C(U'a'), unset_v, "script/invalid-type"},
        {Action::add, F(1.0), S("x"), unset_v, "script/invalid-type"},
        {Action::power, F(2.0), I(-1), F(0.5), ""},
        {Action::power, F(0.0), I(-1), F(inf), ""},
        {Action::power, F(2.0), S("x"), unset_v, "script/expect-arg"},
    };
    for (const auto& c : cases) {
        const auto [err, result] = attempt([&] { return math(c.action, c.left, c.right); });
        EXPECT_EQ(err, c.error) << action_word(c.action) << " " << describe(c.left) << " " << describe(c.right);
        if (err.empty()) {
            EXPECT_TRUE(same_value(result, c.expected)) << describe(result);
        }
    }
    EXPECT_TRUE(std::isnan(get_double(math(Action::remainder, F(1.0), F(inf)))));
    EXPECT_TRUE(std::isnan(get_double(math(Action::remainder, F(1.0), F(0.0)))));
    EXPECT_TRUE(std::isnan(get_double(math(Action::divide, F(0.0), F(0.0)))));
}

TEST_F(FloatTest, UnaryActions) {
    EXPECT_TRUE(same_value(act(Action::negate, {F(0.0)}), F(0.0)));
    EXPECT_TRUE(same_value(act(Action::negate, {F(-0.0)}), F(0.0)));
    EXPECT_TRUE(same_value(act(Action::negate, {F(2.5)}), F(-2.5)));
    EXPECT_TRUE(same_value(act(Action::absolute, {F(-0.0)}), F(0.0)));
    const struct {
        double v;
        bool even;
        const char* error;
    } parity[] = {
        {2.5, true, ""}, {3.9, false, ""}, {-3.9, false, ""}, {2147483647.9, false, ""},
        {1e300, false, "math/overflow"}, {nan_, false, "math/overflow"}, {-inf, false, "math/overflow"},
    };
    for (const auto& p : parity) {
        Cell even{}, odd{};
        EXPECT_EQ(error_of([&] { even = act(Action::even_q, {F(p.v)}); }), p.error) << p.v;
        EXPECT_EQ(error_of([&] { odd = act(Action::odd_q, {F(p.v)}); }), p.error) << p.v;
        if (!*p.error) {
            EXPECT_EQ(logic::get(even), p.even) << p.v;
            EXPECT_EQ(logic::get(odd), !p.even) << p.v;
        }
    }
}

Cell round_call(const Cell& n, std::optional<Cell> scale, const char* mode) {
    const std::string m = mode;
    auto f = [&](const char* name) { return m == name ? Ref::on() : off; };
    return act(Action::round, {n},
               {scale ? Ref::with(*scale) : off, f("even"), f("down"), f("half-down"), f("floor"), f("ceiling"),
                f("half-ceiling")});
}

TEST_F(FloatTest, Round) {
    const struct {
        Cell n;
        std::optional<Cell> scale;
        const char* mode;
        Cell expected;
        const char* error;
    } cases[] = {
        {F(2.5), std::nullopt, "", F(3.0), ""},
        {F(-2.5), std::nullopt, "", F(-3.0), ""},
        {F(2.5), std::nullopt, "even", F(2.0), ""},
        {F(3.5), std::nullopt, "even", F(4.0), ""},
        {F(-2.7), std::nullopt, "down", F(-2.0), ""},
        {F(-2.2), std::nullopt, "floor", F(-3.0), ""},
        {F(2.2), std::nullopt, "ceiling", F(3.0), ""},
        {F(2.5), std::nullopt, "half-down", F(2.0), ""},
        {F(-2.5), std::nullopt, "half-ceiling", F(-2.0), ""},
        {F(1.2345), F(0.01), "", F(1.23), ""},
        {F(1234.5), I(100), "", I(1200), ""},
        {F(1234.5), F(100.0), "", F(1200.0), ""},
        {F(3.7), I(1), "", I(4), ""},
        {F(7.5), I(1), "", I(8), ""},
        {F(1e300), std::nullopt, "", F(1e300), ""},
        {F(1e300), I(1), "", unset_v, "math/overflow"},
        {F(2147483647.4), I(1), "", I(2147483647), ""},
        {F(2147483647.5), I(1), "", unset_v, "math/overflow"},
        {F(-2147483648.4), I(1), "", I(-2147483647 - 1), ""},
        {F(nan_), I(1), "", unset_v, "math/overflow"},
        {F(inf), I(1), "", unset_v, "math/overflow"},
        {F(1.7e308), F(1e308), "", unset_v, "math/overflow"},
        {F(12.5), F(5e-324), "", F(12.5), ""},
        {F(5e-324 * 3), F(5e-324 * 2), "", F(5e-324 * 4), ""},
        {P(0.12345), I(1), "", I(0), ""},
        {P(0.12345), F(1.0), "", F(0.12), ""},
        {P(0.12555), std::nullopt, "", P(0.13), ""},
        {F(2.5), S("x"), "", unset_v, "script/expect-arg"},
        {F(2.5), F(0.0), "", F(2.5), ""},
        {F(0.0), I(0), "", I(0), ""},
        {F(-7.5), I(0), "", I(-7), ""},
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

TEST_F(FloatTest, NearEqualityAndExactOrders) {
    const double next_up = std::nextafter(1.0, 2.0);
    double ten_up = 1e10, eleven_up = 1e10;
    for (int i = 0; i < 10; i++) ten_up = std::nextafter(ten_up, inf);
    eleven_up = std::nextafter(ten_up, inf);
    const struct {
        Cell a, b;
        CompareOp op;
        bool holds;
    } cases[] = {
        {F(0.1 + 0.2), F(0.3), CompareOp::equal, true},
        {F(0.1 + 0.2), F(0.3), CompareOp::strict_equal, false},
        {F(1.0), F(next_up), CompareOp::equal, true},
        {F(1e10), F(ten_up), CompareOp::equal, true},
        {F(1e10), F(eleven_up), CompareOp::equal, false},
        {F(1e10), F(eleven_up), CompareOp::not_equal, true},
        {F(1e-300), F(-1e-300), CompareOp::equal, true},
        {F(inf), F(inf), CompareOp::equal, false},
        {F(inf), F(inf), CompareOp::strict_equal, true},
        {F(nan_), F(nan_), CompareOp::strict_equal, false},
        {F(0.0), F(-0.0), CompareOp::strict_equal, true},
        {F(0.0), F(-0.0), CompareOp::same, false},
        {F(1.5), F(1.5), CompareOp::same, true},
        {F(1.0), I(1), CompareOp::equal, true},
        {F(1.0), I(1), CompareOp::strict_equal, false},
        {F(1.0), F(inf), CompareOp::lesser, false},
        {F(1.0), F(inf), CompareOp::greater, false},
        {F(nan_), F(1.0), CompareOp::lesser_or_equal, false},
        {F(1.0), F(2.0), CompareOp::lesser, true},
        {F(1.0), F(next_up), CompareOp::lesser, true},
        // The key test of find and put is exact: an infinity is only its own key.
        {F(inf), F(5.0), CompareOp::find_key, false},
        {F(inf), F(inf), CompareOp::find_key, true},
        {F(nan_), F(nan_), CompareOp::find_key, false},
        {F(1.0), F(next_up), CompareOp::find_key, false},
        {F(1.0), S("a"), CompareOp::equal, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(actions::compare(c.a, c.b, c.op), c.holds)
            << describe(c.a) << " op " << to_int(c.op) << " " << describe(c.b);
    EXPECT_EQ(actions::compare_order(F(inf), F(1.0), CompareOp::sort), 0);
    EXPECT_EQ(actions::compare_order(F(2.0), F(1.0), CompareOp::sort), 1);
    EXPECT_EQ(error_of([] { (void)actions::compare(F(1.0), S("a"), CompareOp::greater); }), "script/invalid-compare");
}

TEST_F(FloatTest, FormText) {
    const std::pair<double, const char*> cases[] = {
        {0.1 + 0.7, "0.8"},
        {0.1 + 0.2, "0.3"},
        {1e-20, "0.0"},
        {-1e-20, "0.0"},
        {100.0, "100.0"},
        {1e20, "1.0e20"},
        {1.5e-5, "1.5e-5"},
        {0.5, "0.5"},
        {-2.5, "-2.5"},
        {1.0 / 3.0, "0.3333333333333333"},
        {2.0 / 3.0, "0.6666666666666666"},
        {123456789.125, "123456789.125"},
        {1.0 / 0.0, "1.#INF"},
        {-1.0 / 0.0, "-1.#INF"},
        {nan_, "1.#NaN"},
        {-nan_, "1.#NaN"},
        {1e16, "1.0e16"},
        {1e15, "1000000000000000.0"},
        {999999999999999.9, "999999999999999.9"},
        {123456789012345.6, "123456789012345.6"},
        {0.0, "0.0"},
    };
    for (auto [v, text] : cases) EXPECT_EQ(form(F(v)), text) << v;

    // The same through the arithmetic actions.
    EXPECT_EQ(form(act(Action::add, {F(0.1), F(0.7)})), "0.8");
    EXPECT_EQ(form(act(Action::divide, {F(1.0), F(0.0)})), "1.#INF");
    EXPECT_EQ(form(act(Action::divide, {F(-1.0), F(0.0)})), "-1.#INF");
    EXPECT_EQ(form(act(Action::divide, {F(0.0), F(0.0)})), "1.#NaN");

    // Without the pretty rules tiny values and noise digits show.
    float_::set_pretty_mode(false);
    EXPECT_EQ(form(F(1e-20)), "9.999999999999999e-21");
    EXPECT_EQ(form(F(1e-15)), "1.0e-15");
    EXPECT_EQ(form(F(0.1 + 0.7)), "0.7999999999999999");
    float_::set_pretty_mode(true);
}

TEST_F(FloatTest, MoldKeepsEveryDigit) {
    const std::pair<double, const char*> cases[] = {
        {0.1 + 0.2, "0.30000000000000004"},
        {0.1, "0.1"},
        {100.0, "100.0"},
        {1e17, "100000000000000000.0"},
        {1e18, "1.0e18"},
        {1e-6, "0.000001"},
        {1e-7, "1.0e-7"},
        {-0.0, "-0.0"},
        {1.0 / 0.0, "1.#INF"},
        {5e-324, "5.0e-324"},
        {DBL_MAX, "1.7976931348623157e308"},
    };
    for (auto [v, text] : cases) EXPECT_EQ(mold(F(v)), text) << v;
}

TEST_F(FloatTest, MakeAndTo) {
    const struct {
        Cell spec, expected;
        const char* error;
    } cases[] = {
        {S("1.5"), F(1.5), ""},
        {S("1,5"), F(1.5), ""},
        {S("1'000.25"), F(1000.25), ""},
        {S("-2e3"), F(-2000.0), ""},
        {S(""), unset_v, "script/bad-to-arg"},
        {S("1.5x"), unset_v, "script/bad-to-arg"},
        {S("abc"), unset_v, "script/bad-to-arg"},
        {S(std::string(313, '1')), unset_v, "script/bad-to-arg"},
        {I(10), F(10.0), ""},
        {C(U'A'), F(65.0), ""},
        {P(0.5), F(0.5), ""},
        {K({F(1.5), I(2)}), F(150.0), ""},
        {K({I(15), F(-1.9)}), F(1.5), ""},
        {K({I(1)}), unset_v, "script/bad-to-arg"},
        {K({I(1), S("x")}), unset_v, "script/bad-to-arg"},
        {B({0x3F, 0xF0, 0, 0, 0, 0, 0, 0}), F(1.0), ""},
        {L(true), unset_v, "script/bad-to-arg"},
    };
    for (const auto& c : cases) {
        const auto [err, result] = attempt([&] { return act(Action::to, {T(TypeId::float_), c.spec}); });
        EXPECT_EQ(err, c.error) << describe(c.spec);
        if (err.empty()) {
            EXPECT_TRUE(same_value(result, c.expected)) << describe(result);
        }
    }
}

TEST_F(FloatTest, RandomIsNeverNegativeAndBelowTheBound) {
    for (int i = 0; i < 5000; i++) {
        const double r = get_double(act(Action::random, {F(10.0)}));
        ASSERT_GE(r, 0.0);
        ASSERT_LE(r, 10.0);
        const double s = get_double(act(Action::random, {F(2.0)}, {off, Ref::on()}));
        ASSERT_GE(s, 0.0);
        ASSERT_LE(s, 2.0);
    }
}

TEST_F(FloatTest, IntegerConversionIsRangeChecked) {
    EXPECT_EQ(float_::to_integer_checked(F(2147483647.0)), 2147483647);
    EXPECT_EQ(float_::to_integer_checked(F(-2.7)), -2);
    EXPECT_EQ(float_::to_integer_checked(I(-9)), -9);
    for (double bad : {2147483647.5, -2147483649.0, nan_, inf})
        EXPECT_EQ(error_of([&] { (void)float_::to_integer_checked(F(bad)); }), "script/out-of-range") << bad;
}

}  // namespace
}  // namespace qor::test
