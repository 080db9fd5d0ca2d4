// triple!: three signed 32-bit integers in payload words 1-3. PARSE builds
// its rule stack of such cells, where a trace callback can see them. It has
// no literal and no make: only form and mold, which write it as the
// construction text "make triple! [a b c]".
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"

namespace qor::triple {

Cell* make_at(Cell& cell, int32_t a, int32_t b, int32_t c);
Cell* push(int32_t a, int32_t b, int32_t c);

void init();  // registers triple!

}  // namespace qor::triple
