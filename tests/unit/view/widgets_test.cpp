// The widget classes on faces made as plain objects: field editing and its
// caret, buttons, check boxes and radios, lists, group-box frames, face
// images, timers from rates, updates from the changed mask and destroying
// face trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "runtime/core/error_fire.h"
#include "runtime/errors/raise.h"
#include "runtime/strings/string_core.h"
#include "runtime/unicode/char_width.h"
#include "tests/unit/view/view_fixture.h"
#include "view/terminal/dispatch.h"
#include "view/terminal/face_render.h"
#include "view/terminal/input_events.h"
#include "view/terminal/platform.h"
#include "view/terminal/widgets/widgets.h"

namespace qor::test {
namespace {

using tui::Widget;

class WidgetsTest : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        // Faces own their series and report changes, as the script side's do.
        run("log: copy [] ()");
        run("face!: make object! [type: 'base offset: 0x0 size: 10x1 text: none image: none color: none "
            "data: none enabled?: true visible?: true selected: none flags: none options: none parent: none "
            "pane: none state: none rate: none para: none font: none draw: none "
            "on-change*: func [word old new] [append log word "
            "  if all [series? :new word <> 'state] [modify new 'owned reduce [self word]] "
            "  if all [block? state word <> 'state] [state/2: state/2 or 1] ] "
            "on-deep-change*: func [owner word target action new index part] [append log action]] ()");
        run("system/view: make object! [screens: none platform: none "
            "awake: func [e /with face] [append log e/type]] ()");
        run("win: make face! [type: 'window size: 30x8 pane: copy []] ()");
    }

    // The window, shown and active.
    Widget* root() {
        if (!root_) root_ = window("win", 30, 8);
        return root_;
    }

    // Makes the widget of the face a global word holds, in the window, and
    // links the face to it through its state.
    Widget* make(std::string_view face_word) {
        run(std::string("append win/pane ") + std::string(face_word) + " ()");
        Widget* w = tui::make_view(value(face_word), root());
        run(std::string(face_word) + "/state: reduce [none 0 none false] ()");
        *series_tail::cell_at(tui::field(value(face_word), tui::Name::state), 0) =
            Cell{to_int(TypeId::handle), 0, w->id, 0xFFFFFFFF};
        return w;
    }

    // Types the keys (characters, or special codes below 0) at the widget.
    static void type(Widget* w, std::u32string_view keys) {
        for (char32_t k : keys) tui::deliver_key(w, static_cast<int32_t>(k), false);
    }
    static void special(Widget* w, int32_t code) { tui::deliver_key(w, code, true); }

    static void click(Widget* w, float x, float y) {
        event::Record r;
        r.x = x;
        r.y = y;
        (void)tui::deliver(*w, event::Type::click, r, 0);
    }

    std::vector<std::u32string> draw() {
        tui::render_window(*root(), 80, 24);
        return rows();
    }

    Widget* root_ = nullptr;
};

TEST_F(WidgetsTest, TypingIntoAFieldWithoutTextGivesItAStringThroughItsChangeHandler) {
    run("f: make face! [type: 'field size: 10x1] ()");
    Widget* w = make("f");
    run("clear log ()");
    type(w, U"ab");
    EXPECT_EQ(run("f/text"), "== \"ab\"\n");
    // The new string came through the face's on-change*, each key through
    // its on-deep-change* (the string is changed in place).
    EXPECT_EQ(run("log"), "== [key-down key text inserted key-down key inserted]\n");
    EXPECT_EQ(w->caret.index, 2);
    EXPECT_EQ(w->caret.column, 2);
}

