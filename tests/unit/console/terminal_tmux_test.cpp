// The line input in a real terminal: a driver program runs in a tmux pane,
// keys are sent to it, and the pane's text and terminal mode are checked.
// Skipped when tmux is not installed.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/tmux.h"

namespace qor::console {
namespace {

using namespace qor::test::tmux;

TEST(Terminal, RawEditingHistoryAndRestoreAfterCtrlC) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux tmux;
    tmux.start(std::string(QOR_CONSOLE_edit_driver) + "; echo DONE; sleep 60");
    ASSERT_TRUE(tmux.wait_for(">>")) << tmux.screen();

    EXPECT_NE(tmux.screen().find("size 60x20"), std::string::npos) << tmux.screen();
    EXPECT_EQ(tmux.format("#{pane_title}"), "edit driver");

    // Raw while editing.
    std::string raw = tmux.modes();
    EXPECT_TRUE(has_mode(raw, "-icanon")) << raw;
    EXPECT_TRUE(has_mode(raw, "-echo")) << raw;
    EXPECT_TRUE(has_mode(raw, "-isig")) << raw;

    // Left, Home, End, insertion.
    tmux.text("hello wrld");
    tmux.keys("Left Left Left");
    tmux.text("o");
    tmux.keys("Home");
    tmux.text("X");
    tmux.keys("End");
    tmux.text("!");
    tmux.keys("Enter");
    ASSERT_TRUE(tmux.wait_for("[Xhello world!]")) << tmux.screen();

    // Delete, Right, Backspace, Ctrl-K.
    tmux.text("abcdef");
    tmux.keys("Home DC Right BSpace End Left Left C-k Enter");
    ASSERT_TRUE(tmux.wait_for("[cd]")) << tmux.screen();

    // History: Up twice reaches the older line.
    tmux.keys("Up Up Enter");
    ASSERT_TRUE(tmux.wait_for("[Xhello world!]\n")) << tmux.screen();
    // History is now "Xhello world!", "cd", "Xhello world!" (newest first).
    // Up, Up, Down shows the entry reached by the second Up again.
    tmux.keys("Up Up Down Enter");
    ASSERT_TRUE(tmux.wait_for("[cd]", 2)) << tmux.screen();

    // A long line wraps over rows and edits in the middle redraw it whole.
    std::string long_line(70, 'a');
    tmux.text(long_line);
    tmux.keys("Home");
    tmux.text("B");
    ASSERT_TRUE(tmux.wait_for(">> B" + std::string(56, 'a') + "\n" + std::string(14, 'a') + "\n"))
        << tmux.screen();
    tmux.keys("Enter");
    ASSERT_TRUE(tmux.wait_for("[B" + std::string(57, 'a'))) << tmux.screen();

    // A lone Esc ends the edit with an escape character after the line.
    tmux.text("esc");
    tmux.keys("Escape");
    ASSERT_TRUE(tmux.wait_for("[esc^[]")) << tmux.screen();

    // After the window narrows, the line wraps at the new width.
    tmux.resize(30);
    tmux.text(std::string(40, 'n'));
    tmux.keys("Home");
    tmux.text("W");
    ASSERT_TRUE(tmux.wait_for(">> W" + std::string(26, 'n') + "\n" + std::string(14, 'n') + "\n"))
        << tmux.screen();
    tmux.keys("Enter");
    ASSERT_TRUE(tmux.wait_for("[W" + std::string(28, 'n'))) << tmux.screen();

    // Ctrl-C ends the edit with "q"; the driver quits and the mode is back.
    tmux.text("abc");
    tmux.keys("C-c");
    ASSERT_TRUE(tmux.wait_for("DONE")) << tmux.screen();
    EXPECT_NE(tmux.screen().find("[q]"), std::string::npos);
    std::string restored = tmux.modes();
    EXPECT_TRUE(has_mode(restored, "icanon")) << restored;
    EXPECT_TRUE(has_mode(restored, "echo")) << restored;
    EXPECT_TRUE(has_mode(restored, "isig")) << restored;
}

TEST(Terminal, HiddenInputShowsStarsAndIsNotKept) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux tmux;
    tmux.start(std::string(QOR_CONSOLE_edit_driver) + " --hidden; echo DONE; sleep 60");
    ASSERT_TRUE(tmux.wait_for(">>")) << tmux.screen();
    tmux.text("pa\u00DFwd");
    tmux.keys("Left");
    tmux.text("x");
    ASSERT_TRUE(tmux.wait_for(">> ******")) << tmux.screen();
    EXPECT_EQ(tmux.screen().find("pa"), std::string::npos);
    tmux.keys("Enter");
    ASSERT_TRUE(tmux.wait_for("[pa\u00DFwxd]")) << tmux.screen();
    // Hidden lines are not in the history: Up gives an empty line.
    tmux.keys("Up Enter");
    ASSERT_TRUE(tmux.wait_for("[]")) << tmux.screen();
    tmux.keys("C-d");
    ASSERT_TRUE(tmux.wait_for("DONE")) << tmux.screen();
}

TEST(Terminal, ModeIsRestoredWhenTerminatedWhileEditing) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    char dir_template[] = "/tmp/qor-console-XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    std::string pid_file = std::string(dir_template) + "/pid";
    Tmux tmux;
    std::string inner = "echo $$ > " + sh_quoted(pid_file) + "; exec " + std::string(QOR_CONSOLE_edit_driver);
    tmux.start("sh -c " + sh_quoted(inner) + "; echo DONE; sleep 60");
    ASSERT_TRUE(tmux.wait_for(">>")) << tmux.screen();
    tmux.text("half typed");
    ASSERT_TRUE(tmux.wait_for("half typed"));
    EXPECT_TRUE(has_mode(tmux.modes(), "-icanon"));
    pid_t pid = 0;
    std::ifstream(pid_file) >> pid;
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    ASSERT_TRUE(tmux.wait_for("DONE")) << tmux.screen();
    std::string restored = tmux.modes();
    EXPECT_TRUE(has_mode(restored, "icanon")) << restored;
    EXPECT_TRUE(has_mode(restored, "echo")) << restored;
    std::remove(pid_file.c_str());
    rmdir(dir_template);
}

}  // namespace
}  // namespace qor::console
