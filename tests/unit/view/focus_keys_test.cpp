// Keys from the terminal engine through the script side's dispatch: Tab and
// Shift-Tab move the focus between the fields of a window (the window's
// `selected` names the face to focus), a key reaches the focused face's
// actor, and the focus of the widgets is what the check boxes and lists
// read to render themselves.
#include <gtest/gtest.h>

#include "tests/unit/view/view_fixture.h"
#include "view/terminal/input_events.h"

namespace qor::test {
namespace {

using tui::Widget;

class FocusKeysTest : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        run("proto: make object! [type: 'field offset: 0x0 size: 10x1 text: none data: none enabled?: true "
            "visible?: true selected: none flags: 'focusable options: none parent: none pane: none state: none "
            "actors: none] log: copy [] ()");
        run("win: make proto [type: 'window flags: none pane: copy []] "
            "f1: make proto [text: \"one\" parent: win] "
            "f2: make proto [text: \"two\" parent: win offset: 0x1 "
            "  actors: object [on-key: func [f e][append log e/key]]] "
            "f3: make proto [text: \"three\" parent: win offset: 0x2 enabled?: false] "
            "append win/pane reduce [f1 f2 f3] ()");
        root = window("win", 20, 3);
        w1 = show("f1", root, {0, 0, 10, 1}, tui::widget_flag::focusable);
        w2 = show("f2", root, {0, 1, 10, 1}, tui::widget_flag::focusable);
        (void)show("f3", root, {0, 2, 10, 1}, tui::widget_flag::focusable);
    }

    static std::string selected() { return run("win/selected/text"); }

    Widget* root = nullptr;
    Widget* w1 = nullptr;
    Widget* w2 = nullptr;
};

TEST_F(FocusKeysTest, TabAndShiftTabPickTheNextFocusableFaceOfTheWindow) {
    tui::set_focus(w1);
    tui::deliver_key(nullptr, 9, false);
    EXPECT_EQ(selected(), "== \"two\"\n");
    // From the last enabled field both ways wrap round the window, skipping
    // the disabled one.
    tui::set_focus(w2);
    tui::deliver_key(nullptr, 9, false);
    EXPECT_EQ(selected(), "== \"one\"\n");
    run("win/selected: none ()");
    tui::deliver_key(nullptr, event::key::back_tab, true);
    EXPECT_EQ(selected(), "== \"one\"\n");
    tui::set_focus(w1);
    tui::deliver_key(nullptr, event::key::back_tab, true);
    EXPECT_EQ(selected(), "== \"two\"\n");
}

TEST_F(FocusKeysTest, KeysReachTheFocusedFacesActorAndTabIsNotPassedOn) {
    tui::set_focus(w2);
    tui::deliver_key(nullptr, '!', false);
    tui::deliver_key(nullptr, 9, false);
    tui::deliver_key(nullptr, event::key::left, true);
    // The key-down of Tab is taken by the focus move; its key event still
    // comes, as every key's does.
    EXPECT_EQ(run("log"), "== [#\"!\" #\"^-\" left]\n");
}

TEST_F(FocusKeysTest, TheHelpersSeeTheWidgetsFocusAndData) {
    run("l: make proto [type: 'text-list data: [a b c] selected: none parent: win] ()");
    Widget* list = show("l", root, {10, 0, 5, 3}, tui::widget_flag::focusable);
    EXPECT_EQ(run("reduce [TUI-helpers/make-text-list-ui l l/selected]"), "== [{a^/b^/c^/} none]\n");
    tui::set_focus(list);
    EXPECT_EQ(run("reduce [TUI-helpers/make-text-list-ui l l/selected]"),
              "== [{^[[7ma^/^[[27mb^/c^/} 1]\n");
    list->data = 1;
    run("l/selected: 3 ()");
    EXPECT_EQ(run("TUI-helpers/make-text-list-ui l"), "== \"b^/^[[7mc^/^[[27m\"\n");
    run("c: make proto [type: 'check data: true text: \"x\" parent: win] ()");
    Widget* check = show("c", root, {15, 0, 3, 1});
    run("TUI-helpers/make-checkbox-ui c ()");
    EXPECT_EQ(type_of(check->ui), TypeId::string);
}

}  // namespace
}  // namespace qor::test
