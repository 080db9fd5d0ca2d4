// Node-frame compaction: a node frame whose use has been stable and low for
// several collections is emptied into the free nodes of other frames and
// retired, so its slots can be given back. Every node it held gets a new
// id; marking rewrites the places that hold the old ones.
#include <unordered_map>

#include "runtime/memory/collector_internal.h"
#include "runtime/memory/node.h"
#include "runtime/memory/series.h"

namespace qor::collector {

void count_node_compaction();

namespace {

using memory::NodeFrame;

// Collections in a row without a change of use before a frame is emptied.
constexpr uint32_t stable_history = 5;
constexpr uint32_t history_mask = (1u << (stable_history + 1)) - 1;
constexpr uint32_t sparse_below = node::frame_capacity / 2;

std::unordered_map<uint32_t, uint32_t> moved;
bool have_map = false;

bool has_free(const NodeFrame* f) { return f->free_head != 0 && !f->retired; }

// The frame new nodes go to: the current one while it has room, else the
// next one after it in list order (never the frame being emptied).
NodeFrame* target_after(NodeFrame* from, const NodeFrame* emptied) {
    for (NodeFrame* f = from; f; f = f->next)
        if (f != emptied && has_free(f)) return f;
    return nullptr;
}

void empty_frame(NodeFrame* frame) {
    memory::Memory& m = memory::record();
    NodeFrame* target = target_after(m.node_current, frame);
    uint32_t last = frame->first_id + frame->capacity;
    for (uint32_t id = frame->first_id; id < last && target; id++) {
        uintptr_t slot = node::raw_slot(id);
        if (slot == 0 || node::slot_is_free_link(slot)) continue;
        if (!has_free(target)) {
            target = target_after(target, frame);
            if (target == nullptr) break;
        }
        m.node_current = target;
        NodeId fresh = node::alloc();
        auto* b = reinterpret_cast<series::Buffer*>(slot);
        node::link(fresh, b);
        b->node = fresh;
        moved[id] = fresh;
        node::link(id, nullptr);
        frame->used--;
    }
    frame->retired = 1;
}

}  // namespace

bool moving_nodes() { return have_map; }

uint32_t moved_node(uint32_t id) {
    if (!have_map) return id;
    auto it = moved.find(id);
    return it == moved.end() ? id : it->second;
}

void update_moved_refs(uint32_t* start, uint32_t* end) {
    if (!have_map) return;
    for (uint32_t* p = start; p < end; p++) *p = moved_node(*p);
}

bool compact_node_frames() {
    memory::Memory& m = memory::record();
    NodeFrame* current = nullptr;
    for (NodeFrame* f = m.node_head; f; f = f->next) {
        if (has_free(f)) {
            current = f;
            break;
        }
    }
    if (current == nullptr) return false;
    m.node_current = current;

    uint64_t free = 0;
    for (NodeFrame* f = m.node_head; f; f = f->next)
        if (has_free(f)) free += f->capacity - f->used;

    bool emptied = false;
    for (NodeFrame* f = m.node_tail; f; f = f->prev) {
        if ((f->history & history_mask) != history_mask || f->used >= sparse_below ||
            free <= node::frame_capacity || f == m.node_current || f->retired)
            continue;
        if (!have_map) {
            moved.reserve(20000);
            have_map = true;
        }
        free -= node::frame_capacity;
        empty_frame(f);
        emptied = true;
    }
    if (emptied) count_node_compaction();
    return emptied;
}

void drop_moved_map() {
    moved.clear();
    have_map = false;
}

}  // namespace qor::collector
