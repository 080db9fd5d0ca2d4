// Widget timers.
#include "view/terminal/timers.h"

#include <algorithm>

namespace qor::tui {

namespace {
// A timer that has fired for good still counts; it stops here.
constexpr int32_t max_accumulated = 1 << 30;
}  // namespace

void Timers::add(Widget* owner, int32_t interval_ms) {
    list_.push_back(Timer{++last_id_, owner, interval_ms < 1 ? 1 : interval_ms});
}

void Timers::remove(const Widget* owner) {
    for (auto it = list_.rbegin(); it != list_.rend(); ++it) {
        if (it->owner == owner) {
            list_.erase(std::next(it).base());
            return;
        }
    }
}

void Timers::remove_all(const Widget* owner) {
    std::erase_if(list_, [&](const Timer& t) { return t.owner == owner; });
}

void Timers::run(int32_t tick_ms, Fire fire) {
    if (tick_ms < 0) tick_ms = 0;
    // By id, since a firing timer may change the list under the walk.
    std::vector<uint32_t> ids;
    ids.reserve(list_.size());
    for (const Timer& t : list_) ids.push_back(t.id);
    for (uint32_t id : ids) {
        auto it = std::find_if(list_.begin(), list_.end(), [&](const Timer& t) { return t.id == id; });
        if (it == list_.end()) continue;
        it->accumulated = std::min(max_accumulated, it->accumulated + std::min(tick_ms, max_accumulated));
        if (it->fired || it->accumulated < it->interval) continue;
        // Counted afresh before it fires: a handler that runs frames of its
        // own does not find it due again.
        it->accumulated = 0;
        it->fired = it->one_shot;
        fire(it->owner);
    }
}

}  // namespace qor::tui
