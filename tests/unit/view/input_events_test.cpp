// Decoded input delivered as events: keys to the focused widget, mouse
// presses, clicks, double clicks, motion and the wheel to the widgets under
// the pointer, through class handlers and the script side's awake handler;
// events read after their dispatch; errors and throws inside awake.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/memory/call_stack.h"
#include "tests/unit/view/view_fixture.h"
#include "view/terminal/dispatch.h"
#include "view/terminal/input_events.h"

namespace qor::test {
namespace {

using tui::Widget;

class InputEventsTest : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        run("face!: make object! [text: none pane: none state: none] ()");
        run("log: copy [] offsets: copy [] kept: none answer: none fail: none ()");
        run("system/view: make object! [screens: none platform: none "
            "awake: func [e /with face] ["
            "  kept: e "
            "  append log rejoin [e/type \"@\" e/face/text] "
            "  if find [key key-down] e/type [append log e/key if e/shift? [append log 'shift]] "
            "  if find [down up click dbl-click over] e/type [append offsets e/offset] "
            "  if e/away? [append log 'away] "
            "  if e/type = 'wheel [append log e/picked] "
            "  if fail = e/type [fail: none 1 / 0] "
            "  answer]] ()");
    }

    // Feeds bytes through the decoder into the engine.
    static void input(const std::string& bytes) {
        tui::InputDecoder d;
        tui::InputEvents sink;
        d.append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        d.decode(sink, 0);
    }

    // The window w of the size, whose pane holds the face a at the rectangle.
    static Widget* window_and_child(int width, int height, tui::Rect rect, uint32_t flags = 0) {
        run("a: make face! [text: \"a\"] w: make face! [text: \"w\" pane: reduce [a]] ()");
        return show("a", window("w", width, height), rect, flags);
    }

    static std::string log() { return run("log"); }
    static void clear_log() { run("clear log clear offsets ()"); }

    // The offsets the handler saw, as "x,y".
    static std::vector<std::string> offsets() {
        std::vector<std::string> out;
        const Cell b = value("offsets");
        for (uint32_t i = 0; i < series_tail::cell_count(b); i++) {
            const Cell p = *series_tail::cell_at(b, i);
            out.push_back(std::to_string(get_int(p)) + "," + std::to_string(static_cast<int32_t>(p.w3)));
        }
        return out;
    }
};

TEST_F(InputEventsTest, AMouseReportGivesDownUpAndClickInTheAreasFrame) {
    run("w: make face! [text: \"w\"] ()");
    window("w", 20, 5);
    tui::backend().terminal.origin_row = 9;  // the area starts on terminal row 10
    input("\x1B[<0;5;12M\x1B[<0;5;12m");
    EXPECT_EQ(log(), "== [\"down@w\" \"up@w\" \"click@w\"]\n");
    EXPECT_EQ(offsets(), (std::vector<std::string>{"4,2", "4,2", "4,2"}));
}

TEST_F(InputEventsTest, ASecondClickSoonAfterIsADoubleClick) {
    run("w: make face! [text: \"w\"] ()");
    window("w", 10, 2);
    input("\x1B[<0;1;1M\x1B[<0;1;1m\x1B[<0;1;1M\x1B[<0;1;1m");
    EXPECT_EQ(log(), "== [\"down@w\" \"up@w\" \"click@w\" \"down@w\" \"up@w\" \"click@w\" \"dbl-click@w\"]\n");
    // The third click starts afresh; one after the double-click window is single.
    clear_log();
    input("\x1B[<0;1;1M\x1B[<0;1;1m");
    tui::backend().click_hold = tui::double_click_ms;
    input("\x1B[<0;1;1M\x1B[<0;1;1m");
    EXPECT_EQ(log(), "== [\"down@w\" \"up@w\" \"click@w\" \"down@w\" \"up@w\" \"click@w\"]\n");
}

TEST_F(InputEventsTest, PressesGoToTheDeepestWidgetAndUpUntilOneTakesThem) {
    window_and_child(10, 4, {2, 1, 3, 2});
    input("\x1B[<0;4;3M");
    EXPECT_EQ(log(), "== [\"down@a\" \"down@w\"]\n");
    EXPECT_EQ(offsets(), (std::vector<std::string>{"1,1", "3,2"}));
    // A handler that answers done keeps it from the parent.
    clear_log();
    run("answer: 'done ()");
    input("\x1B[<0;4;3m");
    EXPECT_EQ(log(), "== [\"up@a\" \"click@a\"]\n");
}

TEST_F(InputEventsTest, MotionTellsTheWidgetsLeftAndEntered) {
    run("a: make face! [text: \"a\"] b: make face! [text: \"b\"] w: make face! [text: \"w\" pane: reduce [a b]] ()");
    Widget* root = window("w", 10, 2);
    show("a", root, {0, 0, 3, 1});
    Widget* b = show("b", root, {5, 0, 3, 1});
    input("\x1B[<35;2;1M");
    EXPECT_EQ(log(), "== [\"over@w\" \"over@a\"]\n");
    clear_log();
    input("\x1B[<35;3;1M");  // still over a: nothing new
    input("\x1B[<35;7;1M");
    EXPECT_EQ(log(), "== [\"over@a\" away \"over@b\"]\n");
    EXPECT_EQ(offsets(), (std::vector<std::string>{"1,0", "1,0"}));
    // A widget that wants all motion hears every move over it.
    clear_log();
    b->flags |= tui::widget_flag::all_over;
    input("\x1B[<35;8;1M\x1B[<35;7;1M");
    EXPECT_EQ(log(), "== [\"over@b\" \"over@b\"]\n");
}

