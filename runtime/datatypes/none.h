// none!: the explicit absence of a value. Only the header carries anything.
#pragma once

#include "runtime/core/cell.h"

namespace qor::none {

// The shared none value; routines answer its address.
inline constexpr Cell value{to_int(TypeId::none), 0, 0, 0};

Cell* box();
Cell* push();
Cell* make_at(Cell& cell);
Cell* make_in(Cell& block);

void init();  // registers none!

}  // namespace qor::none
