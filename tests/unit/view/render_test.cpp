// Rendering faces into the cell grid: backgrounds and text colours,
// alignment, hints, wide characters, escape sequences, control characters,
// clipping, overlapping children and hit testing.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/unit/view/view_fixture.h"
#include "view/terminal/face_render.h"

namespace qor::test {
namespace {

using tui::attr::bold;
using tui::attr::continuation;
using tui::attr::dim;

class RenderTest : public ViewTest {
protected:
    // A face prototype with the fields the renderer reads.
    void SetUp() override {
        ViewTest::SetUp();
        run("face!: make object! [text: none color: none font: none para: none options: none "
            "draw: none pane: none state: none] ()");
        run("font!: make object! [color: none] ()");
        run("para!: make object! [wrap?: false align: none v-align: none] ()");
    }

    // Renders the window of the face at the size.
    std::vector<std::u32string> render(std::string_view face_word, int width, int height) {
        tui::Widget* root = window(face_word, width, height);
        tui::render_window(*root, 80, 24);
        return rows();
    }

    static const tui::GridCell& cell(int x, int y) { return tui::backend().grid.at(x, y); }
};

// Tuples need the tuple! datatype's lexer form, so colours are poked into
// the faces as cells.
void set_colour(std::string_view object_word, uint8_t r, uint8_t g, uint8_t b, int length = 3, uint8_t a = 0) {
    Cell t{to_int(TypeId::tuple) | static_cast<uint32_t>(length) << cell_flag::tuple_length_shift, 0, 0, 0};
    const uint8_t bytes[4] = {r, g, b, a};
    std::memcpy(&t.w1, bytes, 4);
    const Cell object = *context::value_cell(word::load(object_word));
    const int32_t i = context::find_word(object.w1, symbol::make("color"), true);
    ASSERT_GE(i, 0);
    *context::value_cell_at(object.w1, static_cast<uint32_t>(i)) = t;
}

TEST_F(RenderTest, BackgroundTextColourAndAlignment) {
    run("f: make face! [text: \"hi\" font: make font! [] para: make para! [align: 'center v-align: 'middle]] ()");
    set_colour("f", 255, 0, 0);
    run("fnt: f/font ()");
    set_colour("fnt", 255, 255, 255);
    EXPECT_EQ(render("f", 6, 3), (std::vector<std::u32string>{U"      ", U"  hi  ", U"      "}));
    EXPECT_EQ(cell(0, 0).bg, tui::colour::palette(196));
    EXPECT_EQ(cell(2, 1).fg, tui::colour::palette(231));
    EXPECT_EQ(cell(2, 1).bg, tui::colour::palette(196));

    run("f/para/align: 'right f/para/v-align: 'bottom ()");
    EXPECT_EQ(render("f", 5, 2), (std::vector<std::u32string>{U"     ", U"   hi"}));
}

TEST_F(RenderTest, AnOpaqueAlphaIsTheDefaultColour) {
    run("f: make face! [text: \"x\"] ()");
    set_colour("f", 255, 0, 0, 4, 255);
    render("f", 2, 1);
    EXPECT_EQ(cell(0, 0).bg, 0u);
    set_colour("f", 255, 0, 0, 4, 0);
    render("f", 2, 1);
    EXPECT_EQ(cell(0, 0).bg, tui::colour::palette(196));
}

TEST_F(RenderTest, AnEmptyTextShowsTheHintDimmed) {
    run("f: make face! [text: \"\" options: [hint: \"name?\"]] ()");
    EXPECT_EQ(render("f", 6, 1)[0], U"name? ");
    EXPECT_EQ(cell(0, 0).attrs, dim);
    run("f/text: \"bob\" ()");
    EXPECT_EQ(render("f", 6, 1)[0], U"bob   ");
    EXPECT_EQ(cell(0, 0).attrs, 0u);
}

TEST_F(RenderTest, LinesWrappingAndWideCharacters) {
    run("f: make face! [text: \"ab^/cdefg\"] ()");
    EXPECT_EQ(render("f", 4, 3), (std::vector<std::u32string>{U"ab  ", U"cdef", U"    "}));
    run("f/para: make para! [wrap?: true] ()");
    EXPECT_EQ(render("f", 4, 3), (std::vector<std::u32string>{U"ab  ", U"cdef", U"g   "}));
    // A wide character that would be cut by the right edge is not drawn half.
    run("f/para: none f/text: \"a^(4E2D)^(6587)\" ()");
    render("f", 4, 1);
    EXPECT_EQ(cell(1, 0).ch, 0x4E2Du);
    EXPECT_EQ(cell(2, 0).attrs, continuation);
    EXPECT_EQ(cell(3, 0).ch, static_cast<uint32_t>(' '));
    EXPECT_EQ(cell(3, 0).attrs, 0u);
}

TEST_F(RenderTest, EscapeSequencesInTheTextStyleIt) {
    run("f: make face! [text: rejoin [\"^[[1mbold^[[0m plain ^[[38;5;196;48;2;1;2;3mred^[[31;22mx^[[2J\"]] ()");
    EXPECT_EQ(render("f", 16, 1)[0], U"bold plain redx ");
    EXPECT_EQ(cell(0, 0).attrs, bold);
    EXPECT_EQ(cell(4, 0).attrs, 0u);
    EXPECT_EQ(cell(11, 0).fg, tui::colour::palette(196));
    EXPECT_EQ(cell(11, 0).bg, tui::colour::rgb(1, 2, 3));
    EXPECT_EQ(cell(14, 0).fg, tui::colour::basic(1));
}

TEST_F(RenderTest, ControlCharactersAreDrawnVisibly) {
    run("f: make face! [text: rejoin [\"a^-b^Mc\" #\"^(1B)\" \"]0;x\" #\"^(9B)\" \"d\"]] ()");
    EXPECT_EQ(render("f", 12, 1)[0], U"a\u2409b\u240Dc\u241B]0;x\uFFFDd");
    // Without escape interpretation an introducer is drawn too.
    tui::Widget* root = tui::backend().active;
    tui::render_face(0, 0, *root, 0);
    EXPECT_EQ(rows()[0], U"a\u2409b\u240Dc\u241B]0;x\uFFFDd");
}

TEST_F(RenderTest, ChildrenAreClippedToTheirParentAndLaterOnesAreOnTop) {
    run("a: make face! [text: \"AAAAAA\"] b: make face! [text: \"BBB\"] c: make face! [text: \"CCCC\"] ()");
    run("p: make face! [pane: reduce [a]] w: make face! [pane: reduce [p b]] ()");
    run("a/pane: reduce [c] ()");
    tui::Widget* root = window("w", 8, 3);
    tui::Widget* p = show("p", root, {1, 0, 4, 2});
    tui::Widget* a = show("a", p, {1, 1, 5, 1});
    tui::Widget* b = show("b", root, {2, 1, 3, 1});
    (void)show("c", a, {2, 0, 9, 1});
    tui::render_window(*root, 80, 24);
    // a is cut by p's right edge; b, later in the window's pane, covers it.
    EXPECT_EQ(rows(), (std::vector<std::u32string>{U"        ", U"  BBBCC ", U"        "}));
    EXPECT_EQ(tui::face_at(*root, 3, 1), b);
    EXPECT_EQ(tui::face_at(*root, 1, 1), p);
    EXPECT_EQ(tui::face_at(*p, 4, 1), a);
    EXPECT_EQ(tui::face_at(*root, 7, 2), nullptr);
    b->flags |= tui::widget_flag::hidden;
    EXPECT_EQ(tui::face_at(*root, 3, 1), p);
    tui::render_window(*root, 80, 24);
    EXPECT_EQ(rows()[1], U"  AACCC ");
}

TEST_F(RenderTest, TheGridIsTheWindowCutToTheScreen) {
    run("w: make face! [] ()");
    tui::Widget* root = window("w", 300, 100);
    tui::render_window(*root, 80, 24);
    EXPECT_EQ(tui::backend().grid.width(), 80);
    EXPECT_EQ(tui::backend().grid.height(), 24);
}

TEST_F(RenderTest, MeasuringText) {
    run("t: \"ab^(4E2D)c^/de\" ()");
    const Cell t = value("t");
    tui::TextSize s = tui::measure_text(t, 100);
    EXPECT_EQ(s.width, 5);
    EXPECT_EQ(s.lines, 2);
    EXPECT_EQ(s.count, 7u);
    // The wide character passes a limit of 3: it is given back.
    s = tui::measure_text(t, 3);
    EXPECT_EQ(s.width, 2);
    EXPECT_EQ(s.count, 2u);
}

}  // namespace
}  // namespace qor::test
