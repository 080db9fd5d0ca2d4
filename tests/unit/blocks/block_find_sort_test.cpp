// block! find and select, sort in its forms (records, offsets, whole
// records, stable and not, a comparator function) and compare.
#include "tests/unit/blocks/blocks_fixture.h"

namespace qor::test {

using BlockFindTest = BlocksTest;
using BlockSortTest = BlocksTest;

// find's refinements, in interface order.
struct FindRefs {
    Ref part = off, only = off, case_ = off, same = off, any = off, with = off, skip = off, last = off,
        reverse = off, tail = off, match = off;
};
Cell find(const Cell& s, const Cell& v, const FindRefs& r = {}) {
    return act(Action::find, {s, v},
               {r.part, r.only, r.case_, r.same, r.any, r.with, r.skip, r.last, r.reverse, r.tail, r.match});
}
// The index found, -1 for none.
int64_t found(const Cell& r) { return type_of(r) == TypeId::none ? -1 : int64_t(r.w1); }

TEST_F(BlockFindTest, SequencesOnlyTailMatch) {
    const Cell b = parse_block("a b c");
    const Cell bc = parse_block("b c");
    EXPECT_EQ(found(find(b, bc)), 1);
    EXPECT_EQ(found(find(b, bc, {.only = Ref::on()})), -1);
    EXPECT_EQ(found(find(parse_block("a [b c]"), bc, {.only = Ref::on()})), 1);
    EXPECT_EQ(found(find(b, bc, {.tail = Ref::on()})), 3);
    EXPECT_EQ(found(find(b, bc, {.match = Ref::on()})), -1);
    EXPECT_EQ(found(find(at(b, 1), bc, {.match = Ref::on()})), 1);
    EXPECT_EQ(found(find(b, parse_block("c d"))), -1);
    EXPECT_EQ(found(find(b, W("b"), {.tail = Ref::on()})), 2);
}

TEST_F(BlockFindTest, DirectionSkipPartAndTypes) {
    const Cell b = parse_block("1 a 2 a 3 a");
    struct Case { Cell value; FindRefs refs; uint32_t from; int64_t want; };
    const Case cases[] = {
        {W("a"), {}, 0, 1},
        {W("a"), {.last = Ref::on()}, 0, 5},
        {W("a"), {.last = Ref::on()}, 5, 5},  // /last searches the whole buffer
        {W("a"), {.reverse = Ref::on()}, 6, 5},
        {W("a"), {.reverse = Ref::on()}, 3, 1},
        {W("a"), {}, 6, -1},
        {W("a"), {.skip = Ref::with(I(2))}, 0, -1},
        {W("a"), {.skip = Ref::with(I(2))}, 1, 1},
        {I(3), {.part = Ref::with(I(4))}, 0, -1},
        {I(3), {.part = Ref::with(I(5))}, 0, 4},
        {T(TypeId::integer), {}, 1, 2},
        {T(TypeId::word), {.only = Ref::on()}, 0, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(found(find(at(b, c.from), c.value, c.refs)), c.want) << M(c.value);
    EXPECT_EQ(error_of([&] { find(b, W("a"), {.skip = Ref::with(I(0))}); }), "script/out-of-range");
    EXPECT_EQ(error_of([&] { find(b, W("a"), {.skip = Ref::with(W("x"))}); }), "script/invalid-refine-arg");
}

TEST_F(BlockFindTest, CaseAndWordsIgnoreCaseByDefault) {
    const Cell b = parse_block("x Abc y");
    EXPECT_EQ(found(find(b, W("abc"))), 1);
    EXPECT_EQ(found(find(b, W("abc"), {.case_ = Ref::on()})), -1);
    EXPECT_EQ(found(find(b, I(1))), -1);
}

TEST_F(BlockFindTest, SelectAnswersTheValueAfter) {
    const Cell b = parse_block("a 1 b 2 c");
    EXPECT_EQ(get_int(act(Action::select, {b, W("b")})), 2);
    EXPECT_EQ(type_of(act(Action::select, {b, W("c")})), TypeId::none);
    EXPECT_EQ(M(act(Action::select, {b, parse_block("a 1")})), "b");
}

TEST_F(BlockFindTest, PathStepsGetAndSet) {
    Cell b = parse_block("a 1 b 2 c");
    actions::EvalPathArgs args{};
    Cell parent = b, element = W("b");
    args.parent = &parent;
    args.element = &element;
    EXPECT_EQ(get_int(*block::eval_path(args)), 2);
    element = W("c");
    EXPECT_EQ(type_of(*block::eval_path(args)), TypeId::none);
    element = I(2);
    EXPECT_EQ(get_int(*block::eval_path(args)), 1);
    Cell nine = I(9);
    args.value = &nine;
    element = W("a");
    block::eval_path(args);
    EXPECT_EQ(M(b), "[a 9 b 2 c]");
    element = W("zz");
    EXPECT_EQ(error_of([&] { block::eval_path(args); }), "script/bad-path-set");
    element = W("c");
    EXPECT_EQ(error_of([&] { block::eval_path(args); }), "script/out-of-range");
    EXPECT_EQ(M(b), "[a 9 b 2 c]");
}

// sort's refinements, in interface order.
struct SortRefs {
    Ref case_ = off, skip = off, compare = off, part = off, all = off, reverse = off, stable = off;
};
Cell sort(const Cell& s, const SortRefs& r = {}) {
    return act(Action::sort, {s}, {r.case_, r.skip, r.compare, r.part, r.all, r.reverse, r.stable});
}

TEST_F(BlockSortTest, IntegersWordsAndMixedTypes) {
    Cell b = parse_block("5 3 9 1 3");
    sort(b);
    EXPECT_EQ(M(b), "[1 3 3 5 9]");
    sort(b, {.reverse = Ref::on()});
    EXPECT_EQ(M(b), "[9 5 3 3 1]");
    Cell w = parse_block("pear Apple fig");
    sort(w);
    EXPECT_EQ(M(w), "[Apple fig pear]");
    // Types with no order between them sort by type id: string! before integer!.
    Cell mixed = K({I(2), S("a"), I(1)});
    sort(mixed);
    EXPECT_EQ(type_of(*block::cell_at(mixed, 0)), TypeId::string);
    EXPECT_EQ(get_int(*block::cell_at(mixed, 1)), 1);
    EXPECT_EQ(get_int(*block::cell_at(mixed, 2)), 2);
    EXPECT_EQ(M(mixed), "[\"a\" 1 2]");
}

TEST_F(BlockSortTest, RecordsStableAndNot) {
    Cell b = parse_block("3 a 2 b 2 c 1 d");
    sort(b, {.skip = Ref::with(I(2))});
    EXPECT_EQ(M(b), "[1 d 2 c 2 b 3 a]");
    Cell s = parse_block("3 a 2 b 2 c 1 d");
    sort(s, {.skip = Ref::with(I(2)), .stable = Ref::on()});
    EXPECT_EQ(M(s), "[1 d 2 b 2 c 3 a]");
    Cell by_second = parse_block("b 2 a 1");
    sort(by_second, {.skip = Ref::with(I(2))});
    EXPECT_EQ(M(by_second), "[a 1 b 2]");
    Cell c = parse_block("x 2 y 1");
    sort(c, {.skip = Ref::with(I(2)), .compare = Ref::with(I(2))});
    EXPECT_EQ(M(c), "[y 1 x 2]");
    Cell all = parse_block("1 b 1 a");
    sort(all, {.skip = Ref::with(I(2)), .all = Ref::on()});
    EXPECT_EQ(M(all), "[1 a 1 b]");
}

TEST_F(BlockSortTest, PartForwardAndBackward) {
    Cell b = parse_block("4 3 2 1");
    sort(b, {.part = Ref::with(I(2))});
    EXPECT_EQ(M(b), "[3 4 2 1]");
    const Cell r = sort(at(b, 3), {.part = Ref::with(I(-2))});
    EXPECT_EQ(r.w1, 1u);
    EXPECT_EQ(M(b), "[3 2 4 1]");
}

TEST_F(BlockSortTest, RefinementErrorsLeaveTheBlock) {
    Cell b = parse_block("3 1 2");
    struct Case { SortRefs refs; const char* error; };
    const Case cases[] = {
        {{.all = Ref::on()}, "script/bad-refines"},
        {{.skip = Ref::with(I(2))}, "script/invalid-refine-arg"},
        {{.skip = Ref::with(I(0))}, "script/invalid-refine-arg"},
        {{.compare = Ref::with(I(1))}, "script/bad-refines"},
        {{.skip = Ref::with(I(3)), .compare = Ref::with(I(4))}, "script/out-of-range"},
        {{.compare = Ref::with(W("x"))}, "script/invalid-refine-arg"},
    };
    for (const Case& c : cases) EXPECT_EQ(error_of([&] { sort(b, c.refs); }), c.error);
    EXPECT_EQ(M(b), "[3 1 2]");
}

// A comparator function answers true when its first argument comes first.
// The evaluator's call is stood in for by a C++ comparison of integers (of
// the first cells, for whole records).
int calls = 0;
Cell less_than(const Cell&, const Cell& first, const Cell& second) {
    calls++;
    auto key = [](const Cell& v) { return type_of(v) == TypeId::block ? get_int(*block::cell_at(v, v.w1)) : get_int(v); };
    return L(key(first) < key(second));
}

TEST_F(BlockSortTest, ComparatorFunctionThroughTheHook) {
    const Cell fn{to_int(TypeId::function), 0, 0, 0};
    Cell b = parse_block("3 1 2");
    EXPECT_EQ(error_of([&] { sort(b, {.compare = Ref::with(fn)}); }), "internal/not-done");
    block::install_comparator_call(&less_than);
    sort(b, {.compare = Ref::with(fn)});
    EXPECT_EQ(M(b), "[1 2 3]");
    sort(b, {.compare = Ref::with(fn), .reverse = Ref::on()});
    EXPECT_EQ(M(b), "[3 2 1]");
    // Equal records keep their order under /stable, whole records as blocks.
    Cell r = parse_block("3 a 1 b 3 c 1 d");
    sort(r, {.skip = Ref::with(I(2)), .compare = Ref::with(fn), .all = Ref::on(), .stable = Ref::on()});
    EXPECT_EQ(M(r), "[1 b 1 d 3 a 3 c]");
    calls = 0;
    Cell one = parse_block("1");
    sort(one, {.compare = Ref::with(fn)});
    EXPECT_EQ(calls, 0);
}

TEST_F(BlockSortTest, CompareBlocks) {
    const Cell a = parse_block("1 2"), b = parse_block("1 2 3"), c = parse_block("1 2");
    EXPECT_FALSE(actions::compare(a, b, CompareOp::equal));
    EXPECT_TRUE(actions::compare(a, b, CompareOp::lesser));
    EXPECT_TRUE(actions::compare(a, c, CompareOp::equal));
    EXPECT_FALSE(actions::compare(a, c, CompareOp::same));
    EXPECT_TRUE(actions::compare(a, a, CompareOp::same));
    EXPECT_TRUE(actions::compare(parse_block("1 b"), parse_block("1 a"), CompareOp::greater));
    EXPECT_TRUE(actions::compare(parse_block(""), parse_block("1"), CompareOp::lesser));
    const Cell p = typed(parse_block("a b"), TypeId::path), lp = typed(parse_block("a b"), TypeId::lit_path);
    EXPECT_EQ(block::compare(&p, &lp, CompareOp::equal_series), 0);
    EXPECT_EQ(block::compare(&p, &lp, CompareOp::equal), -2);
    // A block inside itself compares without recursing forever.
    Cell x = parse_block("1"), y = parse_block("1");
    block::append_cell(x, x);
    block::append_cell(y, y);
    EXPECT_TRUE(actions::compare(x, y, CompareOp::equal));
}

}  // namespace qor::test
