// The cycle stack: the series that molding, comparing and binding are inside
// of, so that a series met again (a block that holds itself) is noticed
// instead of walked forever.
//
// Entries are series identities (node ids). The stack never grows: the push
// that would fill its 1,000th entry raises internal `too-deep` and leaves
// the stack as it was. Walkers hold their entry in a `Scope`, so an error
// that unwinds through them takes each entry off again, and a frame that
// catches an error finds the stack at the depth it had there: the walks of
// an enclosing mold or bind that is still under way keep their entries. It
// is emptied before the stack-overflow errors are raised.
#pragma once

#include <cstdint>
#include <span>

namespace qor::cycle {

inline constexpr int capacity = 1000;

void push(uint32_t series);
void pop();                       // nothing on an empty stack
void reset();
[[nodiscard]] bool find(uint32_t series);
[[nodiscard]] int depth();
// Takes the stack back to a depth it had before (nothing when it is lower).
void truncate(int depth);

// A walker's entry: pushed for the scope of the walk and taken off however
// the scope is left, an error included.
class Scope {
public:
    explicit Scope(uint32_t series) : depth_(depth()) { push(series); }
    ~Scope() { truncate(depth_); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    int depth_;
};

// The live entries, for the collector to rewrite when it renumbers nodes.
[[nodiscard]] std::span<uint32_t> entries();

}  // namespace qor::cycle
