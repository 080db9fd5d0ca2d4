// The real `qor` in a real terminal (a tmux pane): the banner and prompt,
// editing and history at the prompt, a multi-line block with its
// continuation prompt, Ctrl-C at the prompt, and the history kept across
// two sessions through the settings file. HOME is a directory of the
// test's own. Skipped when tmux is not installed.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/support/tmux.h"

namespace qor::test {
namespace {

using namespace tmux;

class ConsoleTerminal : public TempDirTest {
protected:
    // Starts qor in the pane with HOME pointed at the test's directory.
    void start(Tmux& t, int columns = 60) {
        t.start("HOME=" + sh_quoted(dir_) + " " + sh_quoted(QOR_BINARY) + "; echo DONE $?; sleep 60", columns);
    }

    // The screen row that starts with `prefix` (empty when there is none).
    static std::string row_starting(const std::string& screen, const std::string& prefix) {
        std::istringstream rows(screen);
        std::string row;
        while (std::getline(rows, row))
            if (row.rfind(prefix, 0) == 0) return row;
        return "";
    }
};

TEST_F(ConsoleTerminal, BannerEditingHistoryMultiLineAndCtrlC) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux t;
    start(t);
    // (The pane's text leaves out the spaces at the end of each row.)
    ASSERT_TRUE(t.wait_for(">>")) << t.screen();
    const std::string banner = t.screen();
    EXPECT_EQ(banner.rfind("--== Qor ", 0), 0u) << banner;
    EXPECT_NE(banner.find(" ==--\nType HELP for starting information.\n\n>>\n"), std::string::npos) << banner;
    EXPECT_EQ(t.format("#{pane_title}"), "Qor Console");

    // Editing: Home and Delete take the first character away.
    t.text("10 + 5");
    t.keys("Home DC Enter");
    ASSERT_TRUE(t.wait_for("== 5\n>>")) << t.screen();
    EXPECT_NE(t.screen().find(">> 0 + 5\n== 5\n>>"), std::string::npos) << t.screen();

    // History: Up brings the command back.
    t.keys("Up");
    ASSERT_TRUE(t.wait_for(">> 0 + 5", 2)) << t.screen();
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("== 5\n>>", 2)) << t.screen();

    // A block left open asks for more lines with its delimiter as prompt.
    t.text("length? [1");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for(">> length? [1\n[\n")) << t.screen();
    t.text("2]");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for(">> length? [1\n[    2]\n== 2\n>>")) << t.screen();

    // Esc drops a half-typed command.
    t.text("(1");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for(">> (1\n(\n")) << t.screen();
    t.keys("Escape");
    ASSERT_TRUE(t.wait_for("(escape)\n>>")) << t.screen();

    // Ctrl-C at the prompt quits with status 0. (The test waits for the
    // prompt: a Ctrl-C typed ahead while a command still runs halts it.)
    t.text("abc");
    t.keys("C-c");
    ASSERT_TRUE(t.wait_for("DONE 0")) << t.screen();
}

TEST_F(ConsoleTerminal, HistoryIsKeptAcrossSessions) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    {
        Tmux t;
        start(t);
        ASSERT_TRUE(t.wait_for(">>")) << t.screen();
        t.text("6 * 7");
        t.keys("Enter");
        ASSERT_TRUE(t.wait_for("== 42")) << t.screen();
        t.text("\"second\"");
        t.keys("Enter");
        ASSERT_TRUE(t.wait_for("== \"second\"")) << t.screen();
        t.keys("C-d");
        ASSERT_TRUE(t.wait_for("DONE 0")) << t.screen();
    }
    Tmux t;
    start(t);
    ASSERT_TRUE(t.wait_for(">>")) << t.screen();
    t.keys("Up Up");
    ASSERT_TRUE(t.wait_for(">> 6 * 7")) << t.screen();
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("== 42")) << t.screen();
    t.text("quit/return 4");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("DONE 4")) << t.screen();
}

// A long result is cut to the terminal's width, read from the terminal at
// start and again after the window is resized: "== ", the text and "..."
// fill the row but for the last column.
TEST_F(ConsoleTerminal, ResultsAreCutAtTheTerminalWidthAfterAResize) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux t;
    start(t, 120);
    ASSERT_TRUE(t.wait_for(">>")) << t.screen();
    t.text("system/console/size");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("== 120x20")) << t.screen();
    t.text("append/dup copy \"\" #\"a\" 300");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("...")) << t.screen();
    std::string row = row_starting(t.screen(), "== {aaa");
    ASSERT_EQ(row.size(), 119u) << t.screen();
    EXPECT_EQ(row.substr(113), "aaa...") << row;

    t.resize(100);
    t.text("append/dup copy \"\" #\"b\" 300");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("b...")) << t.screen();
    row = row_starting(t.screen(), "== {bbb");
    ASSERT_EQ(row.size(), 99u) << t.screen();
    EXPECT_EQ(row.substr(93), "bbb...") << row;
    t.text("system/console/size");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("== 100x20")) << t.screen();
}

