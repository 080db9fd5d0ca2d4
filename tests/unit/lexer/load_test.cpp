// Source text to values: each case is a source text and the values it
// loads (type and payload), or the syntax error it raises.
#include "lexer_fixture.h"

namespace qor::test {
namespace {

// The top-level values of a load joined by ", ", or "error: " and the
// error's message.
std::string loaded(std::string_view text) {
    try {
        Cell block = unset_cell;
        lexer::scan_buffer(&block, reinterpret_cast<const uint8_t*>(text.data()), text.size());
        const series::Buffer* b = series::buffer(block.w2);
        std::string out;
        for (uint32_t i = 0; i < b->length(); i++) {
            if (i) out += ", ";
            const Cell& e = reinterpret_cast<const Cell*>(b->head_ptr())[i];
            if (e.header & cell_flag::new_line) out += "|";
            out += show(reinterpret_cast<const Cell*>(b->head_ptr())[i]);
        }
        return out;
    } catch (const error::Raised& e) {
        return "error: " + message_of(e);
    }
}

struct Case {
    std::string_view source;
    std::string_view expected;
};

void check(std::initializer_list<Case> cases) {
    for (const Case& c : cases) EXPECT_EQ(loaded(c.source), c.expected) << "source: " << c.source;
}

using LoadTest = LexerTest;

TEST_F(LoadTest, Integers) {
    check({
        {"0 7 -7 +7", "integer! 0, integer! 7, integer! -7, integer! 7"},
        {"1'000'000", "integer! 1000000"},
        {"12'345", "integer! 12345"},
        {"1''2", "error: (line 1) integer! invalid at 1''2"},
        {"2147483647 -2147483648", "integer! 2147483647, integer! -2147483648"},
        {"2147483648", "float! 2147483648"},
        {"-2147483649", "float! -2147483649"},
        {"-2'147'483'648", "float! -2147483648"},
        {"12345678901", "float! 12345678901"},
        {"12a", "error: (line 1) integer! invalid at 12a"},
        {"12h FFh FFFFFFFFh 7FFFFFFFh", "integer! 18, integer! 255, integer! -1, integer! 2147483647"},
        {"Fh", "error: (line 1) word! invalid at Fh"},
        {"1h", "error: (line 1) integer! invalid at 1h"},
        {"123456789h", "error: (line 1) integer! invalid at 123456789h"},
        {"ABCDEF123h", "error: (line 1) integer! invalid at ABCDEF123h"},
        {"ABh 0Ah", "integer! 171, integer! 10"},
        {"12AB", "error: (line 1) bad-char at 12AB"},
        {"12;x", "integer! 12"},
    });
}

TEST_F(LoadTest, FloatsAndPercents) {
    check({
        {"1.5 .5 -0.25 1e3 1.5E-2", "float! 1.5, float! 0.5, float! -0.25, float! 1000, float! 0.015"},
        {"1'000.5", "float! 1000.5"},
        {"1.#NaN -1.#INF 1.#inf", "float! 1.#NaN, float! -1.#INF, float! 1.#INF"},
        {"1.#Nab", "error: (line 1) float! invalid at 1.#Nab"},
        {"50% 12.5%", "percent! 0.5, percent! 0.125"},
        {"1e", "error: (line 1) float! invalid at 1e"},
    });
}

TEST_F(LoadTest, TuplesPairsPoints) {
    check({
        {"1.2.3 255.0.0.128", "tuple! 1.2.3, tuple! 255.0.0.128"},
        {"1.2.3.4.5.6.7.8.9.10.11.12", "tuple! 1.2.3.4.5.6.7.8.9.10.11.12"},
        {"1.2.3.4.5.6.7.8.9.10.11.12.13", "error: (line 1) tuple! invalid at 1.2.3.4.5.6.7.8.9.10.11.12.13"},
        {"1.2.256", "error: (line 1) tuple! invalid at 1.2.256"},
        {"1..2.3", "error: (line 1) float! invalid at 1..2.3"},
        {"1.2..3", "error: (line 1) tuple! invalid at 1.2..3"},
        {"10x20 -1x-2 1'000x2", "pair! 10x20, pair! -1x-2, pair! 1000x2"},
        {"1.5x2", "error: (line 1) pair! invalid at 1.5x2"},
        {"(1, 2)", "point2D! (1, 2)"},
        {"( 1.5 , -2 , 3e2 )", "point3D! (1.5, -2, 300)"},
        {"(1 + 2)", "paren! [integer! 1 word! + integer! 2]"},
        {"(1, 2, 3, 4)", "error: (line 1) point3D! invalid at (1, 2, 3, 4)"},
    });
}

TEST_F(LoadTest, TimesMoneyDates) {
    check({
        {"1:30 1:30.5 -1:00:01 10:20:30.25", "time! 5400, time! 90.5, time! -3601, time! 37230.25"},
        {"1:30:60", "error: (line 1) time! invalid at 1:30:60"},
        {"$1.50", "money! cur0 00000000000000001.50000"},
        {"-$0.5 USD$1'000.50", "money! -cur0 00000000000000000.50000, money! cur155 00000000000001000.50000"},
        {"$1.123456", "error: (line 1) money! invalid at $1.123456"},
        {"$1.12345", "money! cur0 00000000000000001.12345"},
        {"$1''0", "error: (line 1) money! invalid at $1''0"},
        {"1/2/49 1/2/50", "date! 2049-2-1, date! 1950-2-1"},
        {"2024-01-15 15-Jan-2024 3-march-99", "date! 2024-1-15, date! 2024-1-15, date! 1999-3-3"},
        {"2024-02-30", "error: (line 1) date! invalid at 2024-02-30"},
        {"2023-02-29 2024-02-29", "error: (line 1) date! invalid at 2023-02-29 2024-02-29"},
        {"2024-1-15/10:30", "date! 2024-1-15 t=37800 z=0"},
        {"2024-1-15/10:30+2:00", "date! 2024-1-15 t=30600 z=8"},
        {"2024-1-15T10:30:00-1:30", "date! 2024-1-15 t=43200 z=70"},
        {"20240115T103000Z", "date! 2024-1-15 t=37800 z=0"},
        {"2021-W01-1 2024-060", "date! 2021-1-4, date! 2024-2-29"},
        {"2024-1-15/25:00", "error: (line 1) date! invalid at 2024-1-15/25:00"},
    });
}

TEST_F(LoadTest, StringsAndChars) {
    check({
        {R"("abc" "a^"b" "^(41)^(line)^-")", "string! \"abc\", string! \"a\"b\", string! \"A\n\t\""},
        {"\"^(1F600)\" \"^(e9)\"", "string! \"^(1F600)\", string! \"^(E9)\""},
        {"\"abc\ndef\"", "error: (line 1) string! invalid at \"abc"},
        {"{a{b}c}", "string! \"a{b}c\""},
        {"{a^}b}", "string! \"a}b\""},
        {"%%{x}%%", "string! \"x\""},
        {"%{a}b}%", "string! \"a}b\""},
        {"%%{a}%b}%%", "error: (line 1) string! invalid at %%{a}%b}%%"},
        {"%{x}%%", "error: (line 1) string! invalid at %{x}%%"},
        {"%%{a}% }%%", "string! \"a}% \""},
        {"#\"a\" #\"^/\" #\"^(line)\" #\"^(0A)\" #\"^(10FFFF)\"",
         "char! 97, char! 10, char! 10, char! 10, char! 1114111"},
        {"#\"^(110000)\"", "error: (line 1) char! invalid at #\"^(110000)\""},
        {"#\"\"", "error: (line 1) char! invalid at #\"\""},
        {"#\"ab\"", "error: (line 1) char! invalid at #\"ab\""},
    });
}

TEST_F(LoadTest, OtherSeries) {
    check({
        {"#{0102 03} 64#{AQID} 2#{00000001 11111111} #{}",
         "binary! #{010203}, binary! #{010203}, binary! #{01FF}, binary! #{}"},
        {"64#{AQ==} 64#{AQI=}", "binary! #{01}, binary! #{0102}"},
        {"#{123}", "error: (line 1) binary! invalid at #{123}"},
        {"8#{12}", "error: (line 1) binary! invalid at 8#{12}"},
        {"%a/b.txt %\"a b\" %a%20b", "file! \"a/b.txt\", file! \"a b\", file! \"a b\""},
        {"<a href=\"x>y\"> <b>", "tag! \"a href=\"x>y\"\", tag! \"b\""},
        {"http://x.org/a%20b a@b.c @ref", "url! \"http://x.org/a b\", email! \"a@b.c\", ref! \"ref\""},
        {"[1 [2] (3)]", "block! [integer! 1 block! [integer! 2] paren! [integer! 3]]"},
        {"#[a 1 b 2]", "map! [set-word! a integer! 1 set-word! b integer! 2]"},
        {"#[a 1 a 2 1 x]", "map! [set-word! a integer! 2 integer! 1 word! x]"},
        {"#[a]", "error: (line 1) map! invalid at #[a]"},
        {"#[[a] 1]", "error: (line 1) map! invalid at #[[a] 1]"},
    });
}

TEST_F(LoadTest, Words) {
    check({
        {"a b: :c 'd /e #f", "word! a, set-word! b, get-word! c, lit-word! d, refinement! e, issue! f"},
        {"/ // < <= <> - + ++", "word! /, word! //, word! <, word! <=, word! <>, word! -, word! +, word! ++"},
        {"a;b", "word! a"},
        {"a:b:c", "url! \"a:b:c\""},
        {"'a:", "error: (line 1) lit-word! invalid at 'a:"},
        {"#", "error: (line 1) issue! invalid at #"},
        {"# a", "error: (line 1) issue! invalid at # a"},
        {"\xE3\x80\x80word \xE2\x80\x8C", "word! word"},
        {"#(true) #(TRUE) #(false) #(none) #(int)", "logic! true, logic! true, logic! false, none!, datatype! integer!"},
        {"#(foo)", "error: (line 1) malconstruct at #(foo)"},
    });
}

TEST_F(LoadTest, Paths) {
    check({
        {"a/b a/1/c", "path! [word! a word! b], path! [word! a integer! 1 word! c]"},
        {"a/b: :a/b 'a/b", "set-path! [word! a word! b], get-path! [word! a word! b], lit-path! [word! a word! b]"},
        {"ab/cd: 1 a/b/cde: 2", "set-path! [word! ab word! cd], integer! 1, set-path! [word! a word! b word! cde], integer! 2"},
        {"a/(b)/c", "path! [word! a paren! [word! b] word! c]"},
        {"[a/b]", "block! [path! [word! a word! b]]"},
    });
    EXPECT_NE(loaded("'a/b:").rfind("error", 0), std::string::npos);
    EXPECT_NE(loaded("a/").rfind("error", 0), std::string::npos);
}

TEST_F(LoadTest, StructureErrors) {
    check({
        {"", ""},
        {"[1 2", "error: (line 1) missing ] at [1 2"},
        {"1 2]", "error: (line 1) missing [ at 1 2]"},
        {"(x 2", "error: (line 1) missing ) at (x 2"},
        {"[1 (2]", "error: (line 1) missing ) at (2]"},
        {"x\n\n[1 2\n3", "error: (line 4) missing ] at [1 2"},
        {"{abc", "error: (line 1) string! invalid at {abc"},
        {"1, 2", "error: (line 1) point2D! invalid at , 2"},
        {"a 123456789012345678901234567890abcdef", "error: (line 1) integer! invalid at 123456789012345678901234567890"},
        // The excerpt ends at the first character boundary at or past 30 bytes.
        {"[1 \xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
         "error: (line 1) missing ] at [1 ^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)"},
        {"[1 \xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
         "error: (line 1) missing ] at [1 ^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)^(E9)"},
        {"[1\n2", "error: (line 2) missing ] at [1"},
    });
}

TEST_F(LoadTest, LinesAndNewLineMarkers) {
    EXPECT_EQ(loaded("a\nb c\n\n[d\n e]"), "word! a, |word! b, word! c, |block! [word! d |word! e]");
    EXPECT_EQ(loaded("{x\ny}\n1"), "string! \"x\ny\", |integer! 1");
    EXPECT_EQ(loaded("1\n{x\ny} 2\n\"q"), "error: (line 4) string! invalid at \"q");
    EXPECT_EQ(loaded("a\n\n;c\n%{\n\n}% 1x"), "error: (line 6) pair! invalid at 1x");
}

// A NUL byte outside a string is not text: the run ends with an error
// instead of reading on for ever or stopping silently.
TEST_F(LoadTest, NulBytes) {
    const std::string cases[] = {std::string("1\0 2", 4), std::string("abc\0", 4), std::string("\0", 1),
                                 std::string(";x\0y", 4)};
    for (const std::string& s : cases) {
        try {
            load(s);
            ADD_FAILURE() << "no error for NUL in " << s.size() << " bytes";
        } catch (const error::Raised& e) {
            EXPECT_EQ(e.id, error::Id::bad_char);
        }
    }
    EXPECT_EQ(loaded(std::string("\"a\0b\"", 5)).rfind("error: (line 1) string! invalid", 0), 0u);
}

}  // namespace
}  // namespace qor::test
