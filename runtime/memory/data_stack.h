// The data stack: the value cells on which arguments are collected and
// results are left.
//
// Four positions: `bottom` (first cell), `base` (the current frame's first
// argument, which is also its result slot), `top` (the next free cell; the
// last value is the cell below it) and `limit` (one past the last cell).
// Invariant: bottom <= base <= top < limit. The frames of the call stack save
// and restore `base`; pushing past the limit raises internal `stack-overflow`
// after backing the top off, so that the error has room to be formed.
#pragma once

#include <cstddef>
#include <span>

#include "runtime/core/cell.h"

namespace qor::stack {

inline constexpr size_t data_stack_cells = 20'000;

struct DataStack {
    Cell* bottom = nullptr;
    Cell* base = nullptr;
    Cell* top = nullptr;
    Cell* limit = nullptr;
};

// The process-wide data stack.
extern DataStack data;

namespace detail {
[[noreturn]] void overflow();
}

// Reserves the cell at the top and answers it (its contents are what they were).
inline Cell* push_slot() {
    Cell* slot = data.top++;
    if (data.top >= data.limit) [[unlikely]] detail::overflow();
    return slot;
}

// Pushes a copy of the value and answers the new cell.
inline Cell* push(const Cell& value) {
    Cell* slot = push_slot();
    *slot = value;
    return slot;
}

// Drops n cells, never below the bottom.
inline void pop(size_t n = 1) {
    data.top = static_cast<size_t>(data.top - data.bottom) > n ? data.top - n : data.bottom;
}

// The last cell (the bottom when the stack is empty).
[[nodiscard]] inline Cell* top() { return data.top > data.bottom ? data.top - 1 : data.bottom; }
[[nodiscard]] inline TypeId top_type() { return type_of(*top()); }

// The current frame's result slot, which is its first argument.
[[nodiscard]] inline Cell* result() { return data.base; }
// The current frame's argument i, from 0.
[[nodiscard]] inline Cell* arg(size_t i) { return data.base + i; }

inline Cell* set_result(const Cell& value) {
    *data.base = value;
    return data.base;
}

// The frame holds no value / only its result slot.
inline void reset() { data.top = data.base; }
inline void keep() { data.top = data.base + 1; }

// Number of cells in use.
[[nodiscard]] inline size_t depth() { return static_cast<size_t>(data.top - data.bottom); }

}  // namespace qor::stack
