// A window of fields in a real terminal, driven by the script side's event
// dispatch: Tab and Shift-Tab move the focus between the fields, a key runs
// the focused field's actor, Esc closes the window, and the console's
// prompt comes back whole. Skipped when tmux is not installed.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"
#include "tests/support/tmux.h"

namespace qor::test {
namespace {

using namespace qor::test::tmux;

constexpr const char* script = R"(Qor []
field: func [name at][
	make face! [
		type: 'field offset: at size: 10x1 text: copy name flags: 'focusable
		actors: object [
			on-focus: func [face event][print ["focus" face/text]]
			on-key: func [face event][if event/key = #"!" [print ["key on" face/text]]]
		]
	]
]
win: make face! [type: 'window size: 20x3 pane: reduce [field "one" 0x0 field "two" 0x1 field "three" 0x2]]
view win
print "closed"
)";

class EventsInTmux : public TempDirTest {};

TEST_F(EventsInTmux, TabMovesTheFocusAKeyRunsAnActorAndEscCloses) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    put("fields.qor", script);
    Tmux tmux;
    tmux.start("HOME=" + sh_quoted(dir_) + " " + sh_quoted(QOR_BINARY) + " --catch " + sh_quoted(path("fields.qor")) +
               "; echo EXIT=$?; sleep 60");
    ASSERT_TRUE(tmux.wait_for("one")) << tmux.screen();

    tmux.keys("Tab");
    ASSERT_TRUE(tmux.wait_for("focus two")) << tmux.screen();
    tmux.keys("Tab");
    ASSERT_TRUE(tmux.wait_for("focus three")) << tmux.screen();
    tmux.keys("BTab");
    ASSERT_TRUE(tmux.wait_for("focus two", 2)) << tmux.screen();
    tmux.text("!");
    ASSERT_TRUE(tmux.wait_for("key on two")) << tmux.screen();

    tmux.keys("Escape");
    ASSERT_TRUE(tmux.wait_for("closed\n>>")) << tmux.screen();
    tmux.text("1 + 1");
    tmux.keys("Enter");
    ASSERT_TRUE(tmux.wait_for(">> 1 + 1\n== 2\n>>")) << tmux.screen();
    tmux.text("q");
    tmux.keys("Enter");
    ASSERT_TRUE(tmux.wait_for("EXIT=0")) << tmux.screen();
}

}  // namespace
}  // namespace qor::test
