// The word datatypes: molding and forming with prefixes and suffix, the
// comparison operators, make/to, index? and the registration rows.
#include "tests/unit/words/words_fixture.h"

namespace qor {
namespace {

using test::error_of;
using test::WordsTest;

int32_t mold_into(const Cell& value, Cell& buffer, int32_t limit) {
    auto molder = actions::restore<Action::mold>(datatype::routine(type_of(value), Action::mold));
    return molder(&value, &buffer, false, false, false, nullptr, limit, 0);
}

int32_t form_into(const Cell& value, Cell& buffer, int32_t limit) {
    auto former = actions::restore<Action::form>(datatype::routine(type_of(value), Action::form));
    return former(&value, &buffer, nullptr, limit);
}

int32_t compare(const Cell& a, const Cell& b, CompareOp op) {
    auto routine = actions::restore<Action::compare>(datatype::routine(type_of(a), Action::compare));
    return routine(&a, &b, op);
}

TEST_F(WordsTest, EveryKindMoldsWithItsPrefixOrSuffix) {
    struct Case {
        TypeId type;
        const char* molded;
    };
    const Case cases[] = {
        {TypeId::word, "hello"},      {TypeId::set_word, "hello:"},   {TypeId::lit_word, "'hello"},
        {TypeId::get_word, ":hello"}, {TypeId::refinement, "/hello"}, {TypeId::issue, "#hello"},
    };
    for (const Case& c : cases) {
        const Cell w = word_of("hello", c.type);
        Cell molded = unset_cell;
        collector::RootGuard molded_guard(molded);  // a local the collector must see
        text_buffer::make(molded);
        const int32_t left = mold_into(w, molded, 100);
        EXPECT_EQ(text_of(molded), c.molded);
        // The budget falls by every character written, delimiters included.
        EXPECT_EQ(left, 100 - static_cast<int32_t>(std::string_view(c.molded).size())) << c.molded;

        Cell formed = unset_cell;
        collector::RootGuard formed_guard(formed);  // a local the collector must see
        text_buffer::make(formed);
        EXPECT_EQ(form_into(w, formed, 100), 95) << c.molded;
        EXPECT_EQ(text_of(formed), "hello");
    }
    // Spellings are written as characters, not as their UTF-8 bytes.
    const Cell w = word_of("\xC3\xA9t\xE2\x82\xAC", TypeId::refinement);  // /ét€
    Cell buffer = unset_cell;
    collector::RootGuard buffer_guard(buffer);  // a local the collector must see
    text_buffer::make(buffer);
    EXPECT_EQ(mold_into(w, buffer, 10), 6);
    ASSERT_EQ(text_buffer::length(buffer), 4u);
    EXPECT_EQ(text_buffer::char_at(buffer, 1), 0xE9u);
    EXPECT_EQ(text_buffer::char_at(buffer, 3), 0x20ACu);
}

TEST_F(WordsTest, StrictComparisonKeepsCaseAndType) {
    const Cell foo = word_of("foo", TypeId::lit_word), FOO = word_of("FOO", TypeId::lit_word);
    const Cell word_foo = word_of("foo"), word_FOO = word_of("FOO"), set_foo = word_of("foo", TypeId::set_word);
    const Cell issue_foo = word::issue("foo"), bar = word_of("bar");
    NodeId ctx = keep_node(context::make(1, false, false, nullptr, context::Kind::object));
    Cell bound_foo = word_foo;
    context::add_word(ctx, symbol::make("foo"));
    context::bind_word(ctx, bound_foo);
    struct Case {
        Cell a, b;
        CompareOp op;
        bool equal;
    };
    const Case cases[] = {
        {foo, FOO, CompareOp::equal, true},           {foo, FOO, CompareOp::strict_equal, false},
        {foo, foo, CompareOp::strict_equal, true},    {foo, word_foo, CompareOp::equal, true},
        {foo, word_foo, CompareOp::strict_equal, false}, {foo, bar, CompareOp::equal, false},
        {foo, FOO, CompareOp::find_key, true},        {word_foo, bound_foo, CompareOp::same, false},
        {word_foo, word_foo, CompareOp::same, true},  {word_foo, foo, CompareOp::equal_series, true},
        {word_foo, set_foo, CompareOp::equal_series, false}, {word_FOO, foo, CompareOp::equal_series, false},
        {word_FOO, foo, CompareOp::equal_series_alt, true},  {set_foo, word_FOO, CompareOp::equal_series_alt, false},
        {issue_foo, word::issue("FOO"), CompareOp::equal, true},
    };
    for (const Case& c : cases) {
        const int32_t r = compare(c.a, c.b, c.op);
        EXPECT_EQ(r == 0, c.equal) << symbol::spelling(c.a.w2) << " " << symbol::spelling(c.b.w2) << " op "
                                   << to_int(c.op);
    }
    // Not comparable: a word against an issue, an issue against a word, a
    // word against an integer.
    EXPECT_EQ(compare(word_foo, issue_foo, CompareOp::equal), -2);
    EXPECT_EQ(compare(issue_foo, word_foo, CompareOp::equal), -2);
    EXPECT_EQ(compare(word_foo, integer(1), CompareOp::equal), -2);
    // Orderings compare spellings, ignoring case except for sort/case.
    EXPECT_EQ(compare(word_of("apple"), word_of("Banana"), CompareOp::lesser), -1);
    EXPECT_EQ(compare(word_of("apple"), word_of("Banana"), CompareOp::sort_case), 1);
    EXPECT_EQ(compare(word_of("ab"), word_of("abc"), CompareOp::sort), -1);
}

TEST_F(WordsTest, MakeAndToWords) {
    auto make = actions::restore<Action::make>(datatype::routine(TypeId::word, Action::make));
    auto to_issue = actions::restore<Action::to>(datatype::routine(TypeId::issue, Action::to));
    Cell result = unset_cell;
    Cell spec = word_of("thing", TypeId::set_word);
    spec.header |= cell_flag::new_line;
    const Cell* made = make(&result, &spec, TypeId::word);
    EXPECT_EQ(made->header, to_int(TypeId::word));  // no flags carried over
    EXPECT_EQ(made->w2, spec.w2);

    Cell type_spec = datatype::value(TypeId::integer);
    EXPECT_EQ(make(&result, &type_spec, TypeId::word)->w2, to_int(Sym::integer_x));
    Cell truth{to_int(TypeId::logic), 1, 0, 0};
    EXPECT_EQ(make(&result, &truth, TypeId::lit_word)->w2, to_int(Sym::true_));
    EXPECT_EQ(type_of(result), TypeId::lit_word);
    Cell number = integer(3);
    EXPECT_EQ(error_of([&] { make(&result, &number, TypeId::word); }), "3/bad-to-arg");

    Cell ch{to_int(TypeId::char_), 0, 0x20AC, 0};
    EXPECT_EQ(symbol::spelling(to_issue(&result, &ch, TypeId::issue)->w2), "\xE2\x82\xAC");
    EXPECT_EQ(type_of(result), TypeId::issue);
    EXPECT_EQ(word::index_of(result), -1);
    EXPECT_EQ(to_issue(&result, &spec, TypeId::issue)->w2, spec.w2);

    // Text becomes an issue as it is, spaces included, from the string's
    // index; the spelling's string form reads back the same characters.
    Cell text = unset_cell;
    collector::RootGuard text_guard(text);  // a local the collector must see
    text_buffer::make(text);
    text_buffer::append_ascii(text, "xa b");
    text_buffer::append_char(text, 0x20AC);
    text.w1 = 1;
    to_issue(&result, &text, TypeId::issue);
    EXPECT_EQ(symbol::spelling(result.w2), "a b\xE2\x82\xAC");
    Cell molded = unset_cell;
    collector::RootGuard molded_guard(molded);  // a local the collector must see
    text_buffer::make(molded);
    mold_into(result, molded, 100);
    EXPECT_EQ(text_buffer::length(molded), 5u);
    EXPECT_EQ(text_buffer::char_at(molded, 0), static_cast<uint32_t>('#'));
}

TEST_F(WordsTest, IndexAndRegistration) {
    NodeId ctx = keep_node(context::make(2, false, false, nullptr, context::Kind::object));
    context::add_word(ctx, symbol::make("first"));
    Cell w = word_of("first");
    context::bind_word(ctx, w);
    auto index_q = actions::restore<Action::index_q>(datatype::routine(TypeId::word, Action::index_q));
    stack::push(w);
    stack::data.base = stack::top();
    index_q();
    EXPECT_EQ(type_of(*stack::result()), TypeId::integer);
    EXPECT_EQ(get_int(*stack::result()), 1);
    *stack::result() = word::issue("x");
    index_q();
    EXPECT_EQ(type_of(*stack::result()), TypeId::none);
    stack::data.base = stack::data.bottom;
    stack::pop();

    // Children take word!'s routines; refinement! and issue! have no index?.
    for (TypeId t : {TypeId::set_word, TypeId::lit_word, TypeId::get_word, TypeId::refinement}) {
        EXPECT_EQ(datatype::routine(t, Action::form), datatype::routine(TypeId::word, Action::form));
        EXPECT_EQ(datatype::routine(t, Action::compare), datatype::routine(TypeId::word, Action::compare));
        EXPECT_NE(datatype::routine(t, Action::mold), datatype::routine(TypeId::word, Action::mold));
        EXPECT_EQ(datatype::routine(t, Action::reflect), nullptr);
        EXPECT_EQ(datatype::routine(t, Action::append), nullptr);
    }
    EXPECT_EQ(datatype::routine(TypeId::refinement, Action::index_q), nullptr);
    EXPECT_EQ(datatype::routine(TypeId::issue, Action::index_q), nullptr);
    EXPECT_EQ(datatype::routine(TypeId::issue, Action::form), datatype::routine(TypeId::word, Action::form));
    EXPECT_EQ(datatype::name(TypeId::refinement), "refinement!");
}

}  // namespace
}  // namespace qor