TEST_F(WidgetsTest, FieldCaretMovesAndEdits) {
    struct Case {
        const char* text;
        std::vector<int32_t> keys;  // characters; left -23, right -22 are special
        const char* after;
        int32_t index;
        int32_t column;
    };
    const std::vector<Case> cases = {
        {"abc", {-23, -23, 'X'}, "aXbc", 2, 2},
        {"abc", {-23, 8}, "ac", 1, 1},
        {"abc", {2, 2, 127, 6, 'Z'}, "bZc", 2, 2},          // Ctrl-B twice, backspace, Ctrl-F
        {"abc", {-23, -23, -23, -23, 8, 'Q'}, "Qabc", 1, 1},  // stops at the start
        {"ab", {-22, -22, 'c'}, "abc", 3, 3},                 // stops at the end
        {"\xe4\xb8\xad", {'a'}, "\xe4\xb8\xad" "a", 2, 3},    // a wide character takes two columns
        {"\xe4\xb8\xad", {-23}, "\xe4\xb8\xad", 0, 0},
        {"ab", {9, 13, 10, 0, 27}, "ab", 2, 2},               // tab, enter and controls do nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        run(std::string("f: make face! [type: 'field size: 10x1 text: copy \"") + c.text + "\"] ()");
        Widget* w = make("f");
        for (int32_t k : c.keys) {
            if (k == -23 || k == -22) special(w, k);
            else tui::deliver_key(w, k, false);
        }
        EXPECT_EQ(run(std::string("f/text == \"") + c.after + "\""), "== true\n");
        EXPECT_EQ(w->caret.index, c.index);
        EXPECT_EQ(w->caret.column, c.column);
        tui::destroy_view(value("f"), false);
    }
}

TEST_F(WidgetsTest, AnErrorInTheFacesChangeHandlerEndsThereNotInTheEngine) {
    run("f: make face! [type: 'field size: 10x1 text: copy \"ab\" "
        "on-deep-change*: func [owner word target action new index part] [append log action 1 / 0]] ()");
    run("modify f/text 'owned reduce [f 'text] ()");
    Widget* w = make("f");
    run("clear log ()");
    type(w, U"c");
    tui::deliver_key(w, 8, false);
    EXPECT_EQ(run("log"), "== [key-down key inserted key-down key removed]\n");
    EXPECT_EQ(run("f/text"), "== \"ab\"\n");
    EXPECT_EQ(w->caret.index, 2);
}

TEST_F(WidgetsTest, AFullFieldIgnoresAKeyButTakesBackspace) {
    run("f: make face! [type: 'field size: 10x1 text: copy \"0123456789\"] ()");
    Widget* w = make("f");
    EXPECT_EQ(w->caret.index, 10);
    type(w, U"x");
    EXPECT_EQ(run("f/text"), "== \"0123456789\"\n");
    tui::deliver_key(w, 8, false);
    EXPECT_EQ(run("f/text"), "== \"012345678\"\n");
    // One cell is left: a wide character does not fit, a narrow one does.
    type(w, U"\u4e2d");
    EXPECT_EQ(run("f/text"), "== \"012345678\"\n");
    type(w, U"y");
    EXPECT_EQ(run("f/text"), "== \"012345678y\"\n");
}

// Random keys (narrow and wide characters, arrows, backspace) never take
// the caret out of the text or the typed text past the field's width, and
// the caret's column is always the width of the characters before it.
TEST_F(WidgetsTest, RandomKeysKeepTheCaretAndTheTextInStep) {
    run("f: make face! [type: 'field size: 7x1] ()");
    Widget* w = make("f");
    const int32_t keys[] = {'a', 'b', 0x4e2d, 0x00e9, 8, 127, -23, -22, 2, 6, 'z'};
    uint32_t seed = 12345;
    int32_t fullest = 0;
    for (int step = 0; step < 400; step++) {
        seed = seed * 1103515245u + 12345u;
        const int32_t k = keys[(seed >> 16) % std::size(keys)];
        if (k == -23 || k == -22) special(w, k);
        else tui::deliver_key(w, k, false);
        const Cell text = tui::field(value("f"), tui::Name::text);
        ASSERT_EQ(type_of(text), TypeId::string);
        const uint32_t n = str::length_at(text);
        int32_t before = 0, total = 0;
        for (uint32_t i = 0; i < n; i++) {
            const int cw = unicode::char_width(str::char_at(text, i));
            if (static_cast<int32_t>(i) < w->caret.index) before += cw;
            total += cw;
        }
        ASSERT_LE(w->caret.index, static_cast<int32_t>(n)) << step;
        ASSERT_GE(w->caret.index, 0) << step;
        ASSERT_EQ(w->caret.column, before) << step;
        ASSERT_EQ(w->caret.width, total) << step;
        ASSERT_LE(total, 7) << step;
        fullest = std::max(fullest, total);
    }
    EXPECT_GE(fullest, 6);  // the field was filled up on the way
}

