// The cell pool: 100 cells made at boot that the runtime hands out as
// scratch slots. A free cell is an integer! whose value is the index of the
// next free cell (-1 after the last).
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"

namespace qor::cell_pool {

inline constexpr uint32_t size = 100;

// Makes the pool with every cell free (boot).
void init();

[[nodiscard]] NodeId block();

// Index of the first free cell, -1 when none.
[[nodiscard]] int32_t first_free();

}  // namespace qor::cell_pool
