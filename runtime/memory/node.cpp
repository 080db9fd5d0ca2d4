// Node frames: ranges of node ids, their free lists and their bookkeeping.
#include "runtime/memory/node.h"

#include <vector>

#include "runtime/core/error_fire.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/platform/memory_region.h"

namespace qor::node {

namespace detail {
uintptr_t* slots = nullptr;
uint64_t links = 1;
}

using memory::NodeFrame;
using detail::slots;

namespace {

constexpr size_t slot_array_bytes = (size_t{max_id} + 1) * sizeof(uintptr_t);
constexpr size_t frame_slot_bytes = size_t{frame_capacity} * sizeof(uintptr_t);

// The frame owning each range of ids, by range number.
std::vector<NodeFrame*> frames_by_range;

[[noreturn]] void no_memory() { error::fire(error::Id::no_memory); }

uintptr_t free_link(uint32_t next) { return uintptr_t{next} << 1 | 1; }

// The lowest range without a frame.
uint32_t free_range() {
    for (uint32_t r = 0; r < max_frames; r++)
        if (frames_by_range[r] == nullptr) return r;
    no_memory();
}

// Chains every node of a fresh frame, in ascending id order.
void init_free_list(NodeFrame* frame) {
    uint32_t first = frame->first_id;
    uint32_t last = first + frame->capacity - 1;
    for (uint32_t id = first; id < last; id++) slots[id] = free_link(id + 1);
    slots[last] = free_link(0);
    frame->free_head = first;
}

}  // namespace

void reserve_slots() {
    if (slots != nullptr) return;
    void* p = platform::os_reserve(slot_array_bytes);
    if (p == nullptr) no_memory();
    slots = static_cast<uintptr_t*>(p);
    frames_by_range.assign(max_frames, nullptr);
}

NodeFrame* alloc_frame() {
    reserve_slots();
    uint32_t range = free_range();
    uint32_t first = range * frame_capacity + 1;
    if (!platform::os_commit(slots + first, frame_slot_bytes)) no_memory();

    auto* frame = new NodeFrame{};
    frame->first_id = first;
    frame->capacity = frame_capacity;
    frame->stamp = collector::cycle_count();
    init_free_list(frame);
    frames_by_range[range] = frame;

    memory::Memory& m = memory::record();
    m.os_total += frame_slot_bytes;
    frame->prev = m.node_tail;
    if (m.node_tail) {
        m.node_tail->next = frame;
    } else {
        m.node_head = m.node_current = frame;
    }
    m.node_tail = frame;
    return frame;
}

NodeId alloc() {
    memory::Memory& m = memory::record();
    NodeFrame* frame = m.node_current;
    if (frame == nullptr || frame->free_head == 0 || frame->retired) {
        frame = nullptr;
        for (NodeFrame* f = m.node_head; f; f = f->next) {
            if (f->free_head != 0 && !f->retired) {
                frame = f;
                break;
            }
        }
        if (frame == nullptr) frame = alloc_frame();
        m.node_current = frame;
    }
    NodeId id = frame->free_head;
    frame->free_head = static_cast<uint32_t>(slots[id] >> 1);
    slots[id] = 0;
    frame->used++;
    return id;
}

void free(NodeId id) {
    NodeFrame* frame = frame_of(id);
    slots[id] = free_link(frame->free_head);
    frame->free_head = id;
    frame->used--;
}

NodeFrame* frame_of(NodeId id) {
    if (id == 0 || id > max_id || frames_by_range.empty()) return nullptr;
    return frames_by_range[(id - 1) / frame_capacity];
}

void free_frame(NodeFrame* frame) {
    memory::Memory& m = memory::record();
    (frame->prev ? frame->prev->next : m.node_head) = frame->next;
    (frame->next ? frame->next->prev : m.node_tail) = frame->prev;
    if (m.node_current == frame) m.node_current = m.node_tail;
    frames_by_range[(frame->first_id - 1) / frame_capacity] = nullptr;
    platform::os_decommit(slots + frame->first_id, frame_slot_bytes);
    m.os_total -= frame_slot_bytes;
    delete frame;
}

void release_empty_frames() {
    memory::Memory& m = memory::record();
    bool current_chosen = false;
    for (NodeFrame* frame = m.node_head; frame;) {
        NodeFrame* next = frame->next;
        // The last frame left stays even when empty: releasing it would only
        // make the next allocation build it again.
        bool only = m.node_head == frame && m.node_tail == frame;
        if (frame->retired || (frame->used == 0 && !only)) {
            free_frame(frame);
        } else {
            if (!current_chosen && frame->used < frame->capacity) {
                m.node_current = frame;
                current_chosen = true;
            }
            frame->history = frame->history << 1 | (frame->used == frame->last_used ? 1u : 0u);
            frame->last_used = frame->used;
        }
        frame = next;
    }
}

}  // namespace qor::node