TEST_F(WidgetsTest, TheCaretStaysWithinATextTheScriptShortened) {
    run("f: make face! [type: 'field size: 10x1 text: copy \"abcdef\"] ()");
    Widget* w = make("f");
    EXPECT_EQ(w->caret.index, 6);
    run("f/text: copy \"xy\" ()");
    tui::update_view(value("f"));
    EXPECT_EQ(w->caret.index, 2);
    EXPECT_EQ(w->caret.width, 2);
    // Also when the string is cut in place without an update.
    run("clear f/text ()");
    type(w, U"z");
    EXPECT_EQ(run("f/text"), "== \"z\"\n");
    EXPECT_EQ(w->caret.index, 1);
}

TEST_F(WidgetsTest, AFocusedFieldPlacesTheCaretAndAClickMovesIt) {
    run("f: make face! [type: 'field offset: 2x3 size: 10x1 text: copy \"hello\" flags: [focusable password]] ()");
    Widget* w = make("f");
    EXPECT_TRUE(w->has(tui::widget_flag::focused));
    EXPECT_TRUE(w->has(tui::widget_flag::shows_cursor));
    click(w, 2, 0);
    EXPECT_EQ(w->caret.index, 2);
    draw();
    EXPECT_TRUE(tui::backend().grid.at(2, 3).attrs & tui::attr::masked);
    EXPECT_EQ(tui::backend().caret_column, 4);
    EXPECT_EQ(tui::backend().caret_row, 3);
}

TEST_F(WidgetsTest, ButtonsAnswerTheSpaceKeyWithAClick) {
    run("b: make face! [type: 'button text: \"OK\"] ()");
    Widget* w = make("b");
    run("clear log ()");
    type(w, U" a");
    EXPECT_EQ(run("log"), "== [key-down key click key-down key]\n");
}

TEST_F(WidgetsTest, CheckBoxesToggleAndRadiosSelect) {
    run("TUI-helpers: make object! ["
        "make-checkbox-ui: func [face] [set-face-ui face rejoin [either face/data [\"X \"] [\"_ \"] face/text]] "
        "make-radio-ui: func [face] [if face/data [foreach f face/parent/pane [if all [f <> face f/type = 'radio] [f/data: false]]] "
        "  set-face-ui face rejoin [either face/data [\"o \"] [\". \"] face/text]]] ()");
    run("c: make face! [type: 'check text: \"tea\" offset: 0x0] ()");
    run("r1: make face! [type: 'radio text: \"a\" offset: 0x1 parent: win] "
        "r2: make face! [type: 'radio text: \"b\" offset: 0x2 parent: win data: true] ()");
    Widget* c = make("c");
    Widget* r1 = make("r1");
    make("r2");
    // The set-up already shows the mark, before the face is linked.
    EXPECT_EQ(draw()[0].substr(0, 6), U"_ tea ");
    run("clear log ()");
    click(c, 0, 0);
    EXPECT_EQ(run("c/data"), "== true\n");
    type(c, U" ");
    EXPECT_EQ(run("c/data"), "== false\n");
    run("c/data: 'maybe ()");
    click(c, 0, 0);
    EXPECT_EQ(run("c/data"), "== false\n");
    EXPECT_EQ(run("log"), "== [data change click key-down key data change data data change click]\n");
    click(r1, 0, 0);
    EXPECT_EQ(run("reduce [r1/data r2/data]"), "== [true false]\n");
    tui::update_view(value("r2"));
    const auto shown = draw();
    EXPECT_EQ(shown[1].substr(0, 4), U"o a ");
    EXPECT_EQ(shown[2].substr(0, 4), U". b ");
}

