// The line editor's view of a history: lines, newest first.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace qor::console {

// The editor reads entries and adds new ones at the front. The console's
// own history is a language block; a plain list serves tools and tests.
class History {
public:
    virtual ~History() = default;
    [[nodiscard]] virtual size_t size() const = 0;
    // Entry i, 0 being the newest.
    [[nodiscard]] virtual std::u32string entry(size_t i) const = 0;
    virtual void add_newest(std::u32string_view line) = 0;
};

class HistoryList final : public History {
public:
    [[nodiscard]] size_t size() const override { return lines_.size(); }
    [[nodiscard]] std::u32string entry(size_t i) const override { return lines_.at(i); }
    void add_newest(std::u32string_view line) override { lines_.emplace_front(line); }

private:
    std::deque<std::u32string> lines_;
};

}  // namespace qor::console
