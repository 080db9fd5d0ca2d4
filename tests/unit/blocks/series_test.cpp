// The series actions every series type shares, on blocks, strings and
// binaries: navigation and clamping, pick and poke, clear, remove, reverse,
// take, copy and move.
#include "tests/unit/blocks/blocks_fixture.h"

namespace qor::test {

using SeriesTest = BlocksTest;

TEST_F(SeriesTest, AtAndSkipClampAndCountFromOne) {
    const Cell b = parse_block("1 2 3 4");
    struct Case { Action a; uint32_t from; int32_t n; uint32_t want; };
    const Case cases[] = {
        {Action::at, 0, 1, 0},   {Action::at, 0, 0, 0},   {Action::at, 2, -1, 1}, {Action::at, 0, 9, 4},
        {Action::at, 1, -9, 0},  {Action::skip, 1, 2, 3}, {Action::skip, 1, -5, 0}, {Action::skip, 0, 99, 4},
    };
    for (const Case& c : cases) {
        const Cell r = act(c.a, {at(b, c.from), I(c.n)});
        EXPECT_EQ(r.w1, c.want) << int(c.a) << " " << c.from << " " << c.n;
    }
    EXPECT_EQ(error_of([&] { act(Action::at, {b, W("x")}); }), "script/invalid-arg");
    EXPECT_EQ(act(Action::next, {at(b, 4)}).w1, 4u);
    EXPECT_EQ(act(Action::back, {at(b, 0)}).w1, 0u);
    EXPECT_EQ(act(Action::tail, {b}).w1, 4u);
    EXPECT_EQ(get_int(act(Action::index_q, {at(b, 2)})), 3);
}

TEST_F(SeriesTest, LengthOfAValuePastItsTailIsZero) {
    Cell b = parse_block("1 2 3 4");
    const Cell past = at(b, 3);
    act(Action::clear, {at(b, 1)});
    EXPECT_EQ(get_int(act(Action::length_q, {past})), 0);
    EXPECT_EQ(M(b), "[1]");
    EXPECT_TRUE(logic::get(act(Action::tail_q, {past})));
}

TEST_F(SeriesTest, PickAndPokeAddressFromThePosition) {
    const Cell b = parse_block("10 20 30");
    EXPECT_EQ(get_int(act(Action::pick, {at(b, 1), I(1)})), 20);
    EXPECT_EQ(get_int(act(Action::pick, {at(b, 1), I(-1)})), 10);
    EXPECT_EQ(type_of(act(Action::pick, {b, I(0)})), TypeId::none);
    EXPECT_EQ(type_of(act(Action::pick, {b, I(4)})), TypeId::none);
    EXPECT_EQ(error_of([&] { act(Action::poke, {b, I(0), I(1)}); }), "script/out-of-range");
    EXPECT_EQ(get_int(act(Action::poke, {b, I(2), I(99)})), 99);
    EXPECT_EQ(M(b), "[10 99 30]");

    const Cell s = S("abc");
    EXPECT_EQ(act(Action::pick, {s, I(2)}).w2, uint32_t('b'));
    act(Action::poke, {s, I(2), C(0x3A9)});  // widens the string
    EXPECT_EQ(text_of(s), "a\u03A9c");
    EXPECT_EQ(error_of([&] { act(Action::poke, {s, I(1), I(5)}); }), "script/invalid-arg");
    const Cell bin = B({1, 2, 3});
    EXPECT_EQ(get_int(act(Action::pick, {bin, I(3)})), 3);
}

TEST_F(SeriesTest, RemovePartAndKey) {
    Cell b = parse_block("1 2 3 4 5");
    act(Action::remove, {at(b, 1)}, {Ref::with(I(2))});
    EXPECT_EQ(M(b), "[1 4 5]");
    EXPECT_EQ(M(act(Action::remove, {b}, {Ref::with(I(0))})), "[1 4 5]");
    EXPECT_EQ(error_of([&] { act(Action::remove, {b}, {Ref::with(parse_block("1"))}); }),
              "script/invalid-refine-arg");
    Cell kv = parse_block("a 1 b 2 c 3");
    const Cell r = act(Action::remove, {kv}, {off, Ref::with(W("b"))});
    EXPECT_EQ(r.w1, 2u);
    EXPECT_EQ(M(kv), "[a 1 c 3]");
    EXPECT_EQ(type_of(act(Action::remove, {kv}, {off, Ref::with(W("z"))})), TypeId::none);
}

TEST_F(SeriesTest, ReverseWithSkipAndPart) {
    Cell b = parse_block("1 2 3 4 5 6");
    act(Action::reverse, {b}, {off, Ref::with(I(2))});
    EXPECT_EQ(M(b), "[5 6 3 4 1 2]");
    act(Action::reverse, {b}, {Ref::with(I(3))});
    EXPECT_EQ(M(b), "[3 6 5 4 1 2]");
    EXPECT_EQ(M(act(Action::reverse, {b}, {off, Ref::with(I(6))})), "[3 6 5 4 1 2]");
    EXPECT_EQ(error_of([&] { act(Action::reverse, {b}, {off, Ref::with(I(4))}); }), "script/invalid-refine-arg");
    EXPECT_EQ(error_of([&] { act(Action::reverse, {b}, {off, Ref::with(I(0))}); }), "script/out-of-range");
    Cell s = S("hello");
    act(Action::reverse, {s});
    EXPECT_EQ(text_of(s), "olleh");
}

TEST_F(SeriesTest, TakeTheItemThePartAndTheLast) {
    Cell b = parse_block("1 2 3 4 5");
    EXPECT_EQ(get_int(act(Action::take, {b})), 1);
    EXPECT_EQ(M(act(Action::take, {b}, {Ref::with(I(2))})), "[2 3]");
    EXPECT_EQ(M(act(Action::take, {b}, {off, off, Ref::on()})), "5");
    EXPECT_EQ(M(b), "[4]");
    Cell empty = parse_block("");
    EXPECT_EQ(type_of(act(Action::take, {empty})), TypeId::none);
    Cell c = parse_block("1 2 3 4 5");
    EXPECT_EQ(M(act(Action::take, {c}, {Ref::with(I(2)), off, Ref::on()})), "[4 5]");
    EXPECT_EQ(M(act(Action::take, {at(c, 2)}, {Ref::with(I(-2))})), "[1 2]");
    EXPECT_EQ(M(c), "[3]");
    // A position before the index with /last takes nothing.
    Cell d = parse_block("1 2 3");
    EXPECT_EQ(M(act(Action::take, {at(d, 2)}, {Ref::with(at(d, 1)), off, Ref::on()})), "[]");
    EXPECT_EQ(M(d), "[1 2 3]");
    Cell s = S("abc");
    EXPECT_EQ(act(Action::take, {s}).w2, uint32_t('a'));
    EXPECT_EQ(text_of(act(Action::take, {s}, {Ref::with(I(5))})), "bc");
}

// take/part with 0 takes nothing, wherever the position is.
TEST_F(SeriesTest, TakePartZeroTakesNothingAtAnyIndex) {
    for (uint32_t index : {0u, 1u, 3u}) {
        Cell b = parse_block("1 2 3 4");
        EXPECT_EQ(M(act(Action::take, {at(b, index)}, {Ref::with(I(0))})), "[]") << index;
        EXPECT_EQ(M(b), "[1 2 3 4]") << index;
    }
}

TEST_F(SeriesTest, CopyPartForwardBackwardAndByPair) {
    const Cell b = parse_block("1 2 3 4 5");
    EXPECT_EQ(M(act(Action::copy, {at(b, 1)})), "[2 3 4 5]");
    EXPECT_EQ(M(act(Action::copy, {at(b, 1)}, {Ref::with(I(2))})), "[2 3]");
    EXPECT_EQ(M(act(Action::copy, {at(b, 3)}, {Ref::with(I(-2))})), "[2 3]");
    EXPECT_EQ(M(act(Action::copy, {at(b, 1)}, {Ref::with(I(-5))})), "[1]");
    EXPECT_EQ(M(act(Action::copy, {b}, {Ref::with(at(b, 3))})), "[1 2 3]");
    Cell pair{to_int(TypeId::pair), 0, 2, 4};
    EXPECT_EQ(M(act(Action::copy, {b}, {Ref::with(pair)})), "[2 3]");
    EXPECT_EQ(M(act(Action::copy, {at(b, 9)})), "[]");
    EXPECT_EQ(text_of(act(Action::copy, {at(S("hello"), 1)}, {Ref::with(I(3))})), "ell");
}

// move within one series: forward lands after the item at the target,
// backward before it, to the tail at the end.
TEST_F(SeriesTest, MoveWithinOneSeries) {
    struct Case { const char* start; uint32_t from; uint32_t to; int32_t part; const char* want; };
    const Case cases[] = {
        {"1 2 3 4", 0, 2, 1, "[2 3 1 4]"},
        {"1 2 3 4", 0, 4, 1, "[2 3 4 1]"},
        {"1 2 3 4", 3, 1, 1, "[1 4 2 3]"},
        {"1 2 3 4 5", 0, 3, 2, "[3 4 1 2 5]"},
        {"1 2 3 4 5", 3, 0, 2, "[4 5 1 2 3]"},
        {"1 2 3 4", 1, 1, 1, "[1 2 3 4]"},
    };
    for (const Case& c : cases) {
        Cell b = parse_block(c.start);
        act(Action::move, {at(b, c.from), at(b, c.to)}, {Ref::with(I(c.part))});
        EXPECT_EQ(M(b), c.want) << c.start << " " << c.from << "->" << c.to;
    }
}

// A target inside the moved range is refused, and nothing changes.
TEST_F(SeriesTest, MoveIntoItsOwnRangeIsRefused) {
    for (uint32_t to : {1u, 2u}) {
        Cell b = parse_block("1 2 3 4 5");
        EXPECT_EQ(error_of([&] { act(Action::move, {b, at(b, to)}, {Ref::with(I(3))}); }), "script/invalid-arg");
        EXPECT_EQ(M(b), "[1 2 3 4 5]");
    }
}

TEST_F(SeriesTest, MoveAcrossSeriesAndTypes) {
    Cell a = parse_block("1 2 3");
    Cell b = parse_block("x y");
    act(Action::move, {a, at(b, 1)}, {Ref::with(I(2))});
    EXPECT_EQ(M(a), "[3]");
    EXPECT_EQ(M(b), "[x 1 2 y]");
    EXPECT_EQ(error_of([&] { act(Action::move, {a, S("s")}); }), "script/move-bad");
    EXPECT_EQ(error_of([&] { act(Action::move, {a, I(1)}); }), "script/expect-arg");
    Cell wide = S32(U"\u03A9!");
    Cell narrow = S("ab");
    act(Action::move, {wide, at(narrow, 1)});
    EXPECT_EQ(text_of(narrow), "a\u03A9b");
    EXPECT_EQ(text_of(wide), "!");
}

}  // namespace qor::test