// Ctrl-C while a command runs stops it and returns to the prompt, as halt
// does; the session, its words and its history go on.
TEST_F(ConsoleTerminal, CtrlCDuringAnEvaluationHaltsToThePrompt) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux t;
    start(t);
    ASSERT_TRUE(t.wait_for(">>")) << t.screen();
    // Keys typed before the editor hands the line over are the editor's:
    // Ctrl-C goes once the evaluation shows it has started.
    t.text("print uppercase {started} n: 0 forever [n: n + 1]");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("STARTED")) << t.screen();
    t.keys("C-c");
    ASSERT_TRUE(t.wait_for("(halted)")) << t.screen();
    t.text("n > 0");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("== true")) << t.screen();

    // So is a long parse that runs no code of the language.
    t.text("s: append/dup copy \"\" \"a\" 200000 parse s [while [thru \"b\" | skip]]");
    t.keys("Enter");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    t.keys("C-c");
    ASSERT_TRUE(t.wait_for("(halted)", 2)) << t.screen();

    // So is a loop that runs whole iterations from its blocks' pure forms.
    t.text("print uppercase {looping} m: 0 while [true] [m: m + 1]");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("LOOPING")) << t.screen();
    t.keys("C-c");
    ASSERT_TRUE(t.wait_for("(halted)", 3)) << t.screen();
    t.text("m > 1000");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("== true", 2)) << t.screen();

    // A wait is cut short as well.
    t.text("print uppercase {waiting} wait 30 print \"never\"");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("WAITING")) << t.screen();
    t.keys("C-c");
    ASSERT_TRUE(t.wait_for("(halted)", 4)) << t.screen();
    t.keys("Up");
    ASSERT_TRUE(t.wait_for(">> print uppercase {waiting} wait 30 print \"never\"")) << t.screen();
    t.keys("C-c");
    ASSERT_TRUE(t.wait_for("DONE 0")) << t.screen();
    EXPECT_EQ(t.screen().find("never\n"), std::string::npos) << t.screen();
}

// Ctrl-C halts a recursion whose calls run nested inside pure programs,
// with no frames and no expressions of the plain walker between them; the
// session goes on.
TEST_F(ConsoleTerminal, CtrlCHaltsARecursionRunningNested) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux t;
    start(t);
    ASSERT_TRUE(t.wait_for(">>")) << t.screen();
    t.text("fib: func [n] [either n < 2 [n] [(fib n - 1) + fib n - 2]]");
    t.keys("Enter");
    t.text("print uppercase {recursing} fib 45");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("RECURSING")) << t.screen();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    t.keys("C-c");
    ASSERT_TRUE(t.wait_for("(halted)")) << t.screen();
    t.text("fib 10");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("== 55")) << t.screen();
}

// Keys pressed with Alt (Esc and a byte at once) and sequences the editor
// does not know are ignored: the line typed so far stays.
TEST_F(ConsoleTerminal, AltKeysAndUnknownSequencesKeepTheLine) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux t;
    start(t);
    ASSERT_TRUE(t.wait_for(">>")) << t.screen();
    t.text("1 + 2");
    t.keys("M-b M-x F5");
    t.text("0");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("== 21")) << t.screen();
    EXPECT_EQ(t.screen().find("(escape)"), std::string::npos) << t.screen();
    t.keys("C-d");
    ASSERT_TRUE(t.wait_for("DONE 0")) << t.screen();
}

// With TERM=dumb the console sends nothing that moves the cursor or sets
// the title: the prompt, and the line as the terminal echoes it. The output
// goes through tee to a file, which must hold no Esc byte.
TEST_F(ConsoleTerminal, DumbTerminalGetsPlainLineInput) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux t;
    const std::string out = path("out.txt");
    t.start("TERM=dumb HOME=" + sh_quoted(dir_) + " " + sh_quoted(QOR_BINARY) + " | tee " + sh_quoted(out) +
                "; echo DONE $?; sleep 60",
            60);
    ASSERT_TRUE(t.wait_for(">>")) << t.screen();
    t.text("6 * 7");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("== 42")) << t.screen();
    t.text("length? [1");
    t.keys("Enter");
    t.text("2]");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("== 2")) << t.screen();
    t.keys("C-d");
    ASSERT_TRUE(t.wait_for("DONE 0")) << t.screen();
    const std::string written = get("out.txt");
    EXPECT_EQ(written.find('\x1B'), std::string::npos) << written;
    EXPECT_NE(written.find(">> == 42\n>> [    == 2\n>> "), std::string::npos) << written;
    // The session's lines are kept in the history all the same.
    EXPECT_NE(get(".qor/Qor-Console/console-cfg.qor").find("\"6 * 7\""), std::string::npos);
}

}  // namespace
}  // namespace qor::test
