// The booted runtime under collection: the symbol table, the global
// context, the ownership table and the cell pool are roots, and what they
// reach survives collections at every allocation.
#include <string>

#include "runtime/datatypes/none.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/hash/hash_table.h"
#include "runtime/words/ownership.h"
#include "runtime/memory/memstats.h"
#include "app/startup.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "tests/unit/gc/gc_fixture.h"

namespace qor {
namespace {

class BootedGcTest : public ::testing::Test {
protected:
    void SetUp() override {
        rt::boot();
        rt::finish_boot();
        // Each test switches collections on where it wants them; the ones
        // that hold loose node ids in locals keep them off.
        switched_on_by_boot = collector::enabled();
        collector::set_enabled(false);
    }
    bool switched_on_by_boot = false;
    void TearDown() override {
        collector::set_enabled(false);
        collector::install_cycle(nullptr);
        memory::release_all();
    }
};

std::string text_of(const Cell& s) {
    std::string out;
    for (char32_t c : text_buffer::chars(s)) out += static_cast<char>(c);
    return out;
}

TEST_F(BootedGcTest, GlobalWordsTheirValuesAndSpellingsSurvive) {
    ASSERT_TRUE(switched_on_by_boot);  // the end of the boot switches it on
    collector::set_enabled(true);
#ifdef QOR_GC_STRESS
    constexpr int n = 300;
#else
    constexpr int n = 5000;
#endif
    uint32_t cycles = collector::cycle_count();
    for (int i = 0; i < n; i++) {
        std::string name = "gc-word-" + std::to_string(i);
        Cell word = word::load(name);
        collector::RootGuard word_guard(word);
        Cell text = none::value;
        collector::RootGuard text_guard(text);
        text_buffer::make(text);
        text_buffer::append_ascii(text, "value " + std::to_string(i));
        (void)test::make_text(200, 1, 0);  // garbage in between
        context::set(word, text);
    }
    collector::recycle();
    EXPECT_GT(collector::cycle_count(), cycles);
    for (int i = 0; i < n; i++) {
        std::string name = "gc-word-" + std::to_string(i);
        Cell word = word::load(name);
        EXPECT_EQ(symbol::spelling(word.w2), name);
        Cell* value = context::value_cell(word);
        ASSERT_EQ(type_of(*value), TypeId::string) << name;
        EXPECT_EQ(text_of(*value), "value " + std::to_string(i));
    }
    EXPECT_EQ(symbol::spelling(symbol::make("append")), "append");
}

// String forms of spellings are built on demand (each allocates, and wide
// ones widen); they hang off the symbol table and survive with it.
TEST_F(BootedGcTest, SpellingStringFormsSurvive) {
    collector::set_enabled(true);
    const std::string names[] = {"plain", "caf\xC3\xA9", "\xE2\x82\xAC-sign", "\xF0\x9F\x98\x80-face"};
    const std::u32string expected[] = {U"plain", U"caf\u00E9", U"\u20AC-sign", U"\U0001F600-face"};
    uint32_t ids[4];
    for (int i = 0; i < 4; i++) ids[i] = symbol::make(names[i]);
    for (uint32_t id : ids) (void)symbol::get(id);
    collector::recycle();
    for (int i = 0; i < 4; i++) {
        Cell form{to_int(TypeId::string), 0, symbol::entry(ids[i])->w2, 0};
        ASSERT_TRUE(test::alive(form.w2)) << names[i];
        EXPECT_EQ(text_buffer::chars(form), expected[i]);
        EXPECT_EQ(symbol::spelling(ids[i]), names[i]);
    }
}

TEST_F(BootedGcTest, WhatNoRootReachesIsStillCollected) {
    NodeId loose = test::make_text(100, 1, 1);
    Cell word = word::load("kept-by-a-word");
    NodeId held = test::make_text(100, 1, 2);
    Cell value = test::series_cell(TypeId::binary, held);
    context::set(word, value);
    collector::recycle();
    EXPECT_FALSE(test::alive(loose));
    EXPECT_TRUE(test::alive(held));
    EXPECT_TRUE(test::alive(symbol::block()));
    EXPECT_TRUE(test::alive(context::global()));
}

// The ownership table holds series weakly: an owned series lives as long as
// something else reaches it, and while it lives it keeps its owner alive.
TEST_F(BootedGcTest, OwnershipRecordsLastAsLongAsTheirSeries) {
    auto make_owner = [] {
        NodeId ctx = context::make(2, false, true, nullptr, context::Kind::object);
        Cell obj{to_int(TypeId::object), ctx, 1000001, 0};
        *context::self(ctx) = obj;
        context::add_word(ctx, symbol::make("f"));
        return obj;
    };
    auto field = [] { return word::load("f"); };
    auto records = [] { return hashtable::record(ownership::table()).size; };
    const int32_t before = records();

    // Held through the owner's field: both survive, the record stays.
    Cell kept_owner = make_owner();
    collector::RootGuard keep_owner(kept_owner);
    Cell kept_series = test::series_cell(TypeId::binary, test::make_text(50, 1, 3));
    *context::value_cell_at(kept_owner.w1, 0) = kept_series;
    ownership::own_deep(kept_series, kept_owner, field());

    // Owner and series reached by nothing: both go, with their record.
    NodeId lost_series;
    {
        Cell lost_owner = make_owner();
        collector::RootGuard g(lost_owner);
        Cell s = test::series_cell(TypeId::binary, test::make_text(50, 1, 4));
        lost_series = s.w2;
        *context::value_cell_at(lost_owner.w1, 0) = s;
        ownership::own_deep(s, lost_owner, field());
    }

    // The series is reached from a root while its owner is not: the record
    // keeps the owner.
    Cell rooted_series = test::series_cell(TypeId::binary, test::make_text(50, 1, 5));
    collector::RootGuard keep_rooted(rooted_series);
    NodeId orphan_ctx;
    {
        Cell orphan = make_owner();
        collector::RootGuard g(orphan);
        orphan_ctx = orphan.w1;
        ownership::own_deep(rooted_series, orphan, field());
    }
    ASSERT_EQ(records(), before + 3);

    collector::recycle();
    EXPECT_TRUE(test::alive(kept_series.w2));
    EXPECT_FALSE(test::alive(lost_series));
    EXPECT_TRUE(test::alive(orphan_ctx));
    EXPECT_EQ(records(), before + 2);
    ASSERT_NE(ownership::owner_of(rooted_series.w2), nullptr);
    EXPECT_EQ(ownership::owner_of(rooted_series.w2)->w1, orphan_ctx);

    // The owner lets go of its series: the series and its record go.
    *context::value_cell_at(kept_owner.w1, 0) = none::value;
    const NodeId dropped = kept_series.w2;
    collector::recycle();
    EXPECT_FALSE(test::alive(dropped));
    EXPECT_EQ(records(), before + 1);
}

}  // namespace
}  // namespace qor
