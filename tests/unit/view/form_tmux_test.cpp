// A form in a real terminal: `qor` runs a script that shows a window of a
// field, a check box, a drop-down and a button, made as face objects; keys
// and mouse clicks sent to the tmux pane fill it in, and the script prints
// the values it reads back from the faces once the button closed the
// window. Skipped when tmux is not installed.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/tmux.h"

namespace qor::test {
namespace {

using namespace qor::test::tmux;

constexpr const char* form_script = R"(Qor [title: "form"]
name: make face! [type: 'field offset: 0x0 size: 12x1 flags: [focusable]]
tea: make face! [type: 'check offset: 0x1 size: 12x1 text: "tea"]
colour: make face! [type: 'drop-down offset: 0x2 size: 12x1 data: ["red" "green" "blue"] flags: [focusable]]
ok: make face! [type: 'button offset: 0x3 size: 4x1 text: "[OK]"]
win: make face! [type: 'window text: "form" offset: 0x0 size: 20x4 pane: reduce [name tea colour ok]]
system/view/awake: func [event /with face] [
    if all [event/type = 'click same? event/face ok] [unview]
]
print "FORM"
view win
print ["NAME" mold name/text "TEA" tea/data "COLOUR" mold colour/text colour/selected]
)";

// The 0-based row of the first screen line that starts with the text.
int row_of(const std::string& screen, const std::string& start) {
    std::istringstream lines(screen);
    std::string line;
    for (int row = 0; std::getline(lines, line); row++)
        if (line.rfind(start, 0) == 0) return row;
    return -1;
}

// A press and a release of the left button at a 0-based cell, as an SGR
// mouse report.
std::string click_at(int column, int row) {
    const std::string at = std::to_string(column + 1) + ";" + std::to_string(row + 1);
    return "\x1b[<0;" + at + "M\x1b[<0;" + at + "m";
}

class FormInTmux : public TempDirTest {};

TEST_F(FormInTmux, FilledInWithKeysAndClicksAndReadBack) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    put("form.qor", form_script);
    Tmux tmux;
    tmux.start(std::string(QOR_BINARY) + " " + path("form.qor") + "; echo EXIT=$?; sleep 60");
    ASSERT_TRUE(tmux.wait_for("[OK]")) << tmux.screen();
    const int top = row_of(tmux.screen(), "[OK]") - 3;
    ASSERT_GE(top, 0) << tmux.screen();

    tmux.text("bob");                    // the field has the focus
    ASSERT_TRUE(tmux.wait_for("bob")) << tmux.screen();
    tmux.text(click_at(0, top + 1));     // ticks the check box
    tmux.text(click_at(1, top + 2));     // focuses the drop-down
    tmux.keys("Down Down");              // its second item
    ASSERT_TRUE(tmux.wait_for("green")) << tmux.screen();
    tmux.text("!");
    ASSERT_TRUE(tmux.wait_for("green!")) << tmux.screen();
    tmux.text(click_at(1, top + 3));     // the button closes the window
    ASSERT_TRUE(tmux.wait_for("NAME \"bob\" TEA true COLOUR \"green!\" 2\nEXIT=0")) << tmux.screen();
}

}  // namespace
}  // namespace qor::test
