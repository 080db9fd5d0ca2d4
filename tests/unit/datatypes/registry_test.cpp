// The datatype registry and action dispatch: inheritance at registration,
// the not-supported error, the /part checks and the compare layer.
#include "tests/support/child_process.h"
#include "tests/unit/datatypes/fixture.h"

namespace qor::test {
namespace {

using RegistryTest = DatatypeTest;

constexpr TypeId parent_id = TypeId(55), child_id = TypeId(56), grandchild_id = TypeId(57);

int32_t form_a(const Cell*, Cell*, const Cell*, int32_t limit) { return limit - 1; }
int32_t form_b(const Cell*, Cell*, const Cell*, int32_t limit) { return limit - 2; }
Cell* negate_a() { return stack::result(); }

TEST_F(RegistryTest, InheritanceIsCopiedAtRegistration) {
    datatype::ActionRow parent;
    parent.own<Action::form>(form_a).own<Action::negate>(negate_a);
    datatype::register_type(parent_id, TypeId::none_id, "parent!", parent.entries());

    datatype::ActionRow child;
    child.inherit(Action::form).inherit(Action::negate).inherit(Action::add);
    datatype::register_type(child_id, parent_id, "child!", child.entries());

    datatype::ActionRow grandchild;
    grandchild.inherit_rest();
    datatype::register_type(grandchild_id, child_id, "grandchild!", grandchild.entries());

    // The parent changes afterwards: the children keep what they copied.
    datatype::ActionRow changed;
    changed.own<Action::form>(form_b);
    datatype::register_type(parent_id, TypeId::none_id, "parent!", changed.entries());

    const actions::Routine a = actions::erase<Action::form>(form_a);
    EXPECT_EQ(datatype::routine(child_id, Action::form), a);
    EXPECT_EQ(datatype::routine(grandchild_id, Action::form), a);
    EXPECT_EQ(datatype::routine(grandchild_id, Action::negate), actions::erase<Action::negate>(negate_a));
    EXPECT_EQ(datatype::routine(child_id, Action::add), nullptr);
    EXPECT_EQ(datatype::routine(parent_id, Action::form), actions::erase<Action::form>(form_b));
    EXPECT_EQ(datatype::routine(parent_id, Action::negate), nullptr);
    EXPECT_EQ(datatype::highest_type_id(), 57);
    EXPECT_EQ(datatype::name(child_id), "child!");
    EXPECT_EQ(datatype::name_without_bang(grandchild_id), "grandchild");
}

TEST_F(RegistryTest, AWrongActionCountEndsTheProcess) {
    const auto result = run_in_child([] {
        datatype::ActionEntry three[3];
        datatype::register_type(TypeId::float_, TypeId::none_id, "float!", three);
    });
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.output,
              "*** Datatype Error: invalid actions count for type: 12\n*** Found: 3\n*** Expected: 62\n");
}

TEST_F(RegistryTest, UnsupportedActionNamesTheActionTypeAndArgument) {
    const struct {
        Action action;
        Cell first;
        const char* word;
        TypeId type;
        const char* arg;
    } cases[] = {
        {Action::add, S("x"), "add", TypeId::string, "value1"},
        {Action::open_q, I(1), "open?", TypeId::integer, "port"},
        {Action::open_q, none_v, "open?", TypeId::none, "port"},
        {Action::negate, C(U'a'), "negate", TypeId::char_, "number"},
        {Action::append, L(true), "append", TypeId::logic, "series"},
        {Action::sort, F(1.0), "sort", TypeId::float_, "series"},
    };
    for (const auto& c : cases) {
        try {
            act(c.action, {c.first, I(1)});
            ADD_FAILURE() << c.word << " raised nothing";
        } catch (const error::Raised& r) {
            EXPECT_TRUE(r.is(error::Id::expect_arg)) << c.word;
            EXPECT_EQ(r.arg_words[0], c.word);
            EXPECT_EQ(datatype::named(r.args[1]), c.type);
            EXPECT_EQ(r.arg_words[2], c.arg);
        }
    }
    EXPECT_EQ(actions::dispatcher(Action::set_path), nullptr);
}

TEST_F(RegistryTest, MakeAndToDispatchOnTheDatatypeOrThePrototype) {
    EXPECT_TRUE(same_value(act(Action::make, {T(TypeId::integer), F(2.5)}), I(2)));
    EXPECT_TRUE(same_value(act(Action::make, {I(0), F(2.5)}), I(2)));
    EXPECT_TRUE(same_value(act(Action::to, {F(0.0), I(3)}), F(3.0)));
    EXPECT_EQ(error_of([] { act(Action::make, {T(TypeId::datatype), I(1)}); }), "script/expect-arg");
}

TEST_F(RegistryTest, PathAccessOnATypeWithoutIt) {
    try {
        (void)actions::get_path_action(I(5), S("x"));
        ADD_FAILURE() << "no error";
    } catch (const error::Raised& r) {
        EXPECT_TRUE(r.is(error::Id::bad_path_type2));
        EXPECT_EQ(text_of(r.args[0]), "x");
        EXPECT_EQ(datatype::named(r.args[1]), TypeId::integer);
    }
}

TEST_F(RegistryTest, PickIndex) {
    const std::pair<Cell, int32_t> cases[] = {
        {L(true), 1}, {L(false), 2}, {I(-3), -3}, {C(U'A'), 65}, {F(2.0), 0}, {none_v, 0},
    };
    for (const auto& [cell, n] : cases) EXPECT_EQ(actions::pick_index(cell), n) << describe(cell);
}

TEST_F(RegistryTest, CompareThroughItsDispatcher) {
    const struct {
        Cell a, b;
        int code;
        bool holds;
    } cases[] = {
        {I(1), I(2), 3, true}, {I(1), I(2), 5, false}, {I(2), I(2), 4, true}, {I(2), I(2), 6, true},
        {I(2), I(3), 1, true}, {I(2), F(2.0), 0, true}, {I(2), F(2.0), 2, false}, {I(2), I(2), 9, true},
        {I(2), I(2), 12, true},
    };
    for (const auto& c : cases) {
        const Cell r = act(Action::compare, {c.a, c.b, I(c.code)});
        EXPECT_EQ(type_of(r), TypeId::logic);
        EXPECT_EQ(logic::get(r), c.holds) << describe(c.a) << " " << c.code << " " << describe(c.b);
    }
    // The sort orderings are no truth test.
    const auto bad = run_in_child([] { act(Action::compare, {I(1), I(2), I(7)}); });
    EXPECT_EQ(bad.exit_status, 101);
}

// A stand-in block! append that reports the count its /part became.
int32_t seen_part = -999;
const Cell* recording_append(Cell* series, Cell*, const Cell* part, bool, const Cell*) {
    seen_part = part ? get_int(*part) : -1;
    return series;
}

TEST_F(RegistryTest, PartArgumentsOfInsertingActions) {
    datatype::ActionRow block;
    block.own<Action::append>(recording_append).own<Action::insert>(recording_append);
    datatype::register_type(TypeId::block, TypeId::none_id, "block!", block.entries());

    const Cell target = K({I(1)});
    Cell source = K({I(2), I(3), I(4)});
    const Cell count = I(2);
    act(Action::append, {target, source}, {Ref::with(count)});
    EXPECT_EQ(seen_part, 2);

    // A position in the same series counts the distance to it.
    Cell later = source;
    later.w1 = 3;
    act(Action::insert, {target, source}, {Ref::with(later)});
    EXPECT_EQ(seen_part, 3);
    // The inserted value's index is clipped to its tail first.
    Cell past = source;
    past.w1 = 9;
    Cell head = source;
    head.w1 = 0;
    act(Action::append, {target, past}, {Ref::with(head)});
    EXPECT_EQ(seen_part, -3);

    EXPECT_EQ(error_of([&] { act(Action::append, {target, I(5)}, {Ref::with(count)}); }), "script/invalid-part");
    EXPECT_EQ(error_of([&] { act(Action::append, {target, source}, {Ref::with(S("ab"))}); }),
              "script/invalid-refine-arg");
    EXPECT_EQ(error_of([&] { act(Action::append, {target, source}, {Ref::with(K({I(1)}))}); }),
              "script/invalid-refine-arg");
    act(Action::append, {target, source});
    EXPECT_EQ(seen_part, -1);
}

TEST_F(RegistryTest, FormAndMoldPartCutTheText) {
    EXPECT_EQ(text_of(act(Action::form, {I(-123456)}, {Ref::with(I(3))})), "-12");
    EXPECT_EQ(text_of(act(Action::form, {I(-123456)}, {Ref::with(I(0))})), "");
    EXPECT_EQ(text_of(act(Action::form, {I(-123456)}, {Ref::with(I(-5))})), "");
    EXPECT_EQ(text_of(act(Action::mold, {none_v}, {off, Ref::on(), off, Ref::with(I(4))})), "#(no");
    EXPECT_EQ(text_of(act(Action::mold, {F(0.5)}, {off, off, off, Ref::with(I(100))})), "0.5");
}

TEST_F(RegistryTest, ErrorArgumentsKeepValuesAndWords) {
    try {
        error::fire(error::Id::invalid_compare, {I(1), error::WordArg{"part"}});
    } catch (const error::Raised& r) {
        EXPECT_EQ(r.arg_count, 2);
        EXPECT_TRUE(same_value(r.args[0], I(1)));
        EXPECT_EQ(r.arg_words[0], "");
        EXPECT_EQ(type_of(r.args[1]), TypeId::unset);
        EXPECT_EQ(r.arg_words[1], "part");
    }
}

}  // namespace
}  // namespace qor::test
