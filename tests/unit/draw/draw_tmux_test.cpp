// A face's draw block through the real `qor` in a real terminal (a tmux
// pane): a window holding a face whose drawing reaches far past it is
// shown by `view`, and the pane shows the box, the text and the line cut
// to the face. Skipped when tmux is not installed.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"
#include "tests/support/tmux.h"

namespace qor::test {
namespace {

using namespace tmux;

constexpr const char* script = R"(Qor []
win: make face! [
	type: 'window size: 24x4 text: ""
	pane: reduce [
		make face! [type: 'base offset: 2x0 size: 12x4 draw: [
			fill-pen 0.0.255 box 0x0 11x3 text 2x1 "drawn" line 0x3 2000000000x3
		]]
	]
]
print "before view"
view win
)";

class DrawTerminal : public TempDirTest {};

TEST_F(DrawTerminal, AFacesDrawingIsShownInsideIt) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    put("draw.qor", script);
    Tmux t;
    t.start("cd " + sh_quoted(dir_) + " && HOME=" + sh_quoted(dir_) + " " + sh_quoted(QOR_BINARY) +
            " draw.qor; echo EXIT=$?; sleep 60");
    const std::string drawn = "before view\n"
                              "  \u250C\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2510\n"
                              "  \u2502 drawn    \u2502\n"
                              "  \u2502          \u2502\n"
                              "  \u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588";
    EXPECT_TRUE(t.wait_for(drawn)) << t.screen();
    t.keys("C-c");
    EXPECT_TRUE(t.wait_for("EXIT=")) << t.screen();
}

}  // namespace
}  // namespace qor::test
