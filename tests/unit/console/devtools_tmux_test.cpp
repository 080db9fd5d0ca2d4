// The step debugger in a real terminal (a tmux pane): stepping through a
// function shows each step, its input and the expression stack at the
// "debug> " prompt; a breakpoint (@stop) stops a run started with
// debug/later; quitting the debugger halts the code and gives the prompt
// back. Skipped when tmux is not installed.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"
#include "tests/support/tmux.h"

namespace qor::test {
namespace {

using namespace tmux;

class DebuggerTerminal : public TempDirTest {
protected:
    void start(Tmux& t) {
        t.start("HOME=" + sh_quoted(dir_) + " " + sh_quoted(QOR_BINARY) + "; echo DONE $?; sleep 60", 80);
        ASSERT_TRUE(t.wait_for(">>")) << t.screen();
    }
    static void type(Tmux& t, const std::string& line) {
        t.text(line);
        t.keys("Enter");
    }
};

TEST_F(DebuggerTerminal, StepsThroughAFunctionAndQuitsToThePrompt) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux t;
    start(t);
    type(t, "f: func [x][x * 2]");
    ASSERT_TRUE(t.wait_for("== func [x][x * 2]")) << t.screen();
    type(t, "debug [f 5 print \"not reached\"]");
    ASSERT_TRUE(t.wait_for("-----> OPEN func [x][x * 2] (function!)")) << t.screen();
    ASSERT_TRUE(t.wait_for("Input: 5 print \"not reached\"")) << t.screen();
    ASSERT_TRUE(t.wait_for("debug>")) << t.screen();

    // Enter alone steps: the argument is pushed, then the call is made.
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("-----> PUSH 5")) << t.screen();
    ASSERT_TRUE(t.wait_for("Stack: 5")) << t.screen();
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("-----> CALL f (function!)")) << t.screen();
    t.keys("Enter");
    // Inside the function: its argument word is evaluated.
    ASSERT_TRUE(t.wait_for("Input: * 2")) << t.screen();
    type(t, "help");
    ASSERT_TRUE(t.wait_for("`continue` or `c`: exit debugging console but continue evaluation.")) << t.screen();
    type(t, "bogus");
    ASSERT_TRUE(t.wait_for("Unknown command!")) << t.screen();
    type(t, ":x");
    ASSERT_TRUE(t.wait_for("== 5")) << t.screen();
    type(t, "q");
    ASSERT_TRUE(t.wait_for("(halted)")) << t.screen();
    // The code after the quit never ran: the text shows only inside quotes.
    const std::string screen = t.screen();
    EXPECT_EQ(count(screen, "not reached"), count(screen, "\"not reached\"")) << screen;

    // Back at the prompt, the console goes on.
    type(t, "1 + 1");
    ASSERT_TRUE(t.wait_for("== 2")) << t.screen();
}

TEST_F(DebuggerTerminal, ABreakpointStopsALaterRunAndContinueFinishesIt) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux t;
    start(t);
    type(t, "debug/later [a: 1 print \"before\" @stop b: 2 c: 3 print \"after\"]");
    ASSERT_TRUE(t.wait_for("before")) << t.screen();
    ASSERT_TRUE(t.wait_for("-----> PUSH @stop")) << t.screen();
    ASSERT_TRUE(t.wait_for("Input: b: 2 c: 3 print \"after\"")) << t.screen();
    EXPECT_EQ(t.screen().find("-----> PUSH 1"), std::string::npos) << t.screen();
    type(t, "c");
    ASSERT_TRUE(t.wait_for("after")) << t.screen();
    type(t, "reduce [a b c]");
    ASSERT_TRUE(t.wait_for("== [1 2 3]")) << t.screen();
}

}  // namespace
}  // namespace qor::test
