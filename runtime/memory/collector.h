// The garbage collector: a precise mark-and-compact collector over nodes,
// series frames and big regions.
//
// A cycle marks every buffer reachable from the roots (see roots.h for the
// order and for how modules register theirs), then sweeps: unreachable
// buffers give their nodes back through the pending-free list, live buffers
// slide down inside each frame and into the free space of the frame below,
// emptied series frames and empty node frames are released, and sparse
// node frames whose use has been stable are emptied into others.
//
// The collector runs only at allocation points (when no series frame has
// room, before a big buffer is made, and at every allocation in builds with
// QOR_GC_STRESS) and on `recycle`. It never runs while its switch is off,
// which it is during the boot.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"

namespace qor::collector {

// Resets the counters and settings and installs the cycle in the
// allocator's hook. Called last by the boot; the switch stays as it is.
void init();

// One full cycle, whether the switch is on or not.
void collect();

// Collections that emptied at least one node frame. Node ids are renumbered
// only by those collections, so a table keyed by node ids that sees this
// count change must re-index itself.
[[nodiscard]] uint32_t node_compaction_count();

// Node-frame compaction renumbers the nodes of sparse, stable node frames.
// It is off by default, since C++ frames may hold node ids in locals that
// no collection can rewrite (see roots.h); code whose ids all sit in cells,
// guards and registered roots may turn it on.
void set_node_compaction(bool on);
[[nodiscard]] bool node_compaction();

// The entry points of `recycle`: without refinements a full collection
// (even with the switch off) answering the bytes in use; /on and /off set
// the switch.
uint64_t recycle();
void recycle_on();
void recycle_off();

// ---- Marking, for mark callbacks and for the modules that own tables ----
// A place is the address of the 32-bit word that holds a node id: when node
// compaction moved the node, the place is rewritten with the new id first.
// An id that is 0 or names no node in use is passed over.

// Marks the node's buffer; true when it was not marked yet.
bool mark_node(uint32_t* place);
// Marks the node and, for a buffer of cells, every cell from head to tail.
void mark_series(uint32_t* place);
inline void mark_block(uint32_t* place) { mark_series(place); }
// A context node: its context! cell and its self value.
void mark_context(uint32_t* place);
// Marks every value of a cell range by datatype.
void mark_cells(Cell* start, Cell* end);
inline void mark_cell(Cell& cell) { mark_cells(&cell, &cell + 1); }
// A hash table (word 3 of hash! and map!, word 1 of context!): through the
// installed table marker, else as a plain series.
void mark_table(uint32_t* place);
// Whether a node is marked (valid between marking and the sweep).
[[nodiscard]] bool is_marked(NodeId id);

// The owner of the hash tables installs how a table's inner nodes are
// marked; the marker receives the place of the table's node.
using TableMarker = void (*)(uint32_t* place);
void set_table_marker(TableMarker marker);

// How the values of one datatype are marked. A datatype whose payload
// holds nodes, contexts or handles has a marker, installed from its
// registration; a value of a type without one holds nothing to mark.
using ValueMarker = void (*)(Cell& value);
void set_value_marker(uint8_t type, ValueMarker marker);
[[nodiscard]] ValueMarker value_marker(uint8_t type);

// During a cycle that renumbered nodes: the new id of an old node (the same
// id when it did not move). Rewrites every word of a range that names a
// moved node.
[[nodiscard]] uint32_t moved_node(uint32_t id);
void update_moved_refs(uint32_t* start, uint32_t* end);

// ---- The pending-free list: nodes of unreachable buffers ----
inline constexpr uint32_t pending_room = 20000;
void push_pending_free(NodeId id);
void flush_pending_free();

}  // namespace qor::collector
