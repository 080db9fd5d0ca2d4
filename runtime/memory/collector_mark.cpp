// Marking: the roots in their order and every value through its
// datatype's marker.
//
// Marking uses an explicit work list of cell buffers, so a deeply nested
// block costs heap, not native stack.
#include <algorithm>
#include <array>

#include "runtime/memory/data_stack.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/collector_internal.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"

namespace qor::collector {

namespace detail {
std::vector<GuardEntry> guards;
}

namespace {

std::array<MarkFunction, static_cast<size_t>(Root::count_)> root_markers{};
std::vector<Cell*> root_cells;
std::vector<uint32_t*> root_nodes;
std::vector<MarkFunction> mark_callbacks;
std::vector<MarkFunction> sweep_callbacks;
std::vector<WeakPass> weak_passes;
TableMarker table_marker = nullptr;

// Cell buffers marked but not yet scanned.
std::vector<NodeId> work;

// The buffer of a node in use, or nullptr for an id that names none.
series::Buffer* live_buffer(uint32_t id) {
    if (node::frame_of(id) == nullptr) return nullptr;
    uintptr_t slot = node::raw_slot(id);
    if (slot == 0 || node::slot_is_free_link(slot)) return nullptr;
    return reinterpret_cast<series::Buffer*>(slot);
}

void scan_buffer(NodeId id) {
    series::Buffer* b = series::buffer(id);
    mark_cells(reinterpret_cast<Cell*>(b->head_ptr()), reinterpret_cast<Cell*>(b->tail_ptr()));
}

void remove_first(std::vector<MarkFunction>& list, MarkFunction f) {
    auto it = std::find(list.begin(), list.end(), f);
    if (it != list.end()) *it = nullptr;
    while (!list.empty() && list.back() == nullptr) list.pop_back();
}

// One marker per value of a header's type byte, so a corrupt cell finds an
// empty entry.
std::array<ValueMarker, 256> value_markers{};

void run(MarkFunction f) {
    if (f) {
        f();
        drain();
    }
}

}  // namespace

// ---- marking operations ----

// Marks the node; a buffer of cells newly marked goes on the work list.
void mark_series(uint32_t* place) {
    if (*place == 0) return;
    if (mark_node(place) && series::buffer(*place)->unit() == series::cell_unit) work.push_back(*place);
}

bool mark_node(uint32_t* place) {
    if (*place == 0) return false;
    if (moving_nodes()) *place = moved_node(*place);
    series::Buffer* b = live_buffer(*place);
    if (b == nullptr || (b->flags & series::flag::mark) != 0) return false;
    b->flags |= series::flag::mark;
    return true;
}

void mark_context(uint32_t* place) { mark_series(place); }

void mark_cells(Cell* start, Cell* end) {
    for (Cell* c = start; c < end; c++)
        if (ValueMarker m = value_markers[c->header & 0xFF]) m(*c);
}

void mark_table(uint32_t* place) {
    if (*place == 0) return;
    if (table_marker) {
        table_marker(place);
    } else {
        mark_series(place);
    }
}

bool is_marked(NodeId id) {
    series::Buffer* b = live_buffer(id);
    return b != nullptr && (b->flags & series::flag::mark) != 0;
}

void set_table_marker(TableMarker marker) { table_marker = marker; }
void set_value_marker(uint8_t type, ValueMarker marker) { value_markers[type] = marker; }
ValueMarker value_marker(uint8_t type) { return value_markers[type]; }

void drain() {
    while (!work.empty()) {
        NodeId id = work.back();
        work.pop_back();
        scan_buffer(id);
    }
}

// ---- registration ----

void set_root_marker(Root slot, MarkFunction marker) { root_markers[static_cast<size_t>(slot)] = marker; }

void add_root(Cell* cell) { root_cells.push_back(cell); }
void remove_root(Cell* cell) { std::erase(root_cells, cell); }
void add_root(uint32_t* node_place) { root_nodes.push_back(node_place); }
void remove_root(uint32_t* node_place) { std::erase(root_nodes, node_place); }

void add_mark_callback(MarkFunction callback) { mark_callbacks.push_back(callback); }
void remove_mark_callback(MarkFunction callback) { remove_first(mark_callbacks, callback); }
void add_sweep_callback(MarkFunction callback) { sweep_callbacks.push_back(callback); }
void remove_sweep_callback(MarkFunction callback) { remove_first(sweep_callbacks, callback); }

void add_weak_pass(WeakPass pass) { weak_passes.push_back(pass); }

void run_sweep_callbacks() {
    for (MarkFunction f : sweep_callbacks)
        if (f) f();
}

void detail::mark_roots() {
    for (size_t slot = 0; slot < root_markers.size(); slot++) {
        if (slot == static_cast<size_t>(Root::data_stack)) {
            if (stack::data.bottom) mark_cells(stack::data.bottom, stack::data.top);
            drain();
            continue;
        }
        run(root_markers[slot]);
    }
    for (Cell* c : root_cells) mark_cell(*c);
    for (uint32_t* n : root_nodes) mark_series(n);
    drain();
    for (const GuardEntry& g : guards) {
        switch (g.kind) {
        case GuardKind::cell: mark_cell(*static_cast<Cell*>(g.place)); break;
        case GuardKind::series: mark_series(static_cast<uint32_t*>(g.place)); break;
        case GuardKind::table: mark_table(static_cast<uint32_t*>(g.place)); break;
        }
    }
    drain();
    // Index loop: a callback may register another.
    for (size_t i = 0; i < mark_callbacks.size(); i++) run(mark_callbacks[i]);
    for (bool marked = !weak_passes.empty(); marked;) {
        marked = false;
        for (WeakPass pass : weak_passes) marked |= pass();
        drain();
    }
}

}  // namespace qor::collector
