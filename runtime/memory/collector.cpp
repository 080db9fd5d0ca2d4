// The collection cycle, its settings, the pending-free list and `recycle`.
#include "runtime/memory/collector.h"

#include <atomic>
#include <vector>

#include "runtime/memory/cycle_stack.h"
#include "runtime/memory/handle_table.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/memory/collector_internal.h"
#include "runtime/memory/memstats.h"
#include "runtime/memory/roots.h"

namespace qor::collector {

namespace {

bool cycling = false;
// Off by default: C++ frames may hold node ids in locals, which no
// collection can rewrite. Code that keeps every id in guards and cells turns
// it on.
bool compaction_on = false;
uint32_t compactions = 0;
std::vector<NodeId> pending;

// Clears the in-cycle flag however the cycle ends.
struct CycleScope {
    CycleScope() {
        cycling = true;
        std::atomic_thread_fence(std::memory_order_seq_cst);
    }
    ~CycleScope() {
        std::atomic_thread_fence(std::memory_order_seq_cst);
        cycling = false;
    }
};

void cycle() {
    if (cycling) return;  // the sweeps never allocate; this only guards misuse
    CycleScope scope;
    bool renumbered = compaction_on && compact_node_frames();
    detail::mark_roots();
    if (renumbered) {
        std::span<uint32_t> entries = cycle::entries();
        update_moved_refs(entries.data(), entries.data() + entries.size());
    }
    handle::sweep();
    run_sweep_callbacks();
    sweep_all_series();
    sweep_big();
    flush_pending_free();
    node::release_empty_frames();
    drop_moved_map();
    unmark_heap_buffers();
    set_budget_from_survivors(memstats::in_use());
    count_cycle();
}

}  // namespace

void init() {
    compactions = 0;
    compaction_on = false;
    pending.clear();
    pending.reserve(pending_room);
    install_cycle(cycle);
}

void collect() { cycle(); }

uint32_t node_compaction_count() { return compactions; }
void set_node_compaction(bool on) { compaction_on = on; }
bool node_compaction() { return compaction_on; }

void count_node_compaction() { compactions++; }

uint64_t recycle() {
    cycle();
    return memstats::in_use();
}

void recycle_on() { set_enabled(true); }
void recycle_off() { set_enabled(false); }

void push_pending_free(NodeId id) {
    if (id == 0) return;
    if (pending.size() >= pending_room) flush_pending_free();
    pending.push_back(id);
}

// In the sweep's order: nothing depends on the order of a free list, and
// the sweep finds buffers in address order, about the order their nodes
// were handed out in, so the ids come in long runs already.
void flush_pending_free() {
    for (NodeId id : pending) node::free(id);
    pending.clear();
}

}  // namespace qor::collector
