// typeset!: building, set operations, find, compare and the text forms.
#include "tests/unit/datatypes/fixture.h"

namespace qor::test {
namespace {

using TypesetTest = DatatypeTest;

Cell typeset_of(std::initializer_list<TypeId> types) {
    Cell ts = typeset::make(0, 0, 0);
    for (TypeId t : types) typeset::add(ts, t);
    return ts;
}

TEST_F(TypesetTest, MakeFromBlockInAnyOrderMoldsInIdOrder) {
    const Cell a = act(Action::make, {T(TypeId::typeset), K({T(TypeId::integer), T(TypeId::float_)})});
    const Cell b = act(Action::make, {T(TypeId::typeset), K({T(TypeId::float_), T(TypeId::integer)})});
    for (const Cell& ts : {a, b}) {
        EXPECT_EQ(mold(ts), "make typeset! [integer! float!]");
        EXPECT_EQ(form(ts), "make typeset! [integer! float!]");
        EXPECT_EQ(text_of(act(Action::mold, {ts}, {Ref::on()})), "integer! float!");
        EXPECT_EQ(typeset::count(ts), 2);
        for (int t = 0; t < 96; t++)
            EXPECT_EQ(typeset::has(ts, TypeId(t)), t == 11 || t == 12) << t;
    }
    const Cell empty = act(Action::make, {T(TypeId::typeset), K({})});
    EXPECT_EQ(mold(empty), "make typeset! []");
    EXPECT_EQ(text_of(act(Action::mold, {empty}, {Ref::on()})), "");
    // Typesets merge in; a typeset make argument answers itself.
    const Cell merged = act(Action::to, {T(TypeId::typeset), K({a, T(TypeId::none)})});
    EXPECT_EQ(mold(merged), "make typeset! [none! integer! float!]");
    EXPECT_TRUE(same_value(act(Action::to, {T(TypeId::typeset), a}), a));
    EXPECT_EQ(error_of([] { act(Action::make, {T(TypeId::typeset), I(1)}); }), "script/bad-to-arg");
    EXPECT_EQ(error_of([] { act(Action::make, {T(TypeId::typeset), K({I(1)})}); }), "script/invalid-arg");
}

TEST_F(TypesetTest, PartLimitStopsBeforeAName) {
    const Cell ts = typeset_of({TypeId::integer, TypeId::float_, TypeId::none});
    EXPECT_EQ(text_of(act(Action::mold, {ts}, {off, off, off, Ref::with(I(20))})), "make typeset! [none!");
    EXPECT_EQ(text_of(act(Action::form, {ts}, {Ref::with(I(0))})), "");
    int32_t limit = 18;
    EXPECT_EQ(typeset::form_text(ts, false, true, limit), "make typeset! [none!]");
    EXPECT_EQ(limit, 18 - 21);
    limit = 100;
    EXPECT_EQ(typeset::form_text(ts, true, false, limit), "none! integer! float!");
    EXPECT_EQ(limit, 100 - 21);
}

TEST_F(TypesetTest, SetOperationsAndComplement) {
    const Cell num = typeset_of({TypeId::integer, TypeId::float_});
    const Cell ints = typeset_of({TypeId::integer});
    EXPECT_TRUE(same_value(act(Action::and_t, {num, T(TypeId::integer)}), ints));
    EXPECT_TRUE(same_value(act(Action::and_t, {num, T(TypeId::string)}), typeset::make(0, 0, 0)));
    EXPECT_TRUE(same_value(act(Action::or_t, {ints, T(TypeId::float_)}), num));
    EXPECT_TRUE(same_value(act(Action::xor_t, {num, ints}), typeset_of({TypeId::float_})));
    EXPECT_EQ(error_of([&] { act(Action::or_t, {num, I(3)}); }), "script/invalid-arg");

    const Cell all = typeset::all_but_unset();
    EXPECT_FALSE(typeset::has(all, TypeId::unset));
    const Cell c = act(Action::complement, {all});
    for (int t = 1; t <= datatype::highest_type_id(); t++) EXPECT_EQ(typeset::has(c, TypeId(t)), t == 2) << t;
    EXPECT_FALSE(typeset::has(c, TypeId(95)));
    // All 96 bits are inverted, the unused ones too.
    const Cell not_ints = act(Action::complement, {ints});
    EXPECT_TRUE(typeset::has(not_ints, TypeId(95)));
    EXPECT_FALSE(typeset::has(not_ints, TypeId::integer));
    EXPECT_TRUE(typeset::has(not_ints, TypeId(0)));
}

TEST_F(TypesetTest, FindAnswersLogic) {
    const Cell num = typeset_of({TypeId::integer, TypeId::float_});
    const Cell yes = act(Action::find, {num, T(TypeId::integer)});
    const Cell no = act(Action::find, {num, T(TypeId::string)});
    EXPECT_EQ(type_of(yes), TypeId::logic);
    EXPECT_TRUE(logic::get(yes));
    EXPECT_EQ(type_of(no), TypeId::logic);
    EXPECT_FALSE(logic::get(no));
    EXPECT_EQ(error_of([&] { act(Action::find, {num, I(1)}); }), "script/invalid-arg");
}

TEST_F(TypesetTest, CompareByBitsAndSortByCount) {
    const Cell a = typeset_of({TypeId::integer, TypeId::float_});
    const Cell b = typeset_of({TypeId::float_, TypeId::integer});
    const Cell one = typeset_of({TypeId::string});
    EXPECT_TRUE(actions::compare(a, b, CompareOp::equal));
    EXPECT_TRUE(actions::compare(a, b, CompareOp::strict_equal));
    EXPECT_FALSE(actions::compare(a, one, CompareOp::equal));
    EXPECT_FALSE(actions::compare(a, I(1), CompareOp::equal));
    EXPECT_EQ(error_of([&] { (void)actions::compare(a, one, CompareOp::lesser); }), "script/invalid-compare");
    EXPECT_GT(actions::compare_order(a, one, CompareOp::sort), 0);
    EXPECT_LT(actions::compare_order(one, a, CompareOp::sort_case), 0);
}

}  // namespace
}  // namespace qor::test
