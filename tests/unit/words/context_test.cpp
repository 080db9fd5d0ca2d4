// Contexts: the global context's shared slots for case variants, binding,
// setting and reading bound words, and their errors.
#include "tests/unit/words/words_fixture.h"

namespace qor {
namespace {

using test::error_of;
using test::WordsTest;

TEST_F(WordsTest, CaseVariantsShareOneGlobalWord) {
    // Loaded as text the lexer's way (by alias) and the start-up way.
    Cell lower = word_of("abc");
    Cell upper = word_of("ABC");
    EXPECT_NE(lower.w2, upper.w2);  // each keeps its own spelling
    EXPECT_EQ(lower.w1, context::global());
    EXPECT_EQ(upper.w1, context::global());
    EXPECT_EQ(lower.w3, upper.w3);
    EXPECT_EQ(word::load("Abc").w3, lower.w3);
    EXPECT_EQ(word::load("Abc").w2, symbol::make("Abc"));

    context::set(upper, integer(42));
    EXPECT_EQ(get_int(*context::value_cell(lower)), 42);

    // A variant loaded first keeps the slot for the later canonical lookups.
    Cell first = word::load("XyZ");
    Cell later = word_of("xyz");
    EXPECT_EQ(first.w3, later.w3);
}

TEST_F(WordsTest, BindingChangesOnlyTheWordsTheContextHolds) {
    NodeId ctx = keep_node(context::make(4, false, false, nullptr, context::Kind::object));
    const int32_t a_index = context::add_word(ctx, symbol::make("a"));
    const Cell b_before = word_of("b");
    Cell inner = block({word_of("A", TypeId::set_word), word_of("b", TypeId::get_word)});
    Cell path = block({word_of("a"), word_of("b")});
    path.header = to_int(TypeId::path);
    Cell issue = word::issue("a");
    Cell blk = block({word_of("a"), word_of("A", TypeId::lit_word), b_before, inner, path, issue,
                      word_of("a", TypeId::refinement)});

    context::bind(blk, ctx, false);
    for (uint32_t i : {0u, 1u, 6u}) {
        EXPECT_EQ(cell_at(blk, i)->w1, ctx) << i;
        EXPECT_EQ(word::index_of(*cell_at(blk, i)), a_index) << i;
    }
    EXPECT_EQ(cell_at(blk, 2)->w1, b_before.w1);
    EXPECT_EQ(cell_at(blk, 2)->w3, b_before.w3);
    EXPECT_EQ(cell_at(inner, 0)->w1, ctx);                 // nested block
    EXPECT_EQ(cell_at(inner, 1)->w1, context::global());  // b untouched
    EXPECT_EQ(cell_at(path, 0)->w1, ctx);                  // paths too
    EXPECT_EQ(cell_at(blk, 5)->w1, context::global());    // issues are left alone
    EXPECT_EQ(context::word_count(ctx), 1u);               // nothing added
    // Setting through a bound word writes the context's slot only.
    context::set(*cell_at(blk, 1), integer(7));
    EXPECT_EQ(get_int(*context::value_cell_at(ctx, static_cast<uint32_t>(a_index))), 7);
    EXPECT_EQ(type_of(*context::value_cell(word_of("a"))), TypeId::unset);
}

TEST_F(WordsTest, BindingSelfAndSelfContainingBlocks) {
    NodeId ctx = keep_node(context::make(2, false, true, nullptr, context::Kind::object));
    context::add_word(ctx, symbol::make("self"));
    *context::self(ctx) = Cell{to_int(TypeId::object), ctx, 1000001, 0};
    Cell blk = block({word_of("self"), word_of("self", TypeId::set_word), unset_cell});
    *cell_at(blk, 2) = blk;  // the block holds itself
    context::bind(blk, ctx, true);
    EXPECT_EQ(word::index_of(*cell_at(blk, 0)), -1);
    EXPECT_EQ(cell_at(blk, 0)->w1, ctx);
    EXPECT_EQ(type_of(*context::value_cell(*cell_at(blk, 0))), TypeId::object);
    EXPECT_EQ(word::index_of(*cell_at(blk, 1)), 0);  // a set-word is bound by symbol
    EXPECT_EQ(cycle::depth(), 0);
}

TEST_F(WordsTest, TooDeepNestingRaisesAndKeepsTheOuterCycleEntries) {
    Cell outer = block({});
    Cell deepest = block({word_of("a")});
    Cell current = deepest;
    for (int i = 0; i < 1200; i++) current = block({current});
    NodeId ctx = keep_node(context::make(1, false, false, nullptr, context::Kind::object));
    context::add_word(ctx, symbol::make("a"));
    cycle::push(outer.w2);  // an enclosing walk is under way
    EXPECT_EQ(error_of([&] { context::bind(current, ctx, false); }), "9/too-deep");
    EXPECT_EQ(cycle::depth(), 1);
    EXPECT_TRUE(cycle::find(outer.w2));
    cycle::pop();
}

TEST_F(WordsTest, SettingAndReadingWords) {
    NodeId ctx = keep_node(context::make(0, false, false, nullptr, context::Kind::object));
    // An unbound word set in a context that lacks it is added and bound.
    Cell w = word::make_cell(TypeId::word, ctx, symbol::make("fresh"), -1);
    context::set(w, integer(5));
    EXPECT_EQ(word::index_of(w), 0);
    EXPECT_EQ(context::word_count(ctx), 1u);
    EXPECT_EQ(get_int(*context::value_cell(w)), 5);
    // Object contexts mark assigned fields.
    EXPECT_NE(context::word_at(ctx, 0)->header & cell_flag::changed, 0u);

    struct Case {
        Cell word;
        std::string expected;
    };
    NodeId function_ctx = keep_node(context::make(1, true, false, nullptr, context::Kind::function));
    context::add_word(function_ctx, symbol::make("arg"));
    const Case reads[] = {
        {word::make_cell(TypeId::word, context::global(), symbol::make("loose"), -1), "3/no-value"},
        {word::make_cell(TypeId::word, function_ctx, symbol::make("arg"), 0), "3/not-in-context"},
        {words::keyword(Sym::local), "3/no-value"},
    };
    for (const Case& c : reads) EXPECT_EQ(error_of([&] { (void)context::value_cell(c.word); }), c.expected);
    Cell arg = word::make_cell(TypeId::word, function_ctx, symbol::make("arg"), 0);
    EXPECT_EQ(error_of([&] { context::set(arg, integer(1)); }), "3/not-defined");
    Cell loose_refinement = words::keyword(Sym::with_);
    EXPECT_EQ(error_of([&] { context::set(loose_refinement, integer(1)); }), "3/not-defined");

    // A running function's values live on the data stack, by index.
    Cell* frame = stack::push(integer(99));
    context::header(function_ctx)->w2 = context::stack_values_ref(static_cast<uint32_t>(frame - stack::data.bottom));
    EXPECT_EQ(get_int(*context::value_cell(arg)), 99);
    context::set(arg, integer(3));
    EXPECT_EQ(get_int(*frame), 3);
    context::header(function_ctx)->w2 = 0;
    stack::pop();

    // word/get refuses unset values.
    Cell unset_word = word_of("never-set");
    EXPECT_EQ(error_of([&] { word::get(unset_word); }), "3/no-value");
}

TEST_F(WordsTest, ObjectChangeHandlerSeesOldAndNew) {
    NodeId ctx = keep_node(context::make(2, false, true, nullptr, context::Kind::object));
    const int32_t f = context::add_word(ctx, symbol::make("f"));
    Cell field = *context::word_at(ctx, static_cast<uint32_t>(f));
    context::set(field, integer(1));  // no record yet: stored without a handler
    *context::self(ctx) = Cell{to_int(TypeId::object), ctx, 1000001, 77};

    static int calls;
    static Cell seen[3];
    calls = 0;
    context::install_fire_on_change([](const Cell&, const Cell& word, const Cell& old_value, const Cell& new_value) {
        calls++;
        seen[0] = word, seen[1] = old_value, seen[2] = new_value;
        stack::push(integer(-1));  // a handler leaves things on the stack
    });
    Cell* top = stack::data.top;
    context::set(field, integer(2));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen[0].w2, symbol::make("f"));
    EXPECT_EQ(get_int(seen[1]), 1);
    EXPECT_EQ(get_int(seen[2]), 2);
    EXPECT_EQ(stack::data.top, top);
    context::set_word_value(field, integer(3), ctx, false);  // events off
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(get_int(*context::value_cell(field)), 3);
}

TEST_F(WordsTest, ContextsFromSpecsAndSetWords) {
    Cell spec = block({word_of("a"), word_of("b", TypeId::lit_word), word_of("A", TypeId::get_word),
                       word_of("c", TypeId::refinement), integer(1), word_of("d", TypeId::set_word)});
    NodeId ctx = keep_node(context::make_from_spec(spec, false, false, context::Kind::function));
    EXPECT_EQ(context::word_count(ctx), 3u);  // a (and A), b, c
    EXPECT_EQ(series::buffer(context::header(ctx)->w2)->length(), 3u);
    EXPECT_EQ(context::find_word(ctx, symbol::make("A"), true), 0);
    EXPECT_EQ(context::find_word(ctx, symbol::make("A"), false), -1);

    Cell body = block({word_of("x", TypeId::set_word), word_of("y"), word_of("a", TypeId::set_word)});
    EXPECT_TRUE(context::collect_set_words(ctx, body));
    EXPECT_EQ(context::word_count(ctx), 4u);
    EXPECT_FALSE(context::collect_set_words(ctx, body));
    body.w1 = 10;  // past the tail: clamped, nothing added
    EXPECT_FALSE(context::collect_set_words(ctx, body));
    EXPECT_EQ(body.w1, 3u);
    // A context made for no words has room for one.
    NodeId empty = keep_node(context::make(0, false, false, nullptr, context::Kind::object));
    EXPECT_EQ(context::add_word(empty, symbol::make("only")), 0);
}

}  // namespace
}  // namespace qor
