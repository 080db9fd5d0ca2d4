// Marking: the roots in their order and every value by its datatype.
//
// Marking uses an explicit work list of cell buffers, so a deeply nested
// block costs heap, not native stack.
#include <algorithm>
#include <array>

#include "runtime/memory/data_stack.h"
#include "runtime/memory/handle_table.h"
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
ImageMarker image_marker = nullptr;

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

// Marks the node; a buffer of cells newly marked goes on the work list.
void mark_series(uint32_t* place) {
    if (*place == 0) return;
    if (mark_node(place) && series::buffer(*place)->unit() == series::cell_unit) work.push_back(*place);
}

void remove_first(std::vector<MarkFunction>& list, MarkFunction f) {
    auto it = std::find(list.begin(), list.end(), f);
    if (it != list.end()) *it = nullptr;
    while (!list.empty() && list.back() == nullptr) list.pop_back();
}

void mark_words(Cell& c) {
    if (c.w1 != 0) mark_context(&c.w1);
}

bool is_function_type(uint32_t t) {
    return t == to_int(TypeId::function) || t == to_int(TypeId::routine);
}

// One value, by the layout its datatype gives its payload.
void mark_value(Cell& c) {
    switch (type_of(c)) {
    case TypeId::word:
    case TypeId::set_word:
    case TypeId::lit_word:
    case TypeId::get_word:
    case TypeId::refinement:
    case TypeId::issue:
        mark_words(c);
        break;
    case TypeId::block:
    case TypeId::paren:
    case TypeId::path:
    case TypeId::lit_path:
    case TypeId::set_path:
    case TypeId::get_path:
        mark_series(&c.w2);
        break;
    case TypeId::symbol:
        mark_series(&c.w3);
        mark_series(&c.w2);
        break;
    case TypeId::string:
    case TypeId::file:
    case TypeId::url:
    case TypeId::tag:
    case TypeId::email:
    case TypeId::ref:
        mark_series(&c.w2);
        mark_series(&c.w3);
        break;
    case TypeId::bitset:
    case TypeId::vector:
    case TypeId::binary:
        mark_series(&c.w2);
        break;
    case TypeId::object:
    case TypeId::error:
    case TypeId::port:
        if (c.w1 != 0) mark_context(&c.w1);
        mark_series(&c.w3);
        break;
    case TypeId::context:
        if (c.w1 != 0) mark_table(&c.w1);
        if (!has_flag(c, cell_flag::stack_values)) mark_series(&c.w2);
        break;
    case TypeId::hash:
    case TypeId::map:
        mark_series(&c.w2);
        if (c.w3 != 0) mark_table(&c.w3);
        break;
    case TypeId::function:
    case TypeId::routine:
        if (c.w1 != 0) mark_context(&c.w1);
        mark_series(&c.w2);
        mark_series(&c.w3);
        break;
    case TypeId::op:
        if (is_function_type((c.header >> cell_flag::op_type_shift) & 0xFF) && c.w1 != 0) mark_context(&c.w1);
        [[fallthrough]];
    case TypeId::native:
    case TypeId::action:
        mark_series(&c.w2);
        mark_series(&c.w3);
        break;
    case TypeId::image:
        if (c.w2 != 0 && mark_node(&c.w2) && image_marker) image_marker(c.w2);
        break;
    case TypeId::handle: {
        auto index = static_cast<int32_t>(c.w3);
        if (index >= 0 && static_cast<uint32_t>(index) < handle::capacity()) handle::mark(index);
        break;
    }
    case TypeId::event:
        if (has_flag(c, cell_flag::event_script_made)) mark_series(&c.w2);
        break;
    default:
        break;
    }
}

void run(MarkFunction f) {
    if (f) {
        f();
        drain();
    }
}

}  // namespace

// ---- marking operations ----

bool mark_node(uint32_t* place) {
    if (*place == 0) return false;
    if (moving_nodes()) *place = moved_node(*place);
    series::Buffer* b = live_buffer(*place);
    if (b == nullptr || (b->flags & series::flag::mark) != 0) return false;
    b->flags |= series::flag::mark;
    return true;
}

void mark_block(uint32_t* place) { mark_series(place); }
void mark_context(uint32_t* place) { mark_series(place); }

void mark_cells(Cell* start, Cell* end) {
    for (Cell* c = start; c < end; c++) mark_value(*c);
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
void set_image_marker(ImageMarker marker) { image_marker = marker; }

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
