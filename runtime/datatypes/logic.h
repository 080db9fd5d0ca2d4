// logic!: true and false (payload word 1 holds 1 or 0), and the truth tests
// that conditions are decided by.
//
// Truth: none and false are false; every other value, unset included, is
// true. The tests that must refuse unset say so.
#pragma once

#include "runtime/core/cell.h"

namespace qor::logic {

// The shared true and false values; routines answer their addresses.
inline constexpr Cell true_value{to_int(TypeId::logic), 1, 0, 0};
inline constexpr Cell false_value{to_int(TypeId::logic), 0, 0, 0};

Cell* make_at(Cell& cell, bool flag);
Cell* box(bool flag);
Cell* push(bool flag);
Cell* make_in(Cell& block, bool flag);
[[nodiscard]] inline bool get(const Cell& c) { return c.w1 != 0; }

// Truth of a value regardless of unset.
[[nodiscard]] inline bool is_true(const Cell& v) {
    const TypeId t = type_of(v);
    return !(t == TypeId::none || (t == TypeId::logic && v.w1 != 1));
}

void init();  // registers logic!

}  // namespace qor::logic
