// Ownership tracking: change notices with their word pairs, owners kept and
// cleared through nested and shared series.
#include <chrono>
#include <vector>

#include "tests/unit/words/words_fixture.h"

namespace qor {
namespace {

using test::WordsTest;

struct Notice {
    uint32_t owner_ctx;
    uint32_t field;
    uint32_t target;
    uint32_t action;
    bool has_new;
    int32_t index;
    int32_t count;
};
std::vector<Notice> notices;

void record_notice(const Cell& owner, const Cell& word, const Cell& target, const Cell& action,
                   const Cell* new_value, int32_t index, int32_t count) {
    notices.push_back({owner.w1, word.w2, target.w2, action.w2, new_value != nullptr, index, count});
}

class OwnershipTest : public WordsTest {
protected:
    void SetUp() override {
        WordsTest::SetUp();
        notices.clear();
        ownership::install_on_deep_change(&record_notice);
    }

    // An object with a field `f`; with `handlers` its class has change
    // handlers (an on-change record).
    Cell object(bool handlers) {
        NodeId ctx = context::make(2, false, true, nullptr, context::Kind::object);
        context::add_word(ctx, symbol::make("f"));
        Cell obj{to_int(TypeId::object), ctx, 1000001, handlers ? 123u : 0u};
        *context::self(ctx) = obj;
        return obj;
    }
    Cell field() { return word_of("f"); }
};

// Appends a cell to a block the way a modifying action does: announced
// before with the action word and after with its past tense.
void append_announced(const Cell& blk, const Cell& value) {
    const uint32_t at = series::buffer(blk.w2)->length();
    const bool owned = ownership::before(blk, ownership::Change::append, &value, static_cast<int32_t>(at), 1);
    series::Buffer* b = series::buffer(blk.w2);
    if (b->room_units() == 0) b = series::expand_copy(blk.w2, b->capacity ? 0 : 4 * series::cell_unit);
    *reinterpret_cast<Cell*>(b->tail_ptr()) = value;
    b->tail += series::cell_unit;
    if (owned) ownership::after(blk, ownership::Change::append, &value, static_cast<int32_t>(at), 1);
}

TEST_F(OwnershipTest, OwnedBlockReportsEveryChangeBeforeAndAfter) {
    const Cell owner = object(true);
    const Cell str = block({});
    const Cell blk = block({integer(1), str});
    ownership::own_deep(blk, owner, field());

    append_announced(blk, integer(2));
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].action, to_int(Sym::append));
    EXPECT_EQ(notices[1].action, to_int(Sym::appended));
    for (const Notice& n : notices) {
        EXPECT_EQ(n.owner_ctx, owner.w1);
        EXPECT_EQ(n.field, symbol::make("f"));
        EXPECT_EQ(n.target, blk.w2);
        EXPECT_TRUE(n.has_new);
        EXPECT_EQ(n.index, 2);
        EXPECT_EQ(n.count, 1);
    }
    // A nested series reports to the same owner with the outer field word.
    notices.clear();
    append_announced(str, integer(3));
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].target, str.w2);
    EXPECT_EQ(notices[0].field, symbol::make("f"));

    // Every change kind, through its words; insert and remove are only
    // reported after, case changes and set-path only before.
    using ownership::Change;
    for (Change c : {Change::change, Change::clear, Change::append, Change::move, Change::poke, Change::put,
                     Change::random, Change::reverse, Change::sort, Change::swap, Change::take, Change::trim,
                     Change::insert, Change::remove, Change::uppercase, Change::lowercase, Change::set_path}) {
        notices.clear();
        const auto words = ownership::words_of(c);
        const bool found = ownership::before(blk, c, nullptr, 0, 1);
        EXPECT_TRUE(found);
        ownership::after(blk, c, nullptr, 0, 1);
        std::vector<uint32_t> expected;
        if (words.before != Sym::none_) expected.push_back(to_int(words.before));
        if (words.after != Sym::none_) expected.push_back(to_int(words.after));
        ASSERT_EQ(notices.size(), expected.size());
        for (size_t i = 0; i < expected.size(); i++) EXPECT_EQ(notices[i].action, expected[i]);
    }
    EXPECT_EQ(ownership::words_of(Change::swap).after, Sym::swaped);
    EXPECT_EQ(ownership::words_of(Change::put).after, Sym::put_ed);
}