TEST_F(WidgetsTest, TextListsMoveTheirSelectionAndScroll) {
    run("TUI-helpers: make object! [make-text-list-ui: func [face] [face/text: form reduce [widget-data face face/selected]]] ()");
    run("l: make face! [type: 'text-list size: 10x3 data: [\"a\" \"b\" \"c\" \"d\" \"e\"] selected: 1] ()");
    Widget* w = make("l");
    EXPECT_EQ(run("l/text"), "== \"0 1\"\n");
    struct Step {
        int32_t key;  // 0: a click on the row
        int row;
        const char* shown;  // head and selection
    };
    const std::vector<Step> steps = {
        {-21, 0, "0 2"}, {-21, 0, "0 3"}, {-21, 0, "1 4"}, {-21, 0, "2 5"}, {-21, 0, "2 5"},
        {-20, 0, "2 4"}, {-20, 0, "2 3"}, {-20, 0, "1 2"}, {0, 2, "1 4"}, {0, 0, "1 2"},
    };
    for (const Step& s : steps) {
        if (s.key) special(w, s.key);
        else click(w, 0, static_cast<float>(s.row));
        EXPECT_EQ(run("l/text"), std::string("== \"") + s.shown + "\"\n") << s.key << " " << s.row;
    }
    // Items about to be removed under the head and the selection pull both
    // back (the notice comes before the removal).
    run("l/selected: 5 ()");
    w->data = 3;
    tui::FacetChange change;
    change.owner = value("l");
    change.word = word::load("data");
    change.value = value("l");
    change.action = word::load("remove");
    change.new_value = unset_cell;
    change.index = 1;
    change.part = 4;
    tui::update_facet(change);
    EXPECT_EQ(w->data, 1);
    EXPECT_EQ(run("l/selected"), "== 1\n");
}

TEST_F(WidgetsTest, DropDownsEditAndStepThroughTheirItems) {
    run("d: make face! [type: 'drop-down size: 8x1 data: [\"red\" \"green\" \"blue\"] "
        "on-change*: func [word old new] [append log word "
        "  if word = 'selected [set-quiet in self 'text copy pick data new]]] ()");
    Widget* w = make("d");
    special(w, -21);
    special(w, -21);
    EXPECT_EQ(run("reduce [d/selected d/text]"), "== [2 \"green\"]\n");
    EXPECT_EQ(w->caret.index, 5);
    type(w, U"!");
    EXPECT_EQ(run("d/text"), "== \"green!\"\n");
    special(w, -20);
    EXPECT_EQ(run("d/text"), "== \"red\"\n");
    run("dl: make face! [type: 'drop-list offset: 0x2 size: 8x1 data: [\"x\" \"y\"] selected: 1] ()");
    Widget* l = make("dl");
    click(l, 0, 0);
    EXPECT_EQ(run("dl/selected"), "== 2\n");
    click(l, 0, 0);
    EXPECT_EQ(run("dl/selected"), "== 1\n");
}

TEST_F(WidgetsTest, RatesStartAndStopTimers) {
    run("t: make face! [rate: 4] ()");
    Widget* w = make("t");
    ASSERT_EQ(tui::backend().timers.size(), 1u);
    run("clear log ()");
    tui::backend().timers.run(249, [](Widget* owner) {
        event::Record r;
        (void)tui::deliver(*owner, event::Type::time, r, 0);
    });
    EXPECT_EQ(run("log"), "== []\n");
    tui::backend().timers.run(1, [](Widget* owner) {
        event::Record r;
        (void)tui::deliver(*owner, event::Type::time, r, 0);
    });
    EXPECT_EQ(run("log"), "== [time]\n");
    run("t/rate: none t/state/2: 65536 ()");
    tui::update_view(value("t"));
    EXPECT_EQ(tui::backend().timers.size(), 0u);
    run("t/rate: 0:0:2 t/state/2: 65536 ()");
    tui::update_view(value("t"));
    EXPECT_EQ(tui::backend().timers.size(), 1u);

    for (const char* bad : {"0", "-1", "0:0:0", "1.5", "\"fast\""}) {
        SCOPED_TRACE(bad);
        run(std::string("rate: ") + bad + " ()");
        bool raised = false;
        try {
            tui::set_rate(*w, value("rate"));
        } catch (const error::Raised& e) {
            raised = e.is(error::Id::invalid_facet_type);
        }
        EXPECT_TRUE(raised);
    }
}

TEST_F(WidgetsTest, GroupBoxesDrawAFrameAroundTheirInside) {
    run("g: make face! [type: 'group-box size: 6x4 text: \"T\" "
        "options: [border-corners: round border-color: 64.64.64]] ()");
    run("inner: make face! [text: \"in\" offset: 1x1 size: 2x1] g/pane: reduce [inner] ()");
    make("g");
    const auto shown = draw();
    EXPECT_EQ(shown[0].substr(0, 6), U"\u256dT\u2500\u2500\u2500\u256e");
    EXPECT_EQ(shown[1].substr(0, 6), U"\u2502    \u2502");
    EXPECT_EQ(shown[3].substr(0, 6), U"\u2570\u2500\u2500\u2500\u2500\u256f");
    EXPECT_EQ(tui::backend().grid.at(0, 1).fg, tui::colour::palette(tui::nearest_palette(64, 64, 64)));
    EXPECT_EQ(tui::backend().grid.at(2, 2).fg, 0u);
    run("g/options: [] ()");
    EXPECT_EQ(draw()[0].substr(0, 2), U"\u250cT");
}

