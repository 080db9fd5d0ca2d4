// Views of face objects through the real `qor` in a real terminal (a tmux
// pane): a window of text faces is drawn inline while `view` runs, prints
// from its handlers erase and redraw it, and the terminal is handed back on
// every way out: Escape closing the window, an error in a handler, quit,
// Ctrl-C and a fatal signal; at the console the prompt comes back whole.
// Skipped when tmux is not installed.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/support/tmux.h"

namespace qor::test {
namespace {

using namespace tmux;

// The window: two text faces, and key actions on the window. When the
// library has no event dispatch of its own, a small one runs the window's
// actors and closes every window on Escape.
constexpr const char* window_script = R"(Qor []
unless function? :system/view/awake [
	system/view/awake: func [event /local face name actor][
		face: event/face
		if all [event/type = 'key event/key = #"^["][unview/all return 'stop]
		while [object? face][
			name: select system/view/evt-names event/type
			if all [object? face/actors name in face/actors name function? get in face/actors name][
				actor: get in face/actors name
				return actor face event
			]
			face: face/parent
		]
		none
	]
]
win: make face! [
	type: 'window size: 24x3
	pane: reduce [
		make face! [type: 'text offset: 1x0 size: 20x1 text: "first line"]
		make face! [type: 'text offset: 1x1 size: 20x1 text: "second line"]
	]
	actors: make object! [
		on-key: func [face event][
			switch event/key [
				#"p" [print "printed line"]
				#"e" [1 / 0]
				#"x" [quit]
				#"w" [wait 1]
			]
		]
	]
]
)";

constexpr const char* shown = " first line\n second line";

class FacesTerminal : public TempDirTest {
protected:
    // Runs a script that shows the window with `view`; its pid is kept in
    // a file (the shell execs qor).
    void start_script(Tmux& t) {
        put("win.qor", std::string(window_script) + "print \"before view\"\nview win\nprint \"after view\"\n");
        t.start("cd " + sh_quoted(dir_) + " && HOME=" + sh_quoted(dir_) + " sh -c 'echo $$ > pid; exec " +
                sh_quoted(QOR_BINARY) + " win.qor'; echo EXIT=$?; sleep 60");
        ASSERT_TRUE(t.wait_for(shown)) << t.screen();
    }
};

// What the view switched on is off again: mouse reporting, the hidden
// cursor, the alternate screen. (At the console the line editor keeps the
// terminal raw itself.)
void expect_view_modes_off(Tmux& t) {
    EXPECT_EQ(t.format("#{mouse_any_flag}"), "0");
    EXPECT_EQ(t.format("#{cursor_flag}"), "1");
    EXPECT_EQ(t.format("#{alternate_on}"), "0");
}

// The pane's terminal as a view leaves it: cooked, echoing, no mouse
// reporting, the cursor shown, the main screen.
void expect_handed_back(Tmux& t) {
    const std::string modes = t.modes();
    EXPECT_TRUE(has_mode(modes, "icanon")) << modes;
    EXPECT_TRUE(has_mode(modes, "echo")) << modes;
    expect_view_modes_off(t);
}

TEST_F(FacesTerminal, WindowDrawnPrintsRedrawnEscapeCloses) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux t;
    start_script(t);
    EXPECT_NE(t.screen().find("before view\n" + std::string(shown)), std::string::npos) << t.screen();
    // The view's mode: raw keys, mouse reporting on.
    const std::string modes = t.modes();
    EXPECT_TRUE(has_mode(modes, "-icanon")) << modes;
    EXPECT_TRUE(has_mode(modes, "-echo")) << modes;
    EXPECT_EQ(t.format("#{mouse_any_flag}"), "1");

    // A print from a handler erases the view, and the view is drawn again
    // below the printed line, once.
    t.text("p");
    ASSERT_TRUE(t.wait_for("printed line\n" + std::string(shown))) << t.screen();
    t.text("p");
    ASSERT_TRUE(t.wait_for("printed line\nprinted line\n" + std::string(shown))) << t.screen();
    EXPECT_EQ(count(t.screen(), "first line"), 1) << t.screen();

    // An error in a handler leaves the view running.
    t.text("e");
    t.text("p");
    ASSERT_TRUE(t.wait_for("printed line", 3)) << t.screen();

    // Escape closes the window, also while a handler waits: the wait runs
    // the view's loop, and when it is over view returns and the script
    // goes on.
    t.text("w");
    t.keys("Escape");
    ASSERT_TRUE(t.wait_for("after view\nEXIT=0")) << t.screen();
    EXPECT_EQ(count(t.screen(), "first line"), 1) << t.screen();
    expect_handed_back(t);
}

TEST_F(FacesTerminal, EveryWayOutHandsTheTerminalBack) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    struct Case {
        const char* keys;    // sent with send-keys; empty: a fatal signal
        const char* ending;  // what the pane shows after
    };
    const Case cases[] = {
        {"C-c", "EXIT=130"},                                // the interrupt
        {"x", "EXIT=0"},                                    // quit in a handler
        {"", "*** Runtime Error 1: access violation"},      // a fatal signal
    };
    for (const Case& c : cases) {
        Tmux t;
        start_script(t);
        if (*c.keys) {
            t.keys(c.keys);
        } else {
            const int pid = std::stoi(get("pid"));
            ASSERT_GT(pid, 0);
            ASSERT_EQ(kill(pid, SIGSEGV), 0);
        }
        ASSERT_TRUE(t.wait_for(c.ending)) << c.ending << "\n" << t.screen();
        ASSERT_TRUE(t.wait_for("EXIT=")) << t.screen();
        EXPECT_EQ(t.screen().find("after view"), std::string::npos) << t.screen();
        expect_handed_back(t);
    }
}

// Whether, within a few seconds, the screen's last non-blank line is a bare
// prompt.
bool prompt_is_last_line(Tmux& t) {
    for (int i = 0; i < 100; i++) {
        std::string screen = t.screen();
        while (!screen.empty() && (screen.back() == '\n' || screen.back() == ' ')) screen.pop_back();
        const size_t line = screen.rfind('\n');
        if (screen.substr(line == std::string::npos ? 0 : line + 1) == ">>") return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST_F(FacesTerminal, ConsolePromptComesBackWhole) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    put("win.qor", window_script);
    Tmux t;
    t.start("cd " + sh_quoted(dir_) + " && HOME=" + sh_quoted(dir_) + " " + sh_quoted(QOR_BINARY) +
            "; echo EXIT=$?; sleep 60");
    ASSERT_TRUE(t.wait_for(">>")) << t.screen();
    t.text("do %win.qor view win");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for(shown)) << t.screen();
    t.keys("Escape");
    // The view's result (whether the loop's last look found input), then a
    // whole prompt that takes the next line.
    ASSERT_TRUE(t.wait_for(">>", 2)) << t.screen();
    const std::string screen = t.screen();
    EXPECT_TRUE(screen.find(std::string(shown) + "\n\n== false\n>>") != std::string::npos ||
                screen.find(std::string(shown) + "\n\n== true\n>>") != std::string::npos)
        << screen;
    expect_view_modes_off(t);
    t.text("1 + 1");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for(">> 1 + 1\n== 2\n>>")) << t.screen();

    // The screen's size is the pane's.
    t.text("system/view/platform/get-screen-size 0");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("== 60x20\n>>")) << t.screen();

    // Ctrl-C halts a view back to the prompt, and the next view is drawn.
    t.text("view win");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for(shown, 2)) << t.screen();
    t.keys("C-c");
    ASSERT_TRUE(t.wait_for(std::string(shown) + "\n\n(halted)\n>>")) << t.screen();
    expect_view_modes_off(t);
    t.text("unview/all view win");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for(shown, 3)) << t.screen();
    t.keys("Escape");
    // Earlier prompts are still on the screen: wait until a prompt is its
    // last line, so the next keys go to the console and not to the view.
    ASSERT_TRUE(prompt_is_last_line(t)) << t.screen();

    // A view shown without waiting is drawn while `wait` runs, and the
    // prompt comes back after.
    t.text("view/no-wait win wait 1 print length? system/view/screens/1/pane unview");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for(std::string(shown) + "\n\n1\n>>")) << t.screen();
    expect_view_modes_off(t);
}

}  // namespace
}  // namespace qor::test
