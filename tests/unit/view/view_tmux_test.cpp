// A view in a real terminal: the driver shows a window inline and runs the
// event loop in a tmux pane; keys are sent to it and the pane's text, its
// terminal modes, the mouse mode and the cursor are checked while the view
// runs and after it ends, on every way out. Skipped when tmux is not
// installed.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/tmux.h"

namespace qor::test {
namespace {

using namespace qor::test::tmux;

// The pane's terminal as a view leaves it: cooked, echoing, no mouse
// reporting, the cursor shown, the main screen.
void expect_handed_back(Tmux& tmux) {
    const std::string modes = tmux.modes();
    EXPECT_TRUE(has_mode(modes, "icanon")) << modes;
    EXPECT_TRUE(has_mode(modes, "echo")) << modes;
    EXPECT_EQ(tmux.format("#{mouse_any_flag}"), "0");
    EXPECT_EQ(tmux.format("#{cursor_flag}"), "1");
    EXPECT_EQ(tmux.format("#{alternate_on}"), "0");
}

void start(Tmux& tmux) {
    tmux.start(std::string(QOR_CONSOLE_view_driver) + "; echo EXIT=$?; sleep 60");
    ASSERT_TRUE(tmux.wait_for("view line one\nfield")) << tmux.screen();
}

TEST(ViewInTmux, DrawnInlineRedrawnAroundPrintsAndLeftCleanly) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux tmux;
    start(tmux);
    // The view's mode: raw keys, Ctrl-C still interrupting, mouse on, no cursor.
    const std::string modes = tmux.modes();
    EXPECT_TRUE(has_mode(modes, "-icanon")) << modes;
    EXPECT_TRUE(has_mode(modes, "-echo")) << modes;
    EXPECT_TRUE(has_mode(modes, "isig")) << modes;
    EXPECT_EQ(tmux.format("#{mouse_any_flag}"), "1");
    EXPECT_EQ(tmux.format("#{cursor_flag}"), "0");

    // A print erases the area, the line appears where it was, and the view
    // is drawn again below it.
    tmux.text("p");
    ASSERT_TRUE(tmux.wait_for("printed line\nview line one\nfield")) << tmux.screen();
    tmux.text("p");
    ASSERT_TRUE(tmux.wait_for("printed line\nprinted line\nview line one\nfield")) << tmux.screen();
    EXPECT_EQ(count(tmux.screen(), "view line one"), 1) << tmux.screen();

    // An error in the handler leaves the view running.
    tmux.text("e");
    tmux.text("t");
    ASSERT_TRUE(tmux.wait_for("view line one\ntyped")) << tmux.screen();

    tmux.text("q");
    ASSERT_TRUE(tmux.wait_for("view line one\ntyped\nDONE\nEXIT=0")) << tmux.screen();
    expect_handed_back(tmux);
}

TEST(ViewInTmux, EveryWayOutHandsTheTerminalBack) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    struct Case {
        const char* keys;   // sent with send-keys
        const char* shown;  // what the pane shows after
    };
    const Case cases[] = {
        {"C-c", "field\nEXIT=130"},                                         // the interrupt
        {"x", "field\nEXIT=0"},                                             // quit in a handler
        {"f", "field\n\n*** Runtime Error 1: access violation"},            // a fatal fault
    };
    for (const Case& c : cases) {
        Tmux tmux;
        start(tmux);
        tmux.keys(c.keys);
        ASSERT_TRUE(tmux.wait_for(c.shown)) << c.keys << "\n" << tmux.screen();
        ASSERT_TRUE(tmux.wait_for("EXIT=")) << tmux.screen();
        expect_handed_back(tmux);
    }
}

}  // namespace
}  // namespace qor::test
