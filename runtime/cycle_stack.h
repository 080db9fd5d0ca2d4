// The cycle stack: the series that molding, comparing and binding are inside
// of, so that a series met again (a block that holds itself) is noticed
// instead of walked forever.
//
// Entries are series identities (node ids). The stack never grows: the push
// that would fill its 1,000th entry empties it and raises internal
// `too-deep`. It is also emptied before the stack-overflow errors are raised
// and by walkers before they raise errors of their own.
#pragma once

#include <cstdint>
#include <span>

namespace qor::cycle {

inline constexpr int capacity = 1000;

void push(uint32_t series);
void pop();                       // nothing on an empty stack
void pop_n(int n);                // drops n entries, never below the base
void reset();
[[nodiscard]] bool find(uint32_t series);
[[nodiscard]] int depth();

// The live entries, for the collector to rewrite when it renumbers nodes.
[[nodiscard]] std::span<uint32_t> entries();

}  // namespace qor::cycle
