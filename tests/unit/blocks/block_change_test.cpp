// block! storage and change: append, insert, change, put, trim, swap,
// copy and take, the notices an owner hears, and a hash! index kept in step.
#include <functional>

#include "runtime/hash/hash_table.h"
#include "tests/unit/blocks/blocks_fixture.h"

namespace qor::test {

using BlockChangeTest = BlocksTest;

const Ref dup(int32_t n) { return Ref::with(I(n)); }

TEST_F(BlockChangeTest, AppendAndInsertWithPartOnlyAndDup) {
    Cell b = parse_block("x");
    const Cell r = act(Action::append, {b, parse_block("a b")}, {off, off, dup(3)});
    EXPECT_EQ(M(b), "[x a b a b a b]");
    EXPECT_EQ(r.w1, 0u);

    Cell c = parse_block("1 2");
    const Cell ins = act(Action::insert, {at(c, 1), parse_block("a b c")}, {Ref::with(I(2))});
    EXPECT_EQ(M(c), "[1 a b 2]");
    EXPECT_EQ(ins.w1, 3u);
    act(Action::append, {c, parse_block("q")}, {off, Ref::on()});
    EXPECT_EQ(M(c), "[1 a b 2 [q]]");
    // Nothing to add: the block is answered unchanged.
    EXPECT_EQ(act(Action::append, {at(c, 2), parse_block("")}).w1, 2u);
    EXPECT_EQ(M(c), "[1 a b 2 [q]]");
    act(Action::append, {c, I(7)}, {off, off, dup(0)});
    EXPECT_EQ(M(c), "[1 a b 2 [q]]");
}

// A block inserted into itself reads as it was before the change.
TEST_F(BlockChangeTest, InsertAndChangeFromTheSameBlock) {
    Cell b = parse_block("1 2 3");
    act(Action::insert, {at(b, 1), b});
    EXPECT_EQ(M(b), "[1 1 2 3 2 3]");
    Cell c = parse_block("1 2 3 4");
    act(Action::change, {c, at(c, 2)});
    EXPECT_EQ(M(c), "[3 4 3 4]");
}

TEST_F(BlockChangeTest, ChangeReplacesByPartAndAnswersAfterTheWrite) {
    Cell b = parse_block("1 2 3 4");
    const Cell r = act(Action::change, {at(b, 1), parse_block("a b c")}, {Ref::with(I(2))});
    EXPECT_EQ(M(b), "[1 a b c 4]");
    EXPECT_EQ(r.w1, 4u);
    struct Case { const char* start; uint32_t index; const char* value; int32_t part; int32_t dup; const char* want; };
    const Case cases[] = {
        {"1 2 3 4", 1, "a", -1, 1, "[1 a 3 4]"},
        {"1 2 3 4", 3, "a b c", -1, 1, "[1 2 3 a b c]"},
        {"1 2 3 4", 0, "a", 3, 1, "[a 4]"},
        {"1 2 3 4", 1, "a b", 1, 2, "[1 a b a b 3 4]"},
        {"1 2", 2, "a", -1, 1, "[1 2 a]"},
    };
    for (const Case& c : cases) {
        Cell blk = parse_block(c.start);
        act(Action::change, {at(blk, c.index), parse_block(c.value)},
            {c.part >= 0 ? Ref::with(I(c.part)) : off, off, c.dup != 1 ? dup(c.dup) : off});
        EXPECT_EQ(M(blk), c.want) << c.start << " / " << c.value;
    }
}

TEST_F(BlockChangeTest, PutTrimSwap) {
    Cell b = parse_block("a 1 b");
    EXPECT_EQ(get_int(act(Action::put, {b, W("a"), I(5)})), 5);
    act(Action::put, {b, W("b"), I(2)});
    act(Action::put, {b, W("c"), I(3)});
    EXPECT_EQ(M(b), "[a 5 b 2 c 3]");

    Cell t = K({I(1), none_v, I(2), none_v});
    act(Action::trim, {t});
    EXPECT_EQ(M(t), "[1 2]");

    Cell x = parse_block("1 2"), y = parse_block("a b");
    act(Action::swap, {at(x, 1), y});
    EXPECT_EQ(M(x), "[1 a]");
    EXPECT_EQ(M(y), "[2 b]");
    act(Action::swap, {at(x, 2), y});  // at its tail: nothing
    EXPECT_EQ(M(y), "[2 b]");
    EXPECT_EQ(error_of([&] { act(Action::swap, {x, I(1)}); }), "script/invalid-arg");
}

TEST_F(BlockChangeTest, CopyDeepAndTheCycleError) {
    Cell outer = parse_block("1 [2 [3]]");
    const Cell shallow = act(Action::copy, {outer});
    const Cell deep = act(Action::copy, {outer}, {off, Ref::on()});
    Cell* inner = block::cell_at(outer, 1);
    block::append_cell(*inner, I(9));
    EXPECT_EQ(M(shallow), "[1 [2 [3] 9]]");
    EXPECT_EQ(M(deep), "[1 [2 [3]]]");

    Cell cyclic = parse_block("1");
    block::append_cell(cyclic, cyclic);
    EXPECT_EQ(error_of([&] { act(Action::copy, {cyclic}, {off, Ref::on()}); }), "internal/no-cycle");
    EXPECT_EQ(cycle::depth(), 0);
    EXPECT_EQ(M(cyclic), "[1 [...]]");
}

TEST_F(BlockChangeTest, MakeAndTo) {
    const Cell made = act(Action::make, {T(TypeId::block), I(10)});
    EXPECT_EQ(M(made), "[]");
    EXPECT_GE(series::buffer(made.w2)->capacity_units(), 10u);
    EXPECT_EQ(M(act(Action::to, {T(TypeId::block), I(3)})), "[3]");
    EXPECT_EQ(type_of(act(Action::to, {T(TypeId::paren), parse_block("1 2")})), TypeId::paren);
    EXPECT_EQ(error_of([&] { act(Action::make, {T(TypeId::block), W("x")}); }), "script/bad-make-arg");
}

// --- Owners hear every change, the action word before and its past after ---------

struct Heard {
    uint32_t action;
    int32_t index, count;
};
std::vector<Heard> heard;
void hear(const Cell&, const Cell&, const Cell&, const Cell& action, const Cell*, int32_t index, int32_t count) {
    heard.push_back({action.w2, index, count});
}

TEST_F(BlockChangeTest, EveryChangeNotifiesTheOwner) {
    NodeId ctx = context::make(2, false, true, nullptr, context::Kind::object);
    context::add_word(ctx, symbol::make("f"));
    const Cell owner{to_int(TypeId::object), ctx, 1000001, 123};
    *context::self(ctx) = owner;
    ownership::install_on_deep_change(&hear);

    Cell b = parse_block("1 2 3 4");
    ownership::own_deep(b, owner, W("f"));
    struct Case { std::function<void()> run; Sym before, after; };
    const Case cases[] = {
        {[&] { act(Action::append, {b, I(5)}); }, Sym::append, Sym::appended},
        {[&] { act(Action::change, {b, I(0)}); }, Sym::change, Sym::changed},
        {[&] { act(Action::poke, {b, I(1), I(7)}); }, Sym::poke, Sym::poked},
        {[&] { act(Action::sort, {b}); }, Sym::sort, Sym::sorted},
        {[&] { act(Action::reverse, {b}); }, Sym::reverse, Sym::reversed},
        {[&] { act(Action::take, {b}); }, Sym::take, Sym::taken},
        {[&] { act(Action::move, {b, at(b, 2)}); }, Sym::move, Sym::moved},
        {[&] { act(Action::random, {b}); }, Sym::random, Sym::randomized},
        {[&] { act(Action::put, {b, I(100), I(1)}); }, Sym::put, Sym::put_ed},
        {[&] { act(Action::trim, {b}); }, Sym::trim, Sym::trimmed},
        {[&] { act(Action::clear, {at(b, 3)}); }, Sym::clear, Sym::cleared},
    };
    for (const Case& c : cases) {
        heard.clear();
        c.run();
        ASSERT_EQ(heard.size(), 2u) << symbol::spelling(c.before);
        EXPECT_EQ(heard[0].action, to_int(c.before));
        EXPECT_EQ(heard[1].action, to_int(c.after));
    }
    heard.clear();
    act(Action::remove, {b});
    act(Action::insert, {b, I(1)});
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].action, to_int(Sym::removed));
    EXPECT_EQ(heard[1].action, to_int(Sym::inserted));
    // A change that changes nothing, or is refused, tells nobody.
    heard.clear();
    act(Action::append, {b, parse_block("")});
    EXPECT_TRUE(heard.empty());
    EXPECT_NE(error_of([&] { act(Action::poke, {b, I(0), I(1)}); }), "");
    EXPECT_TRUE(heard.empty());
}