TEST_F(OwnershipTest, OwnersWithoutHandlersUnownedAndClearedSeriesStayQuiet) {
    const Cell quiet = object(false);
    const Cell blk = block({integer(1)});
    ownership::own_deep(blk, quiet, field());
    ASSERT_NE(ownership::owner_of(blk.w2), nullptr);  // the record exists...
    EXPECT_FALSE(ownership::before(blk, ownership::Change::append, nullptr, 0, 1));  // ...but nobody listens
    EXPECT_FALSE(ownership::check(blk, word::of(Sym::append), nullptr, 0, 1));

    // The first owner is kept.
    const Cell loud = object(true);
    ownership::own_deep(blk, loud, field());
    EXPECT_EQ(ownership::owner_of(blk.w2)->w1, quiet.w1);

    const Cell other = block({block({})});
    ownership::own_deep(other, loud, field());
    const Cell inner = *cell_at(other, 0);
    EXPECT_TRUE(ownership::before(inner, ownership::Change::clear, nullptr, 0, 0));
    ownership::clear_deep(other);
    EXPECT_EQ(ownership::owner_of(other.w2), nullptr);
    EXPECT_EQ(ownership::owner_of(inner.w2), nullptr);
    notices.clear();
    EXPECT_FALSE(ownership::before(inner, ownership::Change::clear, nullptr, 0, 0));
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(series::buffer(inner.w2)->flags & ownership::owned_series_flag, 0u);
}

TEST_F(OwnershipTest, SelfContainingBlocksAndObjectsThatOwnThemselves) {
    const Cell owner = object(true);
    Cell blk = block({integer(1), unset_cell});
    *cell_at(blk, 1) = blk;
    ownership::own_deep(blk, owner, field());
    EXPECT_NE(ownership::owner_of(blk.w2), nullptr);
    ownership::clear_deep(blk);
    EXPECT_EQ(ownership::owner_of(blk.w2), nullptr);
    EXPECT_EQ(cycle::depth(), 0);

    // A nested object that owns its own series keeps them.
    const Cell inner_owner = object(true);
    const Cell inner_series = block({});
    ownership::set_deep_owned(inner_series, inner_owner, field());
    *context::value_cell_at(inner_owner.w1, 0) = inner_series;
    const Cell outer_series = block({inner_owner});
    ownership::own_deep(outer_series, owner, field());
    EXPECT_EQ(ownership::owner_of(inner_series.w2)->w1, inner_owner.w1);
    EXPECT_EQ(ownership::owner_of(outer_series.w2)->w1, owner.w1);

    // An object's fields are owned with their own field words.
    const Cell plain = object(false);
    const Cell held = block({});
    *context::value_cell_at(plain.w1, 0) = held;
    ownership::own_deep(plain, owner, field());
    EXPECT_EQ(ownership::owner_of(held.w2)->w1, owner.w1);
    EXPECT_EQ((ownership::owner_of(held.w2) + 1)->w2, symbol::make("f"));
}

TEST_F(OwnershipTest, SharedSubBlocksAreWalkedOnce) {
    // Forty levels, each block holding the next one eight times: walking
    // every path would take 8^40 steps.
    Cell level = block({integer(0)});
    std::vector<Cell> levels{level};
    for (int i = 0; i < 40; i++) {
        level = block({level, level, level, level, level, level, level, level});
        levels.push_back(level);
    }
    const Cell owner = object(true);
    const auto start = std::chrono::steady_clock::now();
    ownership::own_deep(level, owner, field());
    ownership::clear_deep(level);
    ownership::own_deep(level, owner, field());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    for (const Cell& l : levels) EXPECT_NE(ownership::owner_of(l.w2), nullptr);
    EXPECT_EQ(cycle::depth(), 0);
}

}  // namespace
}  // namespace qor
