// map!: making, keys and their stored form, path access, put, find, select,
// remove, reflect, copy, compare, mold and form, extend and foreach steps.
#include <gtest/gtest.h>

#include "tests/unit/maps/maps_fixture.h"

namespace qor::test {
namespace {

TEST_F(MapsTest, PathSetThenGetIgnoresCaseOfWords) {
    const Cell m = make_map(K({W("a"), I(1), W("b"), I(2)}));
    path_set(m, W("a"), I(5));
    EXPECT_EQ(get_int(path_get(m, W("A"))), 5);
    EXPECT_EQ(get_int(select_in(m, W("a"))), 5);
    EXPECT_EQ(get_int(select_in(m, typed(W("a"), TypeId::set_word))), 5);
    const Cell found = find_in(m, typed(W("a"), TypeId::lit_word));
    EXPECT_EQ(type_of(found), TypeId::word);
    EXPECT_EQ(M(found), "a");
    EXPECT_EQ(type_of(path_get(m, W("c"))), TypeId::none);
    EXPECT_EQ(length_of(m), 2);
}

TEST_F(MapsTest, RepeatedKeysKeepTheLastValueInFirstPlace) {
    const Cell m = make_map(K({W("a"), I(1), W("b"), I(2), W("a"), I(3)}));
    EXPECT_EQ(M(m), "#[\n    a: 3\n    b: 2\n]");
    EXPECT_EQ(length_of(m), 2);
    EXPECT_EQ(mold_flat(m), "#[a: 3 b: 2]");
    EXPECT_EQ(mold_only(m), "a: 3\nb: 2\n");
    EXPECT_EQ(formed(m), "a: 3\nb: 2");
}

TEST_F(MapsTest, RefusedSpecsAndKeys) {
    struct Case { Action action; Cell spec; const char* error; };
    const Case cases[] = {
        {Action::make, K({W("a"), I(1), W("b")}), "script/invalid-arg"},
        {Action::make, I(-1), "script/out-of-range"},
        {Action::make, F(-2.0), "script/out-of-range"},
        {Action::to, I(10), "script/bad-to-arg"},
        {Action::make, S("x"), "script/bad-to-arg"},
        {Action::make, K({K({I(1)}), I(1)}), "script/invalid-path"},
        {Action::make, K({none_v, I(1)}), "script/invalid-path"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(error_of([&] { act(c.action, {T(TypeId::map), c.spec}); }), c.error) << describe(c.spec);

    // A refused key leaves the map as it was.
    const Cell m = make_map(K({W("a"), I(1)}));
    EXPECT_EQ(error_of([&] { act(Action::put, {m, K({I(1)}), I(2)}); }), "script/invalid-path");
    EXPECT_EQ(error_of([&] { path_set(m, L(true), I(2)); }), "script/invalid-path");
    EXPECT_EQ(M(m), "#[\n    a: 1\n]");
    EXPECT_EQ(series::buffer(m.w2)->length(), 2u);
}

TEST_F(MapsTest, CountsAndEmptyMaps) {
    const Cell zero = make_map(I(0));
    EXPECT_EQ(length_of(zero), 0);
    EXPECT_EQ(M(zero), "#[]");
    EXPECT_EQ(mold_flat(zero), "#[]");
    const Cell sized = make_map(F(3.0));
    path_set(sized, I(7), S("seven"));
    EXPECT_EQ(M(sized), "#[\n    7 \"seven\"\n]");
    EXPECT_EQ(M(make_map(K({}))), "#[]");
    // A count no block could hold is refused, not wrapped.
    EXPECT_EQ(error_of([&] { make_map(I(2'000'000'000)); }), "internal/no-memory");
    // Parens, hash! blocks and block positions give their pairs too.
    EXPECT_EQ(mold_flat(make_map(typed(K({W("p"), I(1)}), TypeId::paren))), "#[p: 1]");
    EXPECT_EQ(mold_flat(make_map(make_hash(K({W("h"), I(2), W("h"), I(3)})))), "#[h: 3]");
    EXPECT_EQ(mold_flat(make_map(at(K({I(0), W("q"), I(4)}), 1))), "#[q: 4]");
}

TEST_F(MapsTest, StringKeysIgnoreCaseUnlessAskedAndAreCopies) {
    const Cell m = make_map(I(0));
    act(Action::put, {m, S("X"), I(1)});
    EXPECT_EQ(get_int(select_in(m, S("x"))), 1);
    EXPECT_EQ(type_of(select_in(m, S("x"), true)), TypeId::none);
    EXPECT_EQ(get_int(select_in(m, S("X"), true)), 1);

    // put/case adds a key differing only in case as a new pair.
    act(Action::put, {m, S("x"), I(2)}, {Ref::on()});
    EXPECT_EQ(length_of(m), 2);
    EXPECT_EQ(get_int(select_in(m, S("X"), true)), 1);

    // The stored key is a copy from the string's position.
    Cell key = S("keyed");
    key.w1 = 1;
    path_set(m, key, I(3));
    act(Action::append, {key, S("!")});
    EXPECT_EQ(get_int(select_in(m, S("eyed"))), 3);
    EXPECT_EQ(type_of(select_in(m, S("eyed!"))), TypeId::none);
    EXPECT_EQ(M(m), "#[\n    \"X\" 1\n    \"x\" 2\n    \"eyed\" 3\n]");
}

TEST_F(MapsTest, RemoveLeavesTheKeyInPlaceForRevival) {
    const Cell m = make_map(K({W("a"), I(1), W("b"), I(2)}));
    act(Action::remove, {m}, {off, Ref::with(W("a"))});
    EXPECT_EQ(length_of(m), 1);
    EXPECT_EQ(M(words_of(m)), "[b]");
    EXPECT_EQ(type_of(select_in(m, W("a"))), TypeId::none);
    EXPECT_EQ(type_of(find_in(m, W("a"))), TypeId::none);
    EXPECT_EQ(type_of(path_get(m, W("a"))), TypeId::none);
    EXPECT_EQ(M(m), "#[\n    b: 2\n]");
    // Removing again, or a missing key, changes nothing.
    act(Action::remove, {m}, {off, Ref::with(W("a"))});
    act(Action::remove, {m}, {off, Ref::with(W("zz"))});
    EXPECT_EQ(length_of(m), 1);
    path_set(m, W("a"), I(9));
    EXPECT_EQ(length_of(m), 2);
    EXPECT_EQ(M(m), "#[\n    a: 9\n    b: 2\n]");
    EXPECT_EQ(error_of([&] { act(Action::remove, {m}); }), "script/missing-arg");
    // Setting none keeps the key.
    path_set(m, W("b"), none_v);
    EXPECT_EQ(length_of(m), 2);
    EXPECT_EQ(M(m), "#[\n    a: 9\n    b: none\n]");
    // clear empties the map, which takes new pairs afterwards.
    EXPECT_EQ(act(Action::clear, {m}).w2, m.w2);
    EXPECT_EQ(length_of(m), 0);
    EXPECT_EQ(M(m), "#[]");
    EXPECT_EQ(type_of(select_in(m, W("a"))), TypeId::none);
    path_set(m, W("b"), I(1));
    path_set(m, W("a"), I(2));
    EXPECT_EQ(mold_flat(m), "#[b: 1 a: 2]");
}

TEST_F(MapsTest, RefinementAndIssueKeysKeepTheirDatatype) {
    const Cell m = make_map(K({typed(W("r"), TypeId::refinement), I(1), typed(W("i"), TypeId::issue), I(2),
                               typed(W("r"), TypeId::get_word), I(3)}));
    EXPECT_EQ(length_of(m), 3);
    EXPECT_EQ(get_int(select_in(m, typed(W("r"), TypeId::refinement))), 1);
    EXPECT_EQ(get_int(select_in(m, typed(W("i"), TypeId::issue))), 2);
    EXPECT_EQ(get_int(select_in(m, W("r"))), 3);
    EXPECT_EQ(type_of(select_in(m, W("i"))), TypeId::none);
    EXPECT_EQ(mold_flat(m), "#[/r 1 #i 2 r: 3]");
}

TEST_F(MapsTest, IntegerPathStepsAreKeysNotPositions) {
    const Cell m = make_map(K({I(1), S("one"), W("x"), I(2)}));
    EXPECT_EQ(text_of(path_get(m, I(1))), "one");
    EXPECT_EQ(type_of(path_get(m, I(2))), TypeId::none);
    EXPECT_EQ(type_of(path_get(m, F(1.0))), TypeId::none);  // a key of another datatype
}

TEST_F(MapsTest, ReflectWordsValuesBody) {
    const Cell m = make_map(K({W("a"), I(1), S("s"), I(2), W("c"), I(3)}));
    act(Action::remove, {m}, {off, Ref::with(S("s"))});
    EXPECT_EQ(M(words_of(m)), "[a c]");
    EXPECT_EQ(M(act(Action::reflect, {m, W("values")})), "[1 3]");
    EXPECT_EQ(M(act(Action::reflect, {m, W("body")})), "[\n    a: 1\n    c: 3\n]");
    EXPECT_EQ(error_of([&] { act(Action::reflect, {m, W("spec")}); }), "internal/not-done");
    EXPECT_EQ(M(act(Action::reflect, {make_map(I(0)), W("body")})), "[]");
}

TEST_F(MapsTest, CopiesAreIndependent) {
    const Cell inner = K({I(1)});
    const Cell m = make_map(K({W("a"), inner, W("b"), I(2)}));
    const Cell shallow = act(Action::copy, {m});
    const Cell deep = act(Action::copy, {m}, {off, Ref::on()});
    path_set(shallow, W("c"), I(3));
    act(Action::remove, {shallow}, {off, Ref::with(W("b"))});
    EXPECT_EQ(M(m), "#[\n    a: [1]\n    b: 2\n]");
    EXPECT_EQ(M(shallow), "#[\n    a: [1]\n    c: 3\n]");
    act(Action::append, {inner, I(9)});
    EXPECT_EQ(M(path_get(shallow, W("a"))), "[1 9]");
    EXPECT_EQ(M(path_get(deep, W("a"))), "[1]");
    const Cell typed_copy = act(Action::copy, {m}, {off, off, Ref::with(T(TypeId::block))});
    act(Action::append, {inner, I(10)});
    EXPECT_EQ(M(path_get(typed_copy, W("a"))), "[1 9]");
    // make from a map copies too.
    const Cell made = make_map(m);
    path_set(made, W("a"), I(0));
    EXPECT_EQ(M(path_get(m, W("a"))), "[1 9 10]");
    // A map inside itself cannot be copied deeply by type.
    const Cell self = make_map(I(0));
    path_set(self, W("me"), self);
    EXPECT_EQ(error_of([&] { act(Action::copy, {self}, {off, Ref::on(), Ref::with(T(TypeId::map))}); }),
              "internal/no-cycle");
    EXPECT_EQ(cycle::depth(), 0);
    const Cell one_level = act(Action::copy, {self}, {off, off, Ref::with(T(TypeId::map))});
    EXPECT_NE(path_get(one_level, W("me")).w2, self.w2);
}

TEST_F(MapsTest, EqualityIgnoresOrderAndStrictEqualityCase) {
    const Cell a = make_map(K({W("x"), S("v"), W("y"), I(2)}));
    const Cell b = make_map(K({W("y"), I(2), W("x"), S("v")}));
    const Cell c = make_map(K({W("y"), I(2), W("x"), S("V")}));
    const Cell d = make_map(K({W("y"), I(2), W("x"), S("w")}));
    EXPECT_EQ(actions::compare_order(a, b, CompareOp::equal), 0);
    EXPECT_EQ(actions::compare_order(a, b, CompareOp::strict_equal), 0);
    EXPECT_EQ(actions::compare_order(a, c, CompareOp::equal), 0);
    EXPECT_NE(actions::compare_order(a, c, CompareOp::strict_equal), 0);
    EXPECT_NE(actions::compare_order(a, d, CompareOp::equal), 0);
    EXPECT_NE(actions::compare_order(a, b, CompareOp::same), 0);
    EXPECT_EQ(actions::compare_order(a, a, CompareOp::same), 0);
    EXPECT_EQ(actions::compare_order(a, I(1), CompareOp::equal), -2);
    EXPECT_EQ(actions::compare_order(a, b, CompareOp::lesser), -2);
    // Removed pairs do not count.
    act(Action::remove, {c}, {off, Ref::with(W("x"))});
    act(Action::remove, {d}, {off, Ref::with(W("x"))});
    EXPECT_EQ(actions::compare_order(c, d, CompareOp::strict_equal), 0);
    // Keys equal ignoring case: any of them may hold the matching value.
    const Cell e = make_map(I(0));
    const Cell f = make_map(I(0));
    act(Action::put, {e, S("k"), I(1)});
    act(Action::put, {e, S("K"), I(2)}, {Ref::on()});
    act(Action::put, {f, S("K"), I(1)});
    act(Action::put, {f, S("k"), I(2)}, {Ref::on()});
    EXPECT_EQ(actions::compare_order(e, f, CompareOp::equal), 0);
    EXPECT_NE(actions::compare_order(e, f, CompareOp::strict_equal), 0);
}

TEST_F(MapsTest, SortOrderComparesNodesWithoutOverflow) {
    // Block nodes far apart: a difference of the two would wrap.
    const Cell low{to_int(TypeId::map), 0, 5, 0};
    const Cell high{to_int(TypeId::map), 0, 0xFFFFFFF0u, 0};
    const Cell mid{to_int(TypeId::map), 0, 0x80000010u, 0};
    for (CompareOp op : {CompareOp::sort, CompareOp::sort_case}) {
        EXPECT_EQ(actions::compare_order(low, high, op), -1);
        EXPECT_EQ(actions::compare_order(high, low, op), 1);
        EXPECT_EQ(actions::compare_order(low, mid, op), -1);
        EXPECT_EQ(actions::compare_order(mid, high, op), -1);
        EXPECT_EQ(actions::compare_order(mid, mid, op), 0);
    }
}

TEST_F(MapsTest, NestedMapsIndentAndCyclesAreMarked) {
    const Cell outer = make_map(I(0));
    const Cell inner = make_map(K({W("k"), I(1)}));
    path_set(outer, W("in"), inner);
    path_set(outer, W("n"), I(2));
    EXPECT_EQ(M(outer), "#[\n    in: #[\n        k: 1\n    ]\n    n: 2\n]");
    EXPECT_EQ(mold_flat(outer), "#[in: #[k: 1] n: 2]");
    path_set(inner, W("back"), outer);
    EXPECT_EQ(mold_flat(outer), "#[in: #[k: 1 back: #[...]] n: 2]");
    EXPECT_EQ(text_of(act(Action::mold, {outer}, {off, off, Ref::on(), Ref::with(I(6))})), "#[in: ");
}

TEST_F(MapsTest, ExtendAddsRevivesAndRefusesOddBlocks) {
    const Cell m = make_map(K({W("a"), I(1), W("b"), I(2)}));
    act(Action::remove, {m}, {off, Ref::with(W("b"))});
    map::extend_with(m, K({W("b"), I(20), S("s"), I(3), W("A"), I(10)}), false);
    EXPECT_EQ(M(m), "#[\n    a: 10\n    b: 20\n    \"s\" 3\n]");
    EXPECT_EQ(length_of(m), 3);
    EXPECT_EQ(error_of([&] { map::extend_with(m, K({W("z")}), false); }), "script/invalid-arg");
    EXPECT_EQ(length_of(m), 3);
}

TEST_F(MapsTest, ForeachStepsOverLivePairs) {
    const Cell m = make_map(K({W("a"), I(1), W("b"), I(2), W("c"), I(3)}));
    act(Action::remove, {m}, {off, Ref::with(W("b"))});
    const Cell k = W("k"), v = W("v");
    const Cell words = K({k, v});
    std::string seen;
    uint32_t position = 0;
    while (map::foreach_set(words, m, position))
        seen += M(*context::value_cell(k)) + "=" + M(*context::value_cell(v)) + " ";
    EXPECT_EQ(seen, "a=1 c=3 ");
    // Words left over when the map ends get none.
    position = 0;
    const Cell three = K({W("p"), W("q"), W("r")});
    EXPECT_TRUE(map::foreach_set(three, m, position));
    EXPECT_EQ(M(*context::value_cell(W("r"))), "c");  // the removed pair is passed over for a key
    EXPECT_TRUE(map::foreach_set(three, m, position));
    EXPECT_EQ(M(*context::value_cell(W("p"))), "3");
    EXPECT_EQ(M(*context::value_cell(W("q"))), "none");
    EXPECT_EQ(M(*context::value_cell(W("r"))), "none");
    EXPECT_FALSE(map::foreach_set(three, m, position));
    position = 0;
    EXPECT_EQ(error_of([&] { map::foreach_set(K({I(1)}), m, position); }), "script/invalid-arg");
}

TEST_F(MapsTest, ManyKeysGrowTheIndex) {
    const Cell m = make_map(I(0));
    for (int i = 0; i < 5000; i++) path_set(m, I(i), I(i * 2));
    for (int i = 0; i < 5000; i += 2) act(Action::remove, {m}, {off, Ref::with(I(i))});
    EXPECT_EQ(length_of(m), 2500);
    for (int i = 0; i < 5000; i++) {
        const Cell got = select_in(m, I(i));
        if (i % 2) EXPECT_EQ(get_int(got), i * 2);
        else EXPECT_EQ(type_of(got), TypeId::none);
    }
}

}  // namespace
}  // namespace qor::test
