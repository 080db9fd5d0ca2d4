// char!: code-point arithmetic, conversion, molded escapes.
#include "tests/unit/datatypes/fixture.h"

namespace qor::test {
namespace {

using CharTest = DatatypeTest;

TEST_F(CharTest, ArithmeticStaysInsideTheCodePointRange) {
    const struct {
        Action action;
        Cell left, right, expected;
        const char* error;
    } cases[] = {
        {Action::add, C(U'A'), I(3), C(U'D'), ""},
        {Action::add, C(U'a'), I(1), C(U'b'), ""},
        {Action::subtract, C(U'a'), C(U'A'), C(U' '), ""},
        {Action::add, C(U'a'), F(1.7), C(U'b'), ""},
        {Action::multiply, C(U'a'), I(2), C(0xC2), ""},
        {Action::divide, C(U'd'), I(3), C(U'!'), ""},
        {Action::remainder, C(U'd'), I(7), C(2), ""},
        {Action::and_t, C(U'a'), I(95), C(U'A'), ""},
        {Action::or_t, C(U'A'), I(32), C(U'a'), ""},
        {Action::xor_t, C(U'a'), I(32), C(U'A'), ""},
        {Action::subtract, C(0), I(1), unset_v, "math/overflow"},
        {Action::add, C(U'z'), I(1114111), unset_v, "math/overflow"},
        {Action::add, C(0x10FFFE), I(1), C(0x10FFFF), ""},
        {Action::multiply, C(0x10FFFF), I(2147483647), unset_v, "math/overflow"},
        {Action::divide, C(U'a'), I(0), unset_v, "math/zero-divide"},
        {Action::remainder, C(U'a'), I(0), unset_v, "math/zero-divide"},
        // Floats beyond the integers are refused, not converted blindly.
        {Action::add, C(U'a'), F(1e10), unset_v, "math/overflow"},
        {Action::add, C(U'a'), F(std::nan("")), unset_v, "math/overflow"},
        {Action::add, C(U'a'), F(-1e300), unset_v, "math/overflow"},
        {Action::add, C(U'a'), S("x"), unset_v, "script/invalid-type"},
        {Action::add, C(U'a'), P(0.5), unset_v, "script/invalid-type"},
    };
    for (const auto& c : cases) {
        const auto [err, result] = attempt([&] { return act(c.action, {c.left, c.right}); });
        EXPECT_EQ(err, c.error) << action_word(c.action) << " " << describe(c.left) << " " << describe(c.right);
        if (err.empty()) {
            EXPECT_TRUE(same_value(result, c.expected)) << describe(result);
        }
    }
}

TEST_F(CharTest, InheritsOnlyWhatItMarks) {
    EXPECT_EQ(datatype::routine(TypeId::char_, Action::absolute), datatype::routine(TypeId::integer, Action::absolute));
    EXPECT_EQ(datatype::routine(TypeId::char_, Action::random), datatype::routine(TypeId::integer, Action::random));
    EXPECT_EQ(datatype::routine(TypeId::char_, Action::negate), nullptr);
    EXPECT_TRUE(same_value(act(Action::absolute, {C(U'a')}), C(U'a')));
    EXPECT_TRUE(same_value(act(Action::even_q, {C(U'b')}), L(true)));
    const Cell r = act(Action::random, {C(U'z')});
    EXPECT_EQ(type_of(r), TypeId::char_);
    EXPECT_GE(r.w2, 1u);
    EXPECT_LE(r.w2, uint32_t(U'z'));
    for (Action a : {Action::negate, Action::power, Action::round, Action::complement})
        EXPECT_EQ(error_of([&] { act(a, {C(U'a'), I(2)}); }), "script/expect-arg") << action_word(a);
}

TEST_F(CharTest, MakeAndTo) {
    const struct {
        Cell spec, expected;
        const char* error;
    } cases[] = {
        {I(65), C(U'A'), ""},
        {I(1114111), C(0x10FFFF), ""},
        {I(1114112), unset_v, "script/out-of-range"},
        {I(-1), unset_v, "script/out-of-range"},
        {F(65.9), C(U'A'), ""},
        {F(-0.5), C(0), ""},
        {F(1e300), unset_v, "script/out-of-range"},
        {S("abc"), C(U'a'), ""},
        {S32(U"\u20AC"), C(0x20AC), ""},
        {S(""), unset_v, "script/bad-to-arg"},
        {C(U'x'), C(U'x'), ""},
        {L(true), unset_v, "script/bad-to-arg"},
    };
    for (const auto& c : cases) {
        for (Action a : {Action::make, Action::to}) {
            const auto [err, result] = attempt([&] { return act(a, {T(TypeId::char_), c.spec}); });
            EXPECT_EQ(err, c.error) << describe(c.spec);
            if (err.empty()) {
                EXPECT_TRUE(same_value(result, c.expected)) << describe(result);
            }
        }
    }
}

TEST_F(CharTest, FormAndMold) {
    const struct {
        char32_t c;
        const char* formed;
        const char* molded;
        const char* molded_all;
    } cases[] = {
        {U'a', "a", "#\"a\"", "#\"a\""},
        {U'\n', "\n", "#\"^/\"", "#\"^/\""},
        {U'\t', "\t", "#\"^-\"", "#\"^-\""},
        {0, "", "#\"^@\"", "#\"^@\""},
        {30, "\x1E", "#\"^(1E)\"", "#\"^(1E)\""},
        {27, "\x1B", "#\"^[\"", "#\"^[\""},
        {U'"', "\"", "#\"^\"\"", "#\"^\"\""},
        {U'^', "^", "#\"^^\"", "#\"^^\""},
        {127, "\x7F", "#\"^~\"", "#\"^~\""},
        {0x85, "\u0085", "#\"^(85)\"", "#\"^(85)\""},
        {0xE9, "\u00E9", "#\"\u00E9\"", "#\"^(E9)\""},
        {0x20AC, "\u20AC", "#\"\u20AC\"", "#\"^(20AC)\""},
    };
    for (const auto& c : cases) {
        if (c.c != 0) {
            EXPECT_EQ(form(C(c.c)), c.formed) << uint32_t(c.c);
        }
        EXPECT_EQ(mold(C(c.c)), c.molded) << uint32_t(c.c);
        EXPECT_EQ(mold(C(c.c), true), c.molded_all) << uint32_t(c.c);
    }
    EXPECT_EQ(form(C(0)), std::string(1, '\0'));
}

TEST_F(CharTest, FromUtf8Binary) {
    const struct {
        std::vector<uint8_t> bytes;
        uint32_t expected;  // 0xFFFFFFFF: bad-to-arg
    } cases[] = {
        {{0xE2, 0x82, 0xAC}, 0x20AC},
        {{0x41, 0x42}, U'A'},
        {{0xF0, 0x9F, 0x98, 0x80}, 0x1F600},
        {{0xC3}, 0xFFFE},               // cut short
        {{0x80}, 0xFFFE},               // not a lead byte
        {{0xC0, 0x80}, 0xFFFE},         // overlong
        {{0xED, 0xA0, 0x80}, 0xFFFE},   // surrogate
        {{}, 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        const auto [err, result] = attempt([&] { return act(Action::to, {T(TypeId::char_), B(c.bytes)}); });
        if (c.expected == 0xFFFFFFFF) {
            EXPECT_EQ(err, "script/bad-to-arg");
        } else {
            EXPECT_EQ(err, "");
            EXPECT_EQ(result.w2, c.expected);
        }
    }
}

TEST_F(CharTest, CompareHasNoCaseFolding) {
    EXPECT_FALSE(actions::compare(C(U'a'), C(U'A'), CompareOp::equal));
    EXPECT_TRUE(actions::compare(C(U'A'), I(65), CompareOp::equal));
    EXPECT_FALSE(actions::compare(C(U'A'), I(65), CompareOp::strict_equal));
    EXPECT_TRUE(actions::compare(C(U'a'), C(U'b'), CompareOp::lesser));
    EXPECT_FALSE(actions::compare(C(U'a'), F(97.0), CompareOp::equal));
    EXPECT_EQ(error_of([] { (void)actions::compare(C(U'a'), F(97.0), CompareOp::lesser); }), "script/invalid-compare");
}

}  // namespace
}  // namespace qor::test
