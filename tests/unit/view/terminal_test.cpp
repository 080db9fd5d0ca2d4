// The terminal mode and the event loop: the sequences around prints and at
// the end, the colour depth, the size, and whole loops on a pseudo-terminal
// (keys in, frames out, timers, the mode left as it was found); without a
// terminal, nothing is drawn and nothing waits.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "runtime/environment/routines.h"
#include "runtime/output/output.h"
#include "tests/unit/view/view_fixture.h"
#include "view/terminal/event_loop.h"
#include "view/terminal/terminal.h"

namespace qor::test {
namespace {

TEST(TerminalMode, ColourDepthFromTheEnvironment) {
    struct Case {
        const char* colorterm;
        const char* term;
        bool true_colour;
    };
    const Case cases[] = {
        {"", "", true},
        {"", "xterm-256color", false},
        {"256", "xterm", false},
        {"truecolor", "xterm-256color", true},
        {"24bit", "screen-256color", true},
        {"", "xterm", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tui::true_colour_terminal(c.colorterm, c.term), c.true_colour) << c.colorterm << "/" << c.term;
}

TEST(TerminalMode, EraseAndLeaveTheDrawnArea) {
    tui::reset_backend();
    tui::Backend& b = tui::backend();
    std::string out;
    tui::erase_area(out);
    tui::leave_area(out);
    EXPECT_EQ(out, "");  // nothing drawn yet

    b.terminal.frame_drawn = true;
    b.shown.resize(5, 3);
    b.terminal.lines_up = 2;
    tui::leave_area(out);
    EXPECT_EQ(out, "\r\n");
    out.clear();
    b.terminal.lines_up = 0;  // the caret on the top row
    tui::leave_area(out);
    EXPECT_EQ(out, "\x1B[2B\r\n");
    out.clear();
    tui::erase_area(out);
    EXPECT_EQ(out, "\r\x1B[0J");  // a one-row area is erased as well
    b.terminal.lines_up = 2;
    out.clear();
    tui::erase_area(out);
    EXPECT_EQ(out, "\r\x1B[2A\x1B[0J");
    EXPECT_EQ(b.terminal.lines_up, 0);
    tui::reset_backend();
}

TEST(TerminalMode, ModesAndTheCursor) {
    tui::reset_backend();
    std::string out;
    tui::mouse_on(out);
    EXPECT_EQ(out, "\x1B[?1000h\x1B[?1003h\x1B[?1015h\x1B[?1006h");
    out.clear();
    tui::mouse_off(out);
    EXPECT_EQ(out, "\x1B[?1000l\x1B[?1003l\x1B[?1015l\x1B[?1006l");
    out.clear();
    tui::hide_cursor(out);
    tui::hide_cursor(out);
    tui::show_cursor(out);
    tui::show_cursor(out);
    tui::enter_alternate_screen(out);
    tui::leave_alternate_screen(out);
    EXPECT_EQ(out, "\x1B[?25l\x1B[?25h\x1B[?1049h\x1B[2J\x1B[?1049l");
    tui::reset_backend();
}

using NoTerminalTest = ViewTest;

// The tests run with standard input and output not both terminals.
TEST_F(NoTerminalTest, NothingIsDrawnAndNothingWaits) {
    if (isatty(0) && isatty(1)) GTEST_SKIP() << "run from a terminal";
    tui::reset_backend();
    EXPECT_FALSE(tui::open_terminal());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(tui::do_events(true));
    tui::wait_events();
    EXPECT_FALSE(tui::run_for(1.0));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_FALSE(tui::backend().terminal.open);
    // A size that cannot be read counts as 80 x 24.
    tui::update_screen_size();
    EXPECT_EQ(tui::backend().terminal.columns, 80);
    EXPECT_EQ(tui::backend().terminal.rows, 24);
}

TEST_F(NoTerminalTest, TheLoopRunsItsFramesAndWritesNothingToAPipe) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    tui::backend().terminal.out_fd = out[1];
    environment::define_routine("quit-loop", "[]", [] { tui::post_quit(); });
    run("w: make object! [text: \"w\" pane: none state: none] ticks: 0 ()");
    run("system/view: make object! [screens: none platform: none awake: func [e] ["
        "  if e/type = 'time [ticks: ticks + 1 if ticks = 3 [quit-loop]]]] ()");
    tui::Widget* root = window("w", 4, 1);
    tui::add_timer(root, 10);
    (void)tui::do_events(false);
    EXPECT_EQ(run("ticks"), "== 3\n");
    pollfd p{out[0], POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0);
    tui::backend().terminal.out_fd = 1;
    close(out[0]);
    close(out[1]);
}

// A view on a pseudo-terminal: the engine's side is the terminal device,
// the test plays the terminal emulator on the other side.
class PtyLoopTest : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        ASSERT_EQ(openpty(&emulator_, &device_, nullptr, nullptr, nullptr), 0);
        tcgetattr(device_, &found_);
        tui::backend().terminal.in_fd = device_;
        tui::backend().terminal.out_fd = device_;
        environment::define_routine("quit-loop", "[]", [] { tui::post_quit(); });
        run("face!: make object! [text: none pane: none state: none] ()");
        run("log: copy [] ()");
        run("system/view: make object! [screens: none platform: none awake: func [e] ["
            "  append log e/type "
            "  if e/type = 'key [append log e/key if e/key = #\"q\" [quit-loop]]]] ()");
    }
    void TearDown() override {
        tui::backend().terminal.in_fd = 0;
        tui::backend().terminal.out_fd = 1;
        close(device_);
        close(emulator_);
        ViewTest::TearDown();
    }