// --- A hash! index follows every change ------------------------------------------------

class HashIndexTest : public BlocksTest {
protected:
    // A hash! of the block's cells with its own index.
    static Cell hash_of(const char* text) {
        Cell h = parse_block(text);
        set_header(h, TypeId::hash);
        h.w3 = hashtable::init(int32_t(block::length_at(h)), &h, hashtable::Kind::hash, 0);
        return h;
    }
    // Every cell is found through the index at its first position.
    static void expect_in_step(const Cell& h) {
        const uint32_t n = series::buffer(h.w2)->length();
        for (uint32_t i = 0; i < n; i++) {
            const Cell key = *block::cell_at(h, i);
            uint32_t first = i;
            for (uint32_t j = 0; j < i; j++)
                if (actions::compare_order(*block::cell_at(h, j), key, CompareOp::find_key) == 0) first = j;
            if (first != i) continue;
            EXPECT_EQ(hashtable::find(h.w3, key), int32_t(i)) << M(h) << " cell " << i;
        }
    }
};

TEST_F(HashIndexTest, IndexFollowsEveryChange) {
    Cell h = hash_of("a b c d e f");
    act(Action::insert, {at(h, 1), parse_block("x y")});
    expect_in_step(h);
    act(Action::remove, {at(h, 2)}, {Ref::with(I(2))});
    expect_in_step(h);
    act(Action::poke, {h, I(1), W("z")});
    expect_in_step(h);
    act(Action::change, {at(h, 2), parse_block("p q r")});
    expect_in_step(h);
    act(Action::move, {h, at(h, 4)});
    expect_in_step(h);
    act(Action::reverse, {h});
    expect_in_step(h);
    act(Action::sort, {h});
    act(Action::take, {h});
    expect_in_step(h);
    act(Action::append, {h, parse_block("m n")});
    expect_in_step(h);
    Cell other = parse_block("1 2");
    act(Action::move, {at(h, 1), at(other, 1)}, {Ref::with(I(2))});
    expect_in_step(h);
    act(Action::clear, {at(h, 2)});
    expect_in_step(h);
    EXPECT_EQ(type_of(act(Action::find, {h, W("m")})), TypeId::none);
    const Cell found = act(Action::find, {h, *block::cell_at(h, 1)});
    EXPECT_EQ(found.w1, 1u);
}

