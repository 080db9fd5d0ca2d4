// The timers of widgets: each counts the milliseconds it is charged and, on
// reaching its interval, delivers a `time` event to its owner and counts
// again from zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qor::tui {

struct Widget;

class Timers {
public:
    // Called for a timer that is due, with its owner.
    using Fire = void (*)(Widget* owner);

    // Appends a repeating timer.
    void add(Widget* owner, int32_t interval_ms);
    // Removes the last timer of the owner.
    void remove(const Widget* owner);
    // Removes every timer of the owner (it is being destroyed).
    void remove_all(const Widget* owner);

    // Charges every timer `tick_ms` and fires those that are due, in list
    // order. A fired timer may add or remove timers.
    void run(int32_t tick_ms, Fire fire);

    [[nodiscard]] size_t size() const { return list_.size(); }
    void clear() { list_.clear(); }

private:
    struct Timer {
        uint32_t id;
        Widget* owner;
        int32_t interval;
        int32_t accumulated = 0;
        bool one_shot = false;
        bool fired = false;
    };
    std::vector<Timer> list_;
    uint32_t last_id_ = 0;
};

}  // namespace qor::tui