TEST_F(WidgetsTest, ImagesShowTwoPixelRowsACellAndTransparencyAsBlanks) {
    run("img: make image! 2x4 img/1: 255.0.0.255 img/2: 255.0.0.255 "
        "img/3: 255.0.0 img/4: 0.0.255 img/7: 0.255.0 ()");
    run("p: make face! [size: 2x2 image: img] ()");
    Widget* w = make("p");
    tui::backend().terminal.true_colour = true;
    tui::widgets::set_image(*w, value("img"));
    const auto shown = draw();
    EXPECT_EQ(shown[0].substr(0, 2), U"  ");
    EXPECT_EQ(shown[1].substr(0, 2), U"\u2584\u2584");
    const tui::GridCell& cell = tui::backend().grid.at(0, 1);
    EXPECT_EQ(cell.fg, tui::colour::rgb(0, 255, 0));
    EXPECT_EQ(cell.bg, tui::colour::rgb(255, 255, 255));
}

TEST_F(WidgetsTest, TheChangedMaskMovesResizesHidesAndDisables) {
    run("f: make face! [text: \"x\" offset: 1x1 size: 3x1] ()");
    Widget* w = make("f");
    run("f/offset: 4x2 f/size: 5x2 f/visible?: false f/enabled?: false "
        "f/state/2: 2 or 4 or 256 or 512 ()");
    tui::update_view(value("f"));
    EXPECT_EQ(w->x1, 4);
    EXPECT_EQ(w->y1, 2);
    EXPECT_EQ(tui::width_of(*w), 5);
    EXPECT_EQ(tui::height_of(*w), 2);
    EXPECT_TRUE(w->has(tui::widget_flag::hidden));
    EXPECT_TRUE(w->has(tui::widget_flag::disabled));
    EXPECT_EQ(run("f/state/2"), "== 0\n");
    run("f/flags: [all-over password] f/state/2: 2048 ()");
    tui::update_view(value("f"));
    EXPECT_TRUE(w->has(tui::widget_flag::all_over | tui::widget_flag::password));
}

TEST_F(WidgetsTest, DestroyingAFaceTreeFreesItsWidgetsAndUnlinksItsFont) {
    run("fnt: make object! [color: none parent: none] ");
    run("child: make face! [type: 'field font: fnt] box: make face! [type: 'panel pane: reduce [child]] "
        "fnt/parent: reduce [child] ()");
    Widget* box = make("box");
    run("child/state: [none 0 none false] ()");
    Widget* child = tui::make_view(value("child"), box);
    *series_tail::cell_at(tui::field(value("child"), tui::Name::state), 0) =
        Cell{to_int(TypeId::handle), 0, child->id, 0xFFFFFFFF};
    const uint32_t box_id = box->id, child_id = child->id;
    tui::destroy_view(value("box"), false);
    EXPECT_EQ(tui::find_widget(box_id), nullptr);
    EXPECT_EQ(tui::find_widget(child_id), nullptr);
    EXPECT_EQ(run("reduce [box/state child/state empty? head fnt/parent]"), "== [none none true]\n");
}

TEST_F(WidgetsTest, HelperRoutinesReadTheWidget) {
    run("f: make face! [type: 'text-list flags: 'focusable data: []] ()");
    EXPECT_EQ(run("reduce [focused? f widget-data f]"), "== [false 0]\n");
    Widget* w = make("f");
    w->data = 7;
    EXPECT_EQ(run("reduce [focused? f widget-data f]"), "== [true 7]\n");
    run("set-face-ui f \"ui\" ()");
    EXPECT_EQ(draw()[0].substr(0, 3), U"ui ");
}

TEST_F(WidgetsTest, AFlagThatIsNoFaceFlagIsRefused) {
    run("f: make face! [flags: [focusable bogus]] ()");
    bool raised = false;
    try {
        (void)tui::make_view(value("f"), root());
    } catch (const error::Raised& e) {
        raised = e.is(error::Id::invalid_arg);
    }
    EXPECT_TRUE(raised);
}

}  // namespace
}  // namespace qor::test
