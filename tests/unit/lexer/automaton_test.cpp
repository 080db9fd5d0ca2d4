// The token automaton on its own: which final state the first token of a
// text reaches and where it ends, and properties of the tables.
#include <gtest/gtest.h>

#include <string_view>

#include "runtime/lexer/lex_tables.h"

namespace qor::lexer {
namespace {

struct Cut {
    Final state;
    std::string_view token;  // the token's bytes (leading blanks skipped)
    uint32_t lines = 0;
};

Cut first_token(std::string_view text, uint8_t start_state = start_normal) {
    const Token t = cut_token(reinterpret_cast<const uint8_t*>(text.data()), 0, static_cast<uint32_t>(text.size()),
                              start_state);
    return {static_cast<Final>(t.state), text.substr(t.start, t.end - t.start), t.lines};
}

TEST(Automaton, TokenKinds) {
    struct Case {
        std::string_view text;
        Final state;
        std::string_view token;
    };
    const Case cases[] = {
        {"", Final::end, ""},
        {"  \t\r ", Final::end, ""},
        {"[", Final::block_open, ""},
        {" ]", Final::block_close, ""},
        {"(", Final::paren_open, ""},
        {")", Final::paren_close, ""},
        {"{", Final::brace_open, ""},
        {"#[", Final::map_open, "#"},
        {"a/b", Final::path_slash, "a"},
        {"#(none)", Final::construct, "#(none"},
        {"; note\nx", Final::comment, "; note"},
        {";", Final::comment, ";"},
        {",", Final::comma, ""},
        {"\"a^\"b\" x", Final::string, "\"a^\"b"},
        {"abc def", Final::word, "abc"},
        {"a;b", Final::word, "a"},
        {"set: 1", Final::word, "set:"},
        {":get", Final::word, ":get"},
        {"'lit", Final::word, "'lit"},
        {"<=", Final::word, "<="},
        {"#abc", Final::issue, "#abc"},
        {"#", Final::issue, "#"},
        {"123 ", Final::integer, "123"},
        {"-1'000", Final::integer, "-1'000"},
        {"12;x", Final::integer, "12"},
        {"/ref", Final::refinement, "/ref"},
        {"#\"a\"", Final::char_, "#\"a"},
        {"%file.txt ", Final::file, "%file.txt"},
        {"%\"a b\"", Final::file, "%\"a b"},
        {"#{0102}", Final::binary, "#{0102"},
        {"64#{AQID}", Final::binary, "64#{AQID"},
        {"50%", Final::percent, "50"},
        {"1.5", Final::float_, "1.5"},
        {".5", Final::float_, ".5"},
        {"1e10", Final::float_, "1e10"},
        {"1.#INF", Final::special_float, "1.#INF"},
        {"1.2.3", Final::tuple, "1.2.3"},
        {"1/2/2024", Final::date, "1/2/2024"},
        {"2024-01-02T10:00", Final::date, "2024-01-02T10:00"},
        {"10x20", Final::pair, "10x20"},
        {"1:30", Final::time, "1:30"},
        {"$1.50", Final::money, "$1.50"},
        {"USD$1", Final::money, "USD$1"},
        {"<tag a>", Final::tag, "<tag a"},
        {"http://a.b/c", Final::url, "http://a.b/c"},
        {"a@b.c", Final::email, "a@b.c"},
        {"12h", Final::hex_integer, "12h"},
        {"FFh", Final::hex_integer, "FFh"},
        {"%{a}%", Final::raw_string, "%{a}%"},
        {"%%{a}%%", Final::raw_string, "%%{a}%%"},
        {"@ref", Final::ref, "@ref"},
        // Invalid input: the token ends where the automaton broke off.
        {"12a", Final::invalid, "12"},
        {"}", Final::invalid, ""},
        {"\\", Final::invalid, ""},
        {"\x80", Final::invalid, ""},
        {"a\xC0", Final::invalid, "a"},
        {"\"abc\ndef\"", Final::invalid, "\"abc"},
        {"\"abc", Final::invalid, "\"abc"},
        {"# ", Final::invalid, "#"},
        {"; \xFF", Final::invalid, "; "},
        {"#{12", Final::invalid, "#{12"},
        {"<a", Final::invalid, "<a"},
    };
    for (const Case& c : cases) {
        const Cut cut = first_token(c.text);
        EXPECT_EQ(to_int(cut.state), to_int(c.state)) << "text: " << c.text;
        EXPECT_EQ(cut.token, c.token) << "text: " << c.text;
    }
}

TEST(Automaton, StartStates) {
    // Inside a brace string: braces and escapes, line feeds taken as text.
    EXPECT_EQ(first_token("ab\ncd}", start_brace).state, Final::brace_close);
    EXPECT_EQ(first_token("ab\ncd}", start_brace).lines, 1u);
    EXPECT_EQ(first_token("a^}b{", start_brace).state, Final::brace_open);
    // A point literal's body runs to the ")".
    EXPECT_EQ(first_token("1, 2.5)", start_point).state, Final::point);
    EXPECT_EQ(first_token("1, 2.5)", start_point).token, "1, 2.5");
    // Path elements.
    EXPECT_EQ(first_token("12/x", start_path).state, Final::integer);
    EXPECT_EQ(first_token("b:", start_path).state, Final::word);
    EXPECT_EQ(first_token("b:", start_path).token, "b");
}

TEST(Automaton, LeadingBlanksAndLines) {
    const Cut cut = first_token("\n \t\x01\n\r  word");
    EXPECT_EQ(cut.state, Final::word);
    EXPECT_EQ(cut.token, "word");
    EXPECT_EQ(cut.lines, 2u);
}

TEST(Automaton, Tables) {
    // Every inner state row leads to a state that exists and is not 65.
    for (int s = 0; s < inner_state_count; s++)
        for (int c = 0; c < class_count; c++) {
            const uint8_t next = next_state(static_cast<uint8_t>(s), static_cast<uint8_t>(c));
            EXPECT_TRUE(next < inner_state_count || (next >= first_final && next < state_count)) << s << "/" << c;
        }
    // Bytes that never occur in UTF-8 are invalid wherever they appear.
    for (int b : {0xC0, 0xC1, 0xF8, 0xFF}) {
        EXPECT_EQ(class_of(static_cast<uint8_t>(b)), cls::invalid);
        for (int s = 0; s < inner_state_count; s++) {
            EXPECT_EQ(next_state(static_cast<uint8_t>(s), cls::invalid), 67) << s;
        }
    }
    // Token flags.
    EXPECT_EQ(class_table.entry[static_cast<uint8_t>('\'')] & 0xFFFFFF00u, tf::apostrophe);
    EXPECT_EQ(class_table.entry[0xC3] & 0xFFFFFF00u, tf::utf8_lead);
    EXPECT_EQ(class_table.entry[0xF0] & 0xFFFFFF00u, tf::utf8_lead4);
    EXPECT_EQ(type_table[to_int(Final::integer)], TypeId::integer);
    EXPECT_EQ(type_table[23], TypeId::integer);
    EXPECT_EQ(type_table[0], TypeId::none_id);
    EXPECT_TRUE(is_blank_code_point(0x3000));
    EXPECT_TRUE(is_blank_code_point(0x200A));
    EXPECT_FALSE(is_blank_code_point(0x200D));
}

}  // namespace
}  // namespace qor::lexer
