// unset!: the value of nothing (a fresh cell, a function that returned
// nothing). Only the header carries anything.
#pragma once

#include "runtime/core/cell.h"

namespace qor::unset {

// The shared unset value; routines answer its address.
inline constexpr Cell value = unset_cell;

Cell* push();

void init();  // registers unset!

}  // namespace qor::unset
