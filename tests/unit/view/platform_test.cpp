// The widgets behind real faces: made by `show`, kept in step by the faces'
// change handlers through the platform routines, and destroyed when faces
// leave a pane or a window closes, however the removal is made.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/view/view_fixture.h"
#include "view/terminal/face_render.h"
#include "view/terminal/platform.h"

namespace qor::test {
namespace {

using tui::Widget;

class PlatformTest : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        run("w: make face! [type: 'window size: 12x3 pane: reduce ["
            "  a: make face! [type: 'text offset: 1x0 size: 5x1 text: \"alpha\"]"
            "  b: make face! [type: 'text offset: 1x1 size: 4x1 text: \"beta\" flags: [focusable all-over]]"
            "  c: make face! [type: 'text offset: 1x2 size: 5x1 text: \"gamma\" visible?: no enabled?: no]"
            "]] view/no-wait w ()");
    }

    static Widget* widget(std::string_view face_word) { return tui::widget_of_face(value(face_word)); }

    static std::u32string row(int y) {
        tui::render_window(*tui::backend().active, 80, 24);
        return rows().at(static_cast<size_t>(y));
    }
};

TEST_F(PlatformTest, WidgetsFollowTheFacesRectanglesAndFlags) {
    Widget* root = widget("w");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(tui::backend().active, root);
    EXPECT_EQ(tui::width_of(*root), 12);
    EXPECT_EQ(tui::height_of(*root), 3);
    // The window's text is its title, not drawn as content.
    EXPECT_EQ(row(0), U" alpha      ");

    Widget* b = widget("b");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->parent, root);
    EXPECT_EQ(b->x1, 1);
    EXPECT_EQ(b->y1, 1);
    EXPECT_EQ(tui::width_of(*b), 4);
    EXPECT_TRUE(b->has(tui::widget_flag::focusable));
    EXPECT_TRUE(b->has(tui::widget_flag::all_over));
    EXPECT_TRUE(b->has(tui::widget_flag::size_pair));
    // The first focusable widget of the window took the focus.
    EXPECT_EQ(tui::backend().focused, b);

    Widget* c = widget("c");
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->has(tui::widget_flag::hidden));
    EXPECT_TRUE(c->has(tui::widget_flag::disabled));
    EXPECT_EQ(row(2), U"            ");

    // Assignments reach the widget at once.
    run("b/offset: 6x1 b/size: 3x1 c/visible?: yes c/enabled?: yes b/flags: 'focusable ()");
    EXPECT_EQ(b->x1, 6);
    EXPECT_EQ(tui::width_of(*b), 3);
    EXPECT_FALSE(b->has(tui::widget_flag::all_over));
    EXPECT_FALSE(c->has(tui::widget_flag::hidden));
    EXPECT_FALSE(c->has(tui::widget_flag::disabled));
    EXPECT_EQ(row(1), U"      bet   ");
    EXPECT_EQ(row(2), U" gamma      ");
    EXPECT_EQ(run("b/state/2"), "== 0\n");
}

TEST_F(PlatformTest, AFaceLeavingAPaneLosesItsWidgetHoweverItIsRemoved) {
    const size_t made = tui::backend().widgets.size();
    EXPECT_EQ(made, 4u);
    // `remove` is announced only after the face has gone.
    run("remove find w/pane a ()");
    EXPECT_EQ(run("a/state"), "== none\n");
    EXPECT_EQ(run("none? a/parent"), "== true\n");
    EXPECT_EQ(tui::backend().widgets.size(), made - 1);
    EXPECT_EQ(row(0), U"            ");
    // `take` and `clear` are announced before.
    run("take find w/pane b ()");
    EXPECT_EQ(run("b/state"), "== none\n");
    EXPECT_EQ(tui::backend().focused, nullptr);
    run("clear w/pane ()");
    EXPECT_EQ(run("c/state"), "== none\n");
    EXPECT_EQ(tui::backend().widgets.size(), 1u);
    // A face put back is shown again.
    run("append w/pane a ()");
    ASSERT_NE(widget("a"), nullptr);
    EXPECT_EQ(row(0), U" alpha      ");
}

TEST_F(PlatformTest, ClosingAWindowDestroysItsTreeAndEndsItsLoop) {
    // A window removed from the screen's pane after the fact is closed too.
    run("remove find system/view/screens/1/pane w ()");
    EXPECT_EQ(run("reduce [w/state a/state b/state]"), "== [none none none]\n");
    EXPECT_TRUE(tui::backend().widgets.empty());
    EXPECT_TRUE(tui::backend().windows.empty());
    EXPECT_EQ(tui::backend().active, nullptr);

    // The window a waiting loop blocks for ends that loop when it closes.
    run("view/no-wait w w/state/4: true ()");
    tui::backend().loop_depth = 1;
    run("unview ()");
    EXPECT_EQ(tui::backend().loop_depth, 0);
    // With no loop running, closing ends nothing.
    run("view/no-wait w w/state/4: true unview ()");
    EXPECT_EQ(tui::backend().loop_depth, 0);
}

}  // namespace
}  // namespace qor::test
