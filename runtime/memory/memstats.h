// Memory figures for `stats` and `recycle`.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"

namespace qor::memstats {

// Bytes in use: the slots of nodes in use, the used part of every series
// frame, and every big region's footprint.
[[nodiscard]] uint64_t in_use();

// Appends five values to the block: a block of (free, used, capacity) per
// node frame; a block of (free, used, size) per series frame; a block of
// each big footprint; the grand total reserved (frames, regions and the
// buffers on the C++ heap); and the C++ heap buffers alone. The collector
// is off while the figures are gathered.
void collect(NodeId block);

// A figure as a value: integer! up to 2,147,483,647, float! beyond.
[[nodiscard]] Cell figure(uint64_t bytes);

}  // namespace qor::memstats