// Growing past the table's room rebuilds it part-way through an insert.
TEST_F(HashIndexTest, IndexFollowsGrowth) {
    Cell h = hash_of("a b");
    std::string many;
    for (int i = 0; i < 60; i++) many += std::to_string(i) + " ";
    act(Action::append, {h, parse_block(many)});
    expect_in_step(h);
    act(Action::insert, {at(h, 1), parse_block("p q r s t u v w x y z")}, {off, off, dup(5)});
    expect_in_step(h);
    EXPECT_EQ(series::buffer(h.w2)->length(), 117u);
    // Removed keys are gone from the index, not just shadowed.
    Cell last = at(h, 116);
    const Cell key = *block::cell_at(h, 116);
    act(Action::remove, {last});
    EXPECT_EQ(type_of(act(Action::find, {h, key})), TypeId::none) << M(key);
    expect_in_step(h);
}

}  // namespace qor::test

namespace qor::test {

TEST_F(BlockChangeTest, RuntimeHelpers) {
    Cell b = parse_block("a 1 b 2");
    EXPECT_TRUE(block::remove_value(at(b, 2), W("a"), true));
    EXPECT_EQ(M(b), "[1 b 2]");
    EXPECT_FALSE(block::remove_value(b, W("q"), true));
    Cell target = at(parse_block("x y"), 1);
    block::make_in(target, 3);
    EXPECT_EQ(M(at(target, 0)), "[x y []]");
    EXPECT_EQ(get_int(*block::find_word(parse_block("A 5"), W("a"), false)), 5);
    EXPECT_EQ(type_of(*block::find_word(parse_block("A 5"), W("a"), true)), TypeId::none);
}

TEST_F(BlockChangeTest, ReflectAndModifyOwnership) {
    NodeId ctx = context::make(2, false, true, nullptr, context::Kind::object);
    context::add_word(ctx, symbol::make("f"));
    const Cell owner{to_int(TypeId::object), ctx, 1000001, 123};
    *context::self(ctx) = owner;
    Cell b = parse_block("1 2");
    EXPECT_EQ(type_of(act(Action::reflect, {b, W("owned")})), TypeId::none);
    act(Action::modify, {b, W("owned"), K({owner, W("f")})}, {off});
    EXPECT_EQ(act(Action::reflect, {b, W("owned")}).w1, ctx);
    act(Action::modify, {b, W("owned"), none_v}, {off});
    EXPECT_EQ(type_of(act(Action::reflect, {b, W("owned")})), TypeId::none);
    EXPECT_EQ(error_of([&] { act(Action::reflect, {b, W("spec")}); }), "internal/not-done");
}

}  // namespace qor::test
