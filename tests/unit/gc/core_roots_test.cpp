// The booted runtime under collection: the symbol table, the global
// context, the ownership table and the cell pool are roots, and what they
// reach survives collections at every allocation.
#include <string>

#include "runtime/datatypes/none.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/memory/memstats.h"
#include "runtime/startup.h"
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
    }
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
    ASSERT_FALSE(collector::enabled());  // the boot leaves it off
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

}  // namespace
}  // namespace qor
