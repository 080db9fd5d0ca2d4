// Roots of the collector, and the rule every module follows to keep its
// values alive.
//
// THE RULE. Any series allocation may run a collection, and a collection
// frees every buffer it cannot reach and moves every buffer it keeps. So,
// across anything that can allocate:
//   1. Never keep a raw buffer, data or cell pointer into a series: keep the
//      node id (and an index) and reach the buffer again through the node
//      after the call.
//   2. A value that nothing else reaches must be reachable from a root while
//      C++ code holds it: push it on the data stack, or hold it in a
//      `RootGuard` (a Cell), a `NodeGuard` (a bare node id of a series) or a
//      `TableGuard` (a bare hash-table node: a NodeGuard would not keep the
//      series the table names). A node id
//      only in a C++ local is NOT a root: its buffer is freed by the next
//      collection.
//   3. Guards are scoped: declare them in the block that needs them; they
//      unregister in reverse order, also when an error unwinds.
//   4. Long-lived state of a module (a table, a cache, a current position)
//      is registered once: a fixed root slot (`set_root_marker`), a
//      permanent root (`add_root`), or a mark callback
//      (`add_mark_callback`) that marks it with the functions of
//      collector.h.
//   5. Node ids stay the same across collections started by allocation.
//      Only node-frame compaction renumbers nodes; it rewrites every root
//      and every reachable cell, so ids kept in guards, registered roots and
//      cells stay right, while ids copied elsewhere (a C++ local, a table
//      keyed by ids) must be refreshed: such tables watch
//      `node_compaction_count()`, and code that cannot turns compaction off
//      around its work.
//   6. Mark and sweep callbacks run inside a cycle: they mark or test, and
//      never allocate series.
//   7. Tests build with QOR_GC_STRESS, which collects at every series
//      allocation once the collector is on, so a missing root shows at once.
//
// Order of marking in a cycle: the fixed root slots in the order of `Root`
// (the data stack's live cells are marked at their place), then the
// permanent roots in registration order, then the scoped guards, then the
// mark callbacks in registration order.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"

namespace qor::collector {

using MarkFunction = void (*)();

// The fixed roots, in marking order. Each module that owns one installs a
// marker in its slot; an empty slot is passed over.
enum class Root : uint8_t {
    root_block,       // the root block and everything in it
    symbol_table,     // the symbol block and its hash index
    ownership_table,  // the ownership records
    data_stack,       // the data stack's live cells (marked by the collector itself)
    call_frames,      // the call stack's frames
    global_context,   // the global context
    take_scratch,     // the scratch block of series take
    current_position, // the interpreter's current-position cell
    lexers,           // every active lexer
    cell_pool,        // the cell-slot pool block
    count_
};
void set_root_marker(Root slot, MarkFunction marker);

// Permanent roots: a cell or a node id that lives as long as its module.
void add_root(Cell* cell);
void remove_root(Cell* cell);
void add_root(uint32_t* node_place);
void remove_root(uint32_t* node_place);

// Functions called, without arguments, after every other root, in
// registration order. Removing clears the first matching entry.
void add_mark_callback(MarkFunction callback);
void remove_mark_callback(MarkFunction callback);

// Functions called after marking, before the sweep: the place for tables
// that drop entries whose series died (they test `is_marked`).
void add_sweep_callback(MarkFunction callback);
void remove_sweep_callback(MarkFunction callback);

// Weak tables: an entry whose key is reachable keeps its other values
// alive, an entry whose key is not keeps nothing. A weak pass runs after
// every other root was marked, marks the values of the entries whose keys
// are marked and answers whether it marked any; passes repeat until a round
// marks nothing new, since those values can reach further keys. The table's
// sweep callback then drops the entries whose keys died.
using WeakPass = bool (*)();
void add_weak_pass(WeakPass pass);

namespace detail {
enum class GuardKind : uint8_t { cell, series, table };
struct GuardEntry {
    void* place;
    GuardKind kind;
};
extern std::vector<GuardEntry> guards;
void mark_roots();
}  // namespace detail

// Keeps a cell (and all it reaches) alive for the guard's scope. The cell
// is rewritten in place when node compaction renumbers its nodes.
class RootGuard {
public:
    explicit RootGuard(Cell& cell) { detail::guards.push_back({&cell, detail::GuardKind::cell}); }
    ~RootGuard() { detail::guards.pop_back(); }
    RootGuard(const RootGuard&) = delete;
    RootGuard& operator=(const RootGuard&) = delete;
};

// Keeps a bare node id (and, for a buffer of cells, every cell in it) alive
// for the guard's scope; the variable is rewritten when the node moves.
class NodeGuard {
public:
    explicit NodeGuard(uint32_t& node) { detail::guards.push_back({&node, detail::GuardKind::series}); }
    ~NodeGuard() { detail::guards.pop_back(); }
    NodeGuard(const NodeGuard&) = delete;
    NodeGuard& operator=(const NodeGuard&) = delete;
};

// Keeps a hash table's node alive for the guard's scope, with every series
// the table holds (a NodeGuard would keep only the table's own record).
class TableGuard {
public:
    explicit TableGuard(uint32_t& table) { detail::guards.push_back({&table, detail::GuardKind::table}); }
    ~TableGuard() { detail::guards.pop_back(); }
    TableGuard(const TableGuard&) = delete;
    TableGuard& operator=(const TableGuard&) = delete;
};

}  // namespace qor::collector
