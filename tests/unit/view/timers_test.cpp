// Widget timers: charged the milliseconds given, firing on reaching their
// interval, surviving changes to the list made while they fire.
#include <gtest/gtest.h>

#include <vector>

#include "view/terminal/timers.h"

namespace qor::tui {
namespace {

std::vector<Widget*> fired;
void record(Widget* owner) { fired.push_back(owner); }

Widget* owner(int n) { return reinterpret_cast<Widget*>(static_cast<uintptr_t>(n) * 16); }

TEST(Timers, AnIntervalOf100FiresOnTheFourth33MsFrameAndCountsAgain) {
    Timers t;
    t.add(owner(1), 100);
    fired.clear();
    std::vector<int> frames;
    for (int frame = 1; frame <= 8; frame++) {
        t.run(33, record);
        if (!fired.empty()) frames.push_back(frame);
        fired.clear();
    }
    EXPECT_EQ(frames, (std::vector<int>{4, 8}));
}

TEST(Timers, ChargedWhatReallyPassed) {
    // Frames cut short by input charge only their own length.
    Timers t;
    t.add(owner(1), 100);
    fired.clear();
    for (int i = 0; i < 19; i++) t.run(5, record);
    EXPECT_TRUE(fired.empty());
    t.run(5, record);
    EXPECT_EQ(fired.size(), 1u);
    // A long frame fires once, not once per interval it spans.
    fired.clear();
    t.run(1000, record);
    EXPECT_EQ(fired.size(), 1u);
}

Timers* shared = nullptr;
void remove_second(Widget* o) {
    fired.push_back(o);
    if (o == owner(1)) shared->remove_all(owner(2));
    if (o == owner(3)) shared->add(owner(4), 1);
}

TEST(Timers, FiringMayChangeTheList) {
    Timers t;
    shared = &t;
    t.add(owner(1), 10);
    t.add(owner(2), 10);
    t.add(owner(3), 10);
    fired.clear();
    t.run(10, remove_second);
    // The second was removed before its turn; the one added waits for the next run.
    EXPECT_EQ(fired, (std::vector<Widget*>{owner(1), owner(3)}));
    fired.clear();
    t.run(10, remove_second);
    EXPECT_EQ(fired, (std::vector<Widget*>{owner(1), owner(3), owner(4)}));
}

// A handler that runs frames of its own (a nested loop) runs the timers
// again: the one firing is not due there.
void nested_run(Widget* o) {
    fired.push_back(o);
    if (fired.size() < 10) shared->run(5, nested_run);
}

TEST(Timers, AFiringTimerIsNotDueInANestedRun) {
    Timers t;
    shared = &t;
    t.add(owner(1), 10);
    fired.clear();
    t.run(10, nested_run);
    EXPECT_EQ(fired.size(), 1u);
    t.run(5, nested_run);  // 5 + 5 from the nested run: due again
    EXPECT_EQ(fired.size(), 2u);
}

TEST(Timers, RemoveTakesTheOwnersLastTimer) {
    Timers t;
    t.add(owner(1), 10);
    t.add(owner(2), 10);
    t.add(owner(1), 20);
    t.remove(owner(1));
    fired.clear();
    t.run(20, record);
    EXPECT_EQ(fired, (std::vector<Widget*>{owner(1), owner(2)}));
    t.remove(owner(9));
    EXPECT_EQ(t.size(), 2u);
}

}  // namespace
}  // namespace qor::tui
