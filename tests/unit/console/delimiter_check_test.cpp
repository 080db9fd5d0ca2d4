// Whether console input is a whole command, waits for more lines, or is
// broken.
#include <string>
#include <vector>

#include "console/delimiter_check.h"
#include "tests/unit/lexer/lexer_fixture.h"

namespace qor::test {
namespace {

using DelimiterCheckTest = LexerTest;

TEST_F(DelimiterCheckTest, Table) {
    struct Case {
        const char* text;
        bool ok;
        std::u32string open;
    };
    const std::vector<Case> cases = {
        {"1 + 2\n", true, U""},
        {"\n", true, U""},
        {"[1 2\n", true, U"["},
        {"[1 2\n3]\n", true, U""},
        {"[1 [2 3]\n", true, U"["},
        {"[1 (2\n", true, U"[("},
        {"[1 (2)]\n", true, U""},
        {"(1 2\n", true, U"("},
        {"#[a 1\n", true, U"("},
        {"#[a 1]\n", true, U""},
        {"[1 )\n", false, U"["},
        {"[1 ) 2\n", false, U"["},
        {"]\n", false, U""},
        {"{abc\n", true, U"{"},
        {"print {abc\n", true, U"{"},
        {"{abc}\n", true, U""},
        {"#{12\n", true, U"{"},
        {"#{12}\n", true, U""},
        {"<tag\n", true, U"<"},
        {"%{abc\n", true, U"{"},
        {"%%{abc}%\n", true, U"{"},
        {"x: %%{abc\n", true, U"{"},
        {"%{abc}%\n", true, U""},
        {"%%{abc}%%\n", true, U""},
        {"[ \"abc\n", false, U"["},
        {"a/(1 +\n", true, U"/("},
    };
    for (const Case& c : cases) {
        console::DelimiterCheck check = console::check_delimiters(c.text);
        EXPECT_EQ(check.ok, c.ok) << c.text;
        if (check.ok) {
            EXPECT_EQ(check.open, c.open) << c.text;
        }
    }
    // Nothing was left behind on the lexer's side.
    EXPECT_EQ(lexer::active_runs(), 0);
}

TEST_F(DelimiterCheckTest, ContinuationPrompt) {
    EXPECT_EQ(console::continuation_prompt(console::check_delimiters("[1 2\n")), U"[    ");
    EXPECT_EQ(console::continuation_prompt(console::check_delimiters("[{a\n")), U"{    ");
}

}  // namespace
}  // namespace qor::test
