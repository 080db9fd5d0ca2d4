// The read-eval-print loop's own behaviour, in process: the console script
// runs into an evaluator with the library, and lines are handed to
// system/console/eval-command as the loop hands them over; what it prints
// is compared. A small system object stands in while the library has none.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/environment_runtime.h"
#include "tests/unit/eval/transcript_harness.h"

namespace qor::test {
namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class Repl : public EnvironmentTest {
protected:
    void SetUp() override {
        EnvironmentTest::SetUp();
        run_line(
            "unless value? 'system [system: make object! [version: \"0.0.0\" console: none"
            " options: make object! [args: [] cache: %/nonexistent/ script: none] script: make object! [args: none]]]");
        const std::string script = read_file(std::string(QOR_SOURCE_DIR) + "/console/console.qor");
        ASSERT_FALSE(script.empty());
        ASSERT_EQ(run_line(script + "\n()"), "");
        ASSERT_EQ(run_line("system/console/size: 80x50 ()"), "");
    }

    // What the console prints for one entered line (a language string).
    std::string enter(const std::string& line) { return run_line("system/console/eval-command " + line + " ()"); }

    void replay(const std::vector<std::pair<std::string, std::string>>& cases) {
        for (const auto& [line, expected] : cases) EXPECT_EQ(enter(line), expected) << line;
    }
};

TEST_F(Repl, CommandsResultsAndOutput) {
    replay({
        {R"("1 + 2")", "== 3\n"},
        {R"("print 1 + 2")", "3\n"},
        {R"("")", ""},
        {R"("x: 2.5")", "== 2.5\n"},
        {R"("{a^/b}")", "== \"a^/b\"\n"},
        {R"("1 / 0")", "*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : 1 / 0\n*** Stack: do-command try-do \n\n"},
        {R"("halt print 1")", "(halted)\n"},
        {"\"[1 2)\"", "*** Syntax Error: (line 1) missing ] at [1 2)\n*** Where: transcode\n*** Near : out: transcode source\n*** Stack: do-command load\n"},
    });
}

TEST_F(Repl, MultiLineCommandsWaitForTheirDelimiters) {
    // The continuation prompt is the innermost open delimiter and four spaces.
    const std::pair<std::string, std::string> steps[] = {
        {R"("form [1 2")", "[    "}, {R"("")", "[    "}, {R"("(3")", "(    "}, {R"(")]")", ""},
    };
    for (const auto& [line, cue] : steps) {
        const std::string out = enter(line);
        if (cue.empty()) EXPECT_EQ(out, "== \"1 2 3\"\n") << line;
        else EXPECT_EQ(run_line("print system/console/cue"), cue + "\n") << line;
    }
    EXPECT_EQ(run_line("system/console/mode"), "== mono\n");

    // Strings, raw strings, binaries and tags left open wait too; Esc drops
    // what was gathered.
    for (const char* open : {R"("{abc")", R"("%{ab")", R"("#{AB")", R"("<a")"}) {
        EXPECT_EQ(enter(open), "") << open;
        EXPECT_EQ(run_line("system/console/mode"), "== other\n") << open;
        EXPECT_EQ(enter("rejoin [\"x\" escape]"), "(escape)\n") << open;
        EXPECT_EQ(run_line("system/console/mode"), "== mono\n") << open;
    }
    // A raw string whose closing run is long enough is whole.
    EXPECT_EQ(enter(R"("%%{a}%%")"), "== \"a\"\n");
}

TEST_F(Repl, LongResultsAreCutToTheConsoleWidth) {
    // 80 columns and the default prompt: "== ", 73 characters and "...".
    const std::string line = R"({append/dup copy "" #"a" 200})";
    const std::string out = enter(line);
    EXPECT_EQ(out.size(), 3 + 73 + 3 + 1u) << out;
    EXPECT_EQ(out.rfind("== ", 0), 0u) << out;
    EXPECT_EQ(out.substr(out.size() - 4 - 20), std::string(20, 'a') + "...\n");
    // A prompt longer than the console still leaves the "...".
    run_line(R"(system/console/prompt: append/dup copy "" #"p" 100 ())");
    EXPECT_EQ(enter(line), "== ...\n");
}

TEST_F(Repl, PromptAndResultPrefixAreStringsBlocksOrFunctions) {
    run_line("system/console/result: \"=>\" ()");
    EXPECT_EQ(enter(R"("1 + 1")"), "=> 2\n");
    run_line("system/console/result: [append copy \"R\" \":\"] ()");
    EXPECT_EQ(enter(R"("1 + 1")"), "R: 2\n");
    run_line("system/console/result: [1 / 0] ()");
    EXPECT_EQ(enter(R"("1 + 1")"),
              "*** Math Error: attempt to divide by zero\n*** Where: system/console/result\n*** Near : 1 / 0\n"
              "*** Stack: do-command shown \n== 2\n");
}

}  // namespace
}  // namespace qor::test
