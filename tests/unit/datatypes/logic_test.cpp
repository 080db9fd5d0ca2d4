// unset!, none!, logic! and datatype!: their actions and the truth tests.
#include "tests/unit/datatypes/fixture.h"

namespace qor::test {
namespace {

using SmallTypesTest = DatatypeTest;

TEST_F(SmallTypesTest, FormAndMoldTexts) {
    const struct {
        Cell value;
        const char *formed, *molded, *molded_all;
    } cases[] = {
        {unset_v, "", "unset", "#(unset)"},
        {none_v, "none", "none", "#(none)"},
        {L(true), "true", "true", "#(true)"},
        {L(false), "false", "false", "#(false)"},
        {T(TypeId::integer), "integer", "integer!", "#(integer!)"},
        {T(TypeId::typeset), "typeset", "typeset!", "#(typeset!)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(form(c.value), c.formed);
        EXPECT_EQ(mold(c.value), c.molded);
        EXPECT_EQ(mold(c.value, true), c.molded_all);
    }
}

// form and mold answer the limit minus what they appended.
TEST_F(SmallTypesTest, FormersAnswerTheBudgetLeft) {
    const struct {
        Cell value;
        int32_t form_used, mold_used, mold_all_used;
    } cases[] = {
        {unset_v, 0, 5, 8}, {none_v, 4, 4, 7}, {L(false), 5, 5, 8}, {T(TypeId::integer), 7, 8, 11},
        {I(-12), 3, 3, 3},  {C(U'\n'), 1, 5, 5}, {F(1e20), 6, 6, 6},
    };
    for (const auto& c : cases) {
        Cell buffer;
        text_buffer::make(buffer);
        EXPECT_EQ(actions::call_form(c.value, buffer, nullptr, 100), 100 - c.form_used);
        EXPECT_EQ(actions::call_mold(c.value, buffer, false, false, false, nullptr, 100, 0), 100 - c.mold_used);
        EXPECT_EQ(actions::call_mold(c.value, buffer, false, true, false, nullptr, 100, 0), 100 - c.mold_all_used);
        EXPECT_EQ(text_buffer::length(buffer), uint32_t(c.form_used + c.mold_used + c.mold_all_used));
    }
}

TEST_F(SmallTypesTest, MakeAndToLogic) {
    const struct {
        Action action;
        Cell spec;
        bool expected;
    } cases[] = {
        {Action::make, I(0), false},       {Action::make, I(2), true},        {Action::make, F(0.0), false},
        {Action::make, F(-0.0), false},    {Action::make, F(std::nan("")), true}, {Action::make, none_v, false},
        {Action::to, none_v, false},       {Action::to, I(0), true},          {Action::to, S(""), true},
        {Action::to, unset_v, true},       {Action::to, C(0), true},          {Action::to, L(false), false},
        {Action::make, L(true), true},
    };
    for (const auto& c : cases) {
        const Cell r = act(c.action, {T(TypeId::logic), c.spec});
        EXPECT_EQ(type_of(r), TypeId::logic) << describe(c.spec);
        EXPECT_EQ(logic::get(r), c.expected) << action_word(c.action) << " " << describe(c.spec);
    }
    EXPECT_EQ(type_of(act(Action::make, {T(TypeId::none), I(5)})), TypeId::none);
    EXPECT_EQ(type_of(act(Action::to, {T(TypeId::unset), I(5)})), TypeId::unset);
}

TEST_F(SmallTypesTest, LogicOperations) {
    const struct {
        Action action;
        bool a, b, expected;
    } cases[] = {
        {Action::xor_t, true, true, false}, {Action::xor_t, true, false, true}, {Action::or_t, false, true, true},
        {Action::or_t, false, false, false}, {Action::and_t, true, false, false}, {Action::and_t, true, true, true},
    };
    for (const auto& c : cases) EXPECT_EQ(logic::get(act(c.action, {L(c.a), L(c.b)})), c.expected);
    EXPECT_FALSE(logic::get(act(Action::complement, {L(true)})));
    EXPECT_TRUE(logic::get(act(Action::complement, {L(false)})));
    try {
        act(Action::and_t, {L(true), I(1)});
        ADD_FAILURE() << "no error";
    } catch (const error::Raised& r) {
        EXPECT_TRUE(r.is(error::Id::expect_arg));
        EXPECT_EQ(r.arg_words[0], "and~");
        EXPECT_EQ(datatype::named(r.args[1]), TypeId::integer);
        EXPECT_EQ(r.arg_words[2], "value2");
    }
}

TEST_F(SmallTypesTest, CompareEqualsButNeverOrders) {
    const struct {
        Cell a, b;
        CompareOp op;
        bool holds;
    } cases[] = {
        {none_v, none_v, CompareOp::equal, true},
        {unset_v, unset_v, CompareOp::equal, true},
        {none_v, L(false), CompareOp::equal, false},
        {none_v, L(false), CompareOp::not_equal, true},
        {L(true), L(true), CompareOp::strict_equal, true},
        {L(true), L(false), CompareOp::equal, false},
        {L(true), I(1), CompareOp::equal, false},
        {T(TypeId::integer), T(TypeId::integer), CompareOp::equal, true},
        {T(TypeId::integer), T(TypeId::float_), CompareOp::equal, false},
        {T(TypeId::integer), I(1), CompareOp::equal, false},
        {T(TypeId::integer), T(TypeId::integer), CompareOp::same, true},
    };
    for (const auto& c : cases) EXPECT_EQ(actions::compare(c.a, c.b, c.op), c.holds) << describe(c.a) << " " << describe(c.b);
    for (const auto& pair : {std::pair{L(false), L(true)}, {none_v, none_v}, {unset_v, unset_v},
                             {T(TypeId::integer), T(TypeId::float_)}}) {
        EXPECT_EQ(error_of([&] { (void)actions::compare(pair.first, pair.second, CompareOp::lesser); }),
                  "script/invalid-compare");
    }
    // Sorting puts false before true.
    EXPECT_LT(actions::compare_order(L(false), L(true), CompareOp::sort), 0);
    EXPECT_GT(actions::compare_order(L(true), L(false), CompareOp::sort), 0);
}

TEST_F(SmallTypesTest, NoneAnswersNoneToSeriesActions) {
    EXPECT_EQ(type_of(act(Action::length_q, {none_v})), TypeId::none);
    EXPECT_EQ(type_of(act(Action::find, {none_v, I(1)})), TypeId::none);
    EXPECT_EQ(type_of(act(Action::select, {none_v, I(1)})), TypeId::none);
    EXPECT_EQ(type_of(act(Action::take, {none_v})), TypeId::none);
    EXPECT_EQ(type_of(act(Action::clear, {none_v})), TypeId::none);
    EXPECT_EQ(type_of(act(Action::remove, {none_v})), TypeId::none);
    EXPECT_EQ(error_of([] { act(Action::append, {none_v, I(1)}); }), "script/expect-arg");
}

TEST_F(SmallTypesTest, TruthTests) {
    const struct {
        Cell v;
        bool truth;
    } cases[] = {
        {none_v, false}, {L(false), false}, {L(true), true}, {unset_v, true},
        {I(0), true},    {S(""), true},     {F(0.0), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(logic::is_true(c.v), c.truth) << describe(c.v);
    }
}

TEST_F(SmallTypesTest, RandomLogicIsTrueAboutHalfTheTime) {
    int trues = 0;
    for (int i = 0; i < 10000; i++) trues += logic::get(act(Action::random, {L(true)}));
    EXPECT_GT(trues, 4700);
    EXPECT_LT(trues, 5300);
    int secure_trues = 0;
    for (int i = 0; i < 2000; i++) secure_trues += logic::get(act(Action::random, {L(true)}, {off, Ref::on()}));
    EXPECT_GT(secure_trues, 850);
    EXPECT_LT(secure_trues, 1150);
    EXPECT_EQ(type_of(act(Action::random, {L(true)}, {Ref::on()})), TypeId::unset);
}

}  // namespace
}  // namespace qor::test
