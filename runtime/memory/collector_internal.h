// Shared between the collector's files: the steps of a cycle.
#pragma once

#include "runtime/memory/collector.h"

namespace qor::collector {

// Scans the cell buffers marked so far until none is left.
void drain();
// Whether this cycle renumbered nodes (a moved-node map exists).
[[nodiscard]] bool moving_nodes();
// Empties stable sparse node frames into others; true when any was emptied.
bool compact_node_frames();
// Drops the moved-node map at the end of a cycle.
void drop_moved_map();
void run_sweep_callbacks();
// Sweeps every series frame, sliding live buffers down and into the frame
// below; then the big regions.
void sweep_all_series();
void sweep_big();
// Clears the marks of the buffers on the C++ heap, which are never swept.
void unmark_heap_buffers();

}  // namespace qor::collector