TEST_F(InputEventsTest, TheWheelGoesFromTheWidgetUnderThePointerUp) {
    window_and_child(10, 2, {0, 0, 3, 1});
    input("\x1B[<64;1;1M\x1B[<65;1;2M");
    EXPECT_EQ(log(), "== [\"wheel@a\" 1.0 \"wheel@w\" 1.0 \"wheel@w\" -1.0]\n");
}

TEST_F(InputEventsTest, KeysGoToTheFocusedWidget) {
    Widget* a = window_and_child(10, 2, {0, 0, 3, 1}, tui::widget_flag::focusable);
    ASSERT_EQ(tui::backend().focused, a);  // the first focusable widget takes the focus
    clear_log();
    input("x\x1B[A\x1B[Z\x1B[3~");
    EXPECT_EQ(log(),
              "== [\"key-down@a\" #\"x\" \"key@a\" #\"x\" \"key-down@a\" up \"key@a\" up "
              "\"key-down@a\" #\"^-\" shift \"key@a\" #\"^-\" shift \"key-down@a\" delete \"key@a\" delete]\n");
    // Taken at key-down, the key goes no further.
    clear_log();
    run("answer: 'done ()");
    input("y");
    EXPECT_EQ(log(), "== [\"key-down@a\" #\"y\"]\n");
    // A disabled widget gets nothing.
    clear_log();
    a->flags |= tui::widget_flag::disabled;
    input("z");
    EXPECT_EQ(log(), "== []\n");
}

// The class handler comes after the script side for keys, before it for
// everything else.
std::vector<std::string> handled;
int record_handler(Widget&, event::Type type, event::Record& r) {
    handled.push_back(std::to_string(static_cast<int>(type)) + ":" + std::to_string(r.key));
    return 0;
}

TEST_F(InputEventsTest, ClassHandlersAndTheScriptSide) {
    run("w: make face! [text: \"w\"] ()");
    Widget* root = window("w", 10, 2);
    root->on_event = record_handler;
    tui::set_focus(root);
    handled.clear();
    clear_log();
    input("q\x1B[<0;1;1M");
    EXPECT_EQ(handled, (std::vector<std::string>{"13:113", "1:0"}));
    EXPECT_EQ(log(), "== [\"key-down@w\" #\"q\" \"key@w\" #\"q\" \"down@w\"]\n");
}

TEST_F(InputEventsTest, AClickGivesTheFocusToAFocusableWidget) {
    run("a: make face! [text: \"a\"] b: make face! [text: \"b\"] w: make face! [text: \"w\" pane: reduce [a b]] ()");
    Widget* root = window("w", 10, 2);
    Widget* a = show("a", root, {0, 0, 3, 1}, tui::widget_flag::focusable);
    Widget* b = show("b", root, {5, 0, 3, 1}, tui::widget_flag::focusable);
    EXPECT_EQ(tui::backend().focused, a);
    run("answer: 'done ()");
    clear_log();
    input("\x1B[<0;6;1M\x1B[<0;6;1m");
    EXPECT_EQ(log(), "== [\"down@b\" \"up@b\" \"click@b\" \"unfocus@a\" \"focus@b\"]\n");
    EXPECT_EQ(tui::backend().focused, b);
    EXPECT_TRUE(b->has(tui::widget_flag::focused));
    EXPECT_FALSE(a->has(tui::widget_flag::focused));
}

TEST_F(InputEventsTest, AnEventKeptAfterItsDispatchReadsNone) {
    run("w: make face! [text: \"w\"] ()");
    window("w", 10, 2);
    tui::set_focus(tui::backend().active);
    input("k");
    EXPECT_EQ(run("reduce [kept/type kept/face kept/key kept/offset kept/picked kept/flags]"),
              "== [key none none none none []]\n");
}

TEST_F(InputEventsTest, ErrorsAndThrowsInAwakeStayThere) {
    run("w: make face! [text: \"w\"] ()");
    Widget* root = window("w", 10, 2);
    tui::set_focus(root);
    const size_t depth = stack::call_depth();
    run("fail: 'key-down ()");
    clear_log();
    input("ab");
    EXPECT_EQ(log(), "== [\"key-down@w\" #\"a\" \"key@w\" #\"a\" \"key-down@w\" #\"b\" \"key@w\" #\"b\"]\n");
    // throw, break and return stop at the dispatch too.
    for (const char* exit : {"throw 1", "break", "return 2", "exit"}) {
        run(std::string("system/view/awake: func [e] [append log 'in ") + exit + " append log 'after] ()");
        clear_log();
        input("c");
        EXPECT_EQ(log(), "== [in in]\n") << exit;
    }
    EXPECT_EQ(stack::call_depth(), depth);
}

TEST_F(InputEventsTest, AHandlerThatDestroysTheWidgetStopsTheDelivery) {
    Widget* a = window_and_child(10, 2, {0, 0, 3, 1});
    static uint32_t doomed = 0;
    doomed = a->id;
    a->on_event = [](Widget& w, event::Type, event::Record&) {
        if (w.id == doomed) tui::destroy_widget(&w);
        return 0;
    };
    clear_log();
    input("\x1B[<0;1;1M\x1B[<0;1;1m");
    // Its parent heard nothing of the press; the release, with no press
    // behind it, is no click.
    EXPECT_EQ(tui::find_widget(doomed), nullptr);
    EXPECT_EQ(log(), "== [\"up@w\"]\n");
}

}  // namespace
}  // namespace qor::test
