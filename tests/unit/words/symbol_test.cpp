// The symbol table: interning, case aliases, the stored spelling, and the
// runtime's own symbols and words coming first in their declared order.
#include <cstring>

#include "tests/unit/words/words_fixture.h"

namespace qor {
namespace {

using test::WordsTest;

TEST_F(WordsTest, InterningAndCaseAliases) {
    const uint32_t foo = symbol::make("foo");
    EXPECT_EQ(symbol::make("foo"), foo);
    EXPECT_EQ(symbol::alias_of(foo), -1);

    const uint32_t Foo = symbol::make("Foo");
    const uint32_t FOO = symbol::make("FOO");
    EXPECT_NE(Foo, foo);
    EXPECT_NE(FOO, Foo);
    // Every variant names the first spelling, never an earlier variant.
    EXPECT_EQ(symbol::alias_of(Foo), static_cast<int32_t>(foo));
    EXPECT_EQ(symbol::alias_of(FOO), static_cast<int32_t>(foo));
    for (uint32_t id : {foo, Foo, FOO}) EXPECT_EQ(symbol::resolve_alias(id), foo);
}

TEST_F(WordsTest, CaseFoldingCoversAsciiOnly) {
    const uint32_t small = symbol::make("\xC3\xA9t\xC3\xA9");  // été
    const uint32_t capital = symbol::make("\xC3\x89T\xC3\x89");  // ÉTÉ
    EXPECT_EQ(symbol::alias_of(small), -1);
    EXPECT_EQ(symbol::alias_of(capital), -1);
    const uint32_t mixed = symbol::make("\xC3\xA9T\xC3\xA9");  // éTé: an ASCII variant of été
    EXPECT_EQ(symbol::resolve_alias(mixed), small);
}

TEST_F(WordsTest, EntryKeepsExactBytesWithNul) {
    const std::string_view text = "na\xC3\xAFve-\xE2\x82\xAC";  // naïve-€
    const uint32_t id = symbol::make(text);
    EXPECT_EQ(symbol::spelling(id), text);
    const Cell* entry = symbol::entry(id);
    EXPECT_EQ(type_of(*entry), TypeId::symbol);
    EXPECT_EQ(entry->w2, 0u);  // no string form until needed
    const series::Buffer* bytes = series::buffer(entry->w3);
    EXPECT_EQ(bytes->length(), text.size());
    EXPECT_EQ(bytes->head_ptr()[text.size()], 0);
    // Empty and long spellings intern as well.
    const std::string longer(300, 'x');
    EXPECT_EQ(symbol::spelling(symbol::make(longer)), longer);
    EXPECT_EQ(symbol::make(longer), symbol::make(longer));
}

TEST_F(WordsTest, ManySymbolsOutgrowTheInitialRoom) {
    std::vector<uint32_t> ids;
    for (int i = 0; i < 20000; i++) ids.push_back(symbol::make("sym-" + std::to_string(i)));
    for (int i = 0; i < 20000; i += 997) {
        EXPECT_EQ(symbol::make("sym-" + std::to_string(i)), ids[static_cast<size_t>(i)]);
        EXPECT_EQ(symbol::make("SYM-" + std::to_string(i)) > ids.back(), true);
        EXPECT_EQ(symbol::resolve_alias(symbol::make("SYM-" + std::to_string(i))), ids[static_cast<size_t>(i)]);
    }
}

TEST_F(WordsTest, RuntimeSymbolsComeFirstInOrder) {
    // The datatype names are symbols 1-54 in type-id order, then the rest of
    // the runtime's spellings, each exactly where its constant says.
    EXPECT_EQ(symbol::spelling(1), "datatype!");
    EXPECT_EQ(symbol::spelling(to_int(Sym::integer_x)), "integer!");
    EXPECT_EQ(to_int(Sym::integer_x), to_int(TypeId::integer));
    EXPECT_EQ(symbol::spelling(to_int(Sym::point2d_x)), "point2D!");
    EXPECT_EQ(symbol::spelling(to_int(Sym::spec)), "spec");
    EXPECT_EQ(to_int(Sym::spec), type_name_count + 1);
    for (uint32_t id = 1; id <= runtime_symbol_count; id++) EXPECT_EQ(symbol::spelling(id), runtime_spellings[id]);
    // `code` is listed twice (event and money field) and has one id.
    EXPECT_EQ(symbol::make("code"), to_int(Sym::code));
    // The next symbol is the first that the runtime does not know.
    EXPECT_EQ(symbol::make("not-a-runtime-word"), runtime_symbol_count + 1);

    // The global context's first words are the datatype words, then the
    // global-indexed words, then the runtime's words.
    EXPECT_EQ(context::word_count(context::global()), runtime_words::global_word_count);
    for (uint32_t i = 0; i < runtime_words::global_word_count; i++)
        EXPECT_EQ(context::word_at(context::global(), i)->w2, to_int(runtime_words::global_order[i]));
    EXPECT_EQ(global_index(Sym::spec), -1);  // a bare symbol, not a word
    // A datatype word is the symbol of the same number as its type id.
    EXPECT_EQ(word::load("block!").w2, to_int(TypeId::block));
    // Every registered datatype's name is the spelling of its type word.
    for (uint32_t t = 1; t <= type_name_count; t++) {
        if (datatype::is_registered(static_cast<TypeId>(t))) {
            EXPECT_EQ(datatype::name(static_cast<TypeId>(t)), runtime_spellings[t]) << t;
        }
    }
    // Keywords are unbound refinements.
    const Cell& part = words::keyword(Sym::part);
    EXPECT_EQ(type_of(part), TypeId::refinement);
    EXPECT_EQ(part.w1, 0u);
    EXPECT_EQ(part.w2, to_int(Sym::part));
}

TEST_F(WordsTest, SymbolCompareOrdersSpellings) {
    const Cell a = *symbol::entry(symbol::make("apple"));
    const Cell b = *symbol::entry(symbol::make("Banana"));
    const Cell a2 = *symbol::entry(symbol::make("APPLE"));
    auto cmp = actions::restore<Action::compare>(datatype::routine(TypeId::symbol, Action::compare));
    EXPECT_EQ(cmp(&a, &b, CompareOp::lesser), -1);
    EXPECT_EQ(cmp(&b, &a, CompareOp::lesser), 1);
    EXPECT_EQ(cmp(&a, &a2, CompareOp::equal), 0);
    EXPECT_NE(cmp(&a, &a2, CompareOp::strict_equal), 0);
    EXPECT_EQ(datatype::routine(TypeId::symbol, Action::form), nullptr);
}

}  // namespace
}  // namespace qor