    void type(const std::string& bytes) const { ASSERT_EQ(write(emulator_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

    // Types the bytes a little later, once the loop has the terminal.
    void typed_later(const std::string& bytes) const {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        type(bytes);
    }

    // Everything the engine wrote.
    std::string screen_bytes() const {
        std::string all;
        char chunk[4096];
        pollfd p{emulator_, POLLIN, 0};
        while (poll(&p, 1, 0) > 0) {
            const ssize_t n = read(emulator_, chunk, sizeof chunk);
            if (n <= 0) break;
            all.append(chunk, static_cast<size_t>(n));
        }
        return all;
    }

    int emulator_ = -1;
    int device_ = -1;
    termios found_{};
};

TEST_F(PtyLoopTest, KeysInAFrameOutAndTheModeLeftAsFound) {
    run("w: make face! [text: \"hello\"] ()");
    tui::Widget* root = window("w", 6, 2);
    tui::set_focus(root);
    run("clear log ()");
    // Typed once the loop runs: the reply to the first frame's cursor
    // query, then keys.
    std::thread keys([this] { typed_later("\x1B[5;1Rab\x1B[Aq"); });
    (void)tui::do_events(false);
    keys.join();
    EXPECT_EQ(run("log"), "== [key-down key #\"a\" key-down key #\"b\" key-down key up key-down key #\"q\"]\n");
    EXPECT_EQ(tui::backend().terminal.origin_row, 4);
    // The terminal's output processing writes each line feed as CR LF.
    const std::string out = screen_bytes();
    EXPECT_EQ(out.rfind("\x1B[?25l\r\x1B[6n\r\x1B[0Jhello \x1B[49m\r\r\n      ", 0), 0u)
        << testing::PrintToString(out);
    EXPECT_EQ(out.substr(out.size() - 9), "\r\r\n\x1B[?25h") << testing::PrintToString(out);
    termios now{};
    tcgetattr(device_, &now);
    EXPECT_EQ(now.c_lflag, found_.c_lflag);
    EXPECT_EQ(now.c_iflag, found_.c_iflag);
    EXPECT_FALSE(tui::backend().terminal.open);
}

TEST_F(PtyLoopTest, PrintingErasesTheAreaAndTheNextFrameRedrawsIt) {
    run("w: make face! [text: \"view\"] ()");
    tui::Widget* root = window("w", 4, 1);
    tui::set_focus(root);
    // The runtime's print primitive, bracketed as every console print is
    // (the unit tests capture the language's own prints).
    environment::define_routine("print-primitive", "[]", [] { output::print({"printed\n"}); });
    run("system/view/awake: func [e] [if e/type = 'key [either e/key = #\"p\" [print-primitive] [quit-loop]]] ()");
    std::thread keys([this] {
        typed_later("\x1B[3;1Rp");
        typed_later("q");
    });
    (void)tui::do_events(false);
    keys.join();
    // The first frame; the erase before the print (the printed text goes to
    // standard output); the whole area again, asking where it now starts.
    const std::string out = screen_bytes();
    const size_t first = out.find("\r\x1B[0Jview");
    ASSERT_NE(first, std::string::npos) << testing::PrintToString(out);
    EXPECT_NE(out.find("view\r\x1B[0J\r\x1B[6n\r\x1B[0Jview", first), std::string::npos)
        << testing::PrintToString(out);
}

TEST_F(PtyLoopTest, TimersKeepTimeWhileInputWakesTheLoop) {
    run("w: make face! [text: \"t\"] ()");
    tui::Widget* root = window("w", 2, 1);
    tui::set_focus(root);
    run("ticks: 0 system/view/awake: func [e] [switch e/type [time [ticks: ticks + 1] key [if e/key = #\"q\" [quit-loop]]]] ()");
    tui::add_timer(root, 100);
    std::atomic<bool> typing{true};
    std::thread keys([&] {
        // A key every 4 ms wakes each frame early.
        while (typing) {
            type("x");
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
        type("q");
    });
    const auto start = std::chrono::steady_clock::now();
    std::thread stop([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        typing = false;
    });
    (void)tui::do_events(false);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    stop.join();
    keys.join();
    const int ticks = get_int(value("ticks"));
    // A timer put back by every key would hardly tick at all; a slow
    // machine (the sanitizer build collects at every allocation) may lose
    // a few ticks to late frames, never half of them.
    EXPECT_GE(ticks, ms / 200) << ms << " ms";
    EXPECT_LE(ticks, ms / 100 + 1) << ms << " ms";
}

}  // namespace
}  // namespace qor::test
