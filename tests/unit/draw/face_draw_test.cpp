// Faces' draw blocks rendered into the terminal's grid: the widget's corner
// is the origin and its rectangle the clip; text keeps the backgrounds
// under it; rich-text faces drawn with their style ranges; and the style
// operations on styled characters.
#include <gtest/gtest.h>

#include "tests/unit/view/view_fixture.h"
#include "view/draw/draw_state.h"
#include "view/draw/text_styles.h"
#include "view/terminal/face_render.h"

namespace qor::test {
namespace {

class FaceDrawTest : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        run("face!: make object! [type: 'base text: none color: none font: none para: none options: none "
            "data: none size: none draw: none pane: none state: none] ()");
    }
    static const tui::GridCell& cell(int x, int y) { return tui::backend().grid.at(x, y); }
};

TEST_F(FaceDrawTest, TheDrawBlockIsDrawnInsideTheWidget) {
    // A child at 3x1 of size 5x3 whose drawing reaches far outside it.
    run("c: make face! [draw: [fill-pen 255.0.0 box 0x0 40x40 pen 0.0.255 line 0x0 40x0 text 1x1 \"hi\"]] ()");
    run("w: make face! [pane: reduce [c]] ()");
    tui::Widget* root = window("w", 12, 6);
    show("c", root, {3, 1, 5, 3});
    tui::render_window(*root, 80, 24);
    EXPECT_EQ(rows(), (std::vector<std::u32string>{
                          U"            ",
                          U"   \u2588\u2588\u2588\u2588\u2588    ",
                          U"   \u2502hi      ",
                          U"   \u2502        ",
                          U"            ",
                          U"            ",
                      }));
    EXPECT_EQ(cell(4, 2).bg, tui::colour::rgb(255, 0, 0));  // the text keeps the fill under it
    EXPECT_EQ(cell(4, 2).fg, tui::colour::rgb(0, 0, 255));  // in the pen's colour
    EXPECT_EQ(cell(3, 1).fg, tui::colour::rgb(0, 0, 255));
    EXPECT_EQ(cell(8, 2).bg, 0u);
    EXPECT_EQ(cell(2, 2).bg, 0u);
}

TEST_F(FaceDrawTest, TextWrapsInsideTheWidgetAndTakesEscapeSequences) {
    run("c: make face! [draw: [text 1x0 \"\"]] ()");
    run("c/draw/3: rejoin [\"ab\" #\"^(1B)\" \"[1mcd\" #\"^(1B)\" \"[0mef\" newline \"g\"] ()");
    run("w: make face! [pane: reduce [c]] ()");
    tui::Widget* root = window("w", 8, 4);
    show("c", root, {2, 0, 4, 4});
    tui::render_window(*root, 80, 24);
    // From column 3, wrapping at the face's right edge back to column 3.
    EXPECT_EQ(rows(), (std::vector<std::u32string>{U"   abc  ", U"   def  ", U"   g    ", U"        "}));
    EXPECT_EQ(cell(4, 0).attrs, 0u);
    EXPECT_EQ(cell(5, 0).attrs, tui::attr::bold);
    EXPECT_EQ(cell(3, 1).attrs, tui::attr::bold);
    EXPECT_EQ(cell(4, 1).attrs, 0u);
}

TEST_F(FaceDrawTest, AnErrorInADrawBlockLeavesWhatWasDrawn) {
    run("w: make face! [draw: [line 0x0 2x0 circle 1x1 \"3\"]] ()");
    tui::Widget* root = window("w", 4, 1);
    try {
        tui::render_window(*root, 80, 24);
        ADD_FAILURE() << "no error";
    } catch (const error::Raised& e) {
        EXPECT_TRUE(e.is(error::Id::draw_invalid));
    }
    EXPECT_EQ(rows()[0], U"\u2588\u2588\u2588 ");
}

TEST_F(FaceDrawTest, RichTextFacesAreDrawnWithTheirStyles) {
    run("r: make face! [type: 'rich-text text: \"abcdef\" size: 8x1 para: make object! [wrap?: false align: 'right "
        "v-align: none] data: [2x2 bold 4x10 0.255.0 backdrop 0.0.255 1x1 underline italic strike]] ()");
    run("w: make face! [draw: [text 1x0 r]] ()");
    tui::Widget* root = window("w", 10, 1);
    tui::render_window(*root, 80, 24);
    // Right-aligned in the rich-text face's 8 cells, from 1x0.
    EXPECT_EQ(rows()[0], U"   abcdef ");
    EXPECT_EQ(cell(3, 0).attrs, tui::attr::underline | tui::attr::italic | tui::attr::strike);
    EXPECT_EQ(cell(4, 0).attrs, tui::attr::bold);
    EXPECT_EQ(cell(5, 0).attrs, tui::attr::bold);
    EXPECT_EQ(cell(6, 0).attrs, 0u);
    // The range 4x10 runs past the text: cut at its last character.
    for (int x = 6; x <= 8; x++) {
        EXPECT_EQ(cell(x, 0).fg, tui::colour::rgb(0, 255, 0)) << x;
        EXPECT_EQ(cell(x, 0).bg, tui::colour::rgb(0, 0, 255)) << x;
    }
    EXPECT_EQ(cell(9, 0).bg, 0u);
}

TEST(TextStyles, RangesAreCutToTheText) {
    std::vector<tui::GridCell> cells(4, tui::GridCell{'x', 0, 0, 0});
    draw::style_attribute(cells, 2, 100, tui::attr::bold);
    draw::style_foreground(cells, -5, 6, 7);
    draw::style_background(cells, 4, 3, 9);
    draw::style_background(cells, 1, 0, 9);
    EXPECT_EQ(cells[0], (tui::GridCell{'x', 0, 7, 0}));
    EXPECT_EQ(cells[1], (tui::GridCell{'x', 0, 0, 0}));
    EXPECT_EQ(cells[2], (tui::GridCell{'x', 0, 0, tui::attr::bold}));
    EXPECT_EQ(cells[3], (tui::GridCell{'x', 0, 0, tui::attr::bold}));
}

}  // namespace
}  // namespace qor::test
