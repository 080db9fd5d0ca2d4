// Series buffers: allocation by bump in series frames, big regions, buffers
// on the C++ heap, expansion and copying.
#include "runtime/memory/series.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "runtime/core/error_fire.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/platform/memory_region.h"

namespace qor::series {

using memory::BigRegion;
using memory::SeriesFrame;

namespace {

[[noreturn]] void no_memory() { error::fire(error::Id::no_memory); }

// The one size check of the allocator: count × unit rounded up to 16, in
// 64 bits, refused above max_capacity instead of wrapping.
uint64_t capacity_for(uint64_t count, uint32_t unit) {
    if (!std::has_single_bit(unit) || unit > 16 || count > max_capacity / unit) no_memory();
    return (count * unit + 15) & ~uint64_t{15};
}

void init_header(Buffer* b, uint64_t capacity, uint32_t flags) {
    b->flags = flags;
    b->node = 0;
    b->capacity = static_cast<uint32_t>(capacity);
    b->head = 0;
    b->tail = 0;
}

// Slow path of a frame allocation: the first frame with room, after a
// collection if none has any and one is due, else a new frame; it becomes
// current.
SeriesFrame* frame_with_room(uint64_t footprint) {
    memory::Memory& m = memory::record();
    SeriesFrame* frame = find_frame(footprint);
    if (frame == nullptr) {
        if (collector::collection_due() && collector::collect_when_enabled()) frame = find_frame(footprint);
        // Right after a collection a nearly full frame would only collect
        // again soon: start a fresh frame instead.
        if (frame == nullptr || frame->free_bytes() < reuse_threshold) {
            if (footprint >= m.next_frame_size) m.next_frame_size = m.big_threshold;
            frame = alloc_frame();
        }
    }
    m.series_current = frame;
    return frame;
}

// Links the node and the buffer both ways.
NodeId attach_node(Buffer* b) {
    NodeId id = node::alloc();
    b->node = id;
    node::link(id, b);
    return id;
}

// The flags a replacement buffer takes over from the buffer it replaces:
// everything but where the old one lived; `fresh` says where the new one does.
uint32_t inherited_flags(const Buffer* old, const Buffer* fresh) {
    return (old->flags & ~flag::placement) | (fresh->flags & flag::big);
}

// expand, also answering the abandoned buffer. Nothing allocates after the
// new buffer is made, so the old one stays where it is until the caller is done.
Buffer* expand_keeping_old(NodeId id, uint64_t new_capacity, Buffer*& old) {
    old = buffer(id);
    uint32_t unit = old->unit();
    if (new_capacity == 0) new_capacity = uint64_t{old->capacity} * 2;
    // Doubling nothing gives nothing: an empty buffer grows to the smallest
    // capacity instead, so growing an empty series is never an error.
    if (new_capacity == 0) new_capacity = 16;
    uint64_t used = old->tail - old->head;
    new_capacity = std::max(new_capacity, used);

    Buffer* fresh = alloc_buffer(new_capacity / unit, unit);
    old = buffer(id);  // the allocation may have moved it
    fresh->flags = inherited_flags(old, fresh);
    fresh->node = id;
    fresh->tail = static_cast<uint32_t>(used);
    node::link(id, fresh);
    old->node = 0;
    old->flags &= ~flag::in_use;
    return fresh;
}

}  // namespace

Buffer* alloc_buffer(size_t count, uint32_t unit) {
    uint64_t capacity = capacity_for(count, unit);
    uint64_t footprint = capacity + Buffer::footprint_extra;
    memory::Memory& m = memory::record();
#ifdef QOR_GC_STRESS
    // Test builds collect at every allocation, so a missing root shows at once.
    if (collector::stress()) collector::collect_when_enabled();
#endif
    collector::count_allocation(footprint);
    if (footprint >= m.big_threshold) {
        if (collector::collection_due()) collector::collect_when_enabled();
        Buffer* b = alloc_big(footprint);
        init_header(b, capacity, unit | flag::in_use | flag::allocated | flag::big);
        return b;
    }
    SeriesFrame* frame = m.series_current;
    if (frame == nullptr || frame->free_bytes() <= footprint) frame = frame_with_room(footprint);
    uint8_t* start = frame->heap;
    frame->heap += footprint;
    Buffer* b = buffer_at_footprint(start);
    init_header(b, capacity, unit | flag::in_use | flag::allocated);
    return b;
}

NodeId alloc(size_t count, uint32_t unit) { return attach_node(alloc_buffer(count, unit)); }

NodeId alloc_cells(size_t count) { return alloc(count, cell_unit); }

NodeId alloc_unset_cells(size_t count) {
    NodeId id = alloc(count, cell_unit);
    Buffer* b = buffer(id);
    std::fill_n(reinterpret_cast<Cell*>(b->data()), b->capacity / cell_unit, unset_cell);
    return id;
}

NodeId alloc_bytes(size_t count) { return alloc(count == 0 ? 16 : count, 1); }

NodeId alloc_units(size_t count, uint32_t unit) {
    if (count == 0 && unit != 0 && unit <= 16) count = 16 / unit;
    return alloc(count, unit);
}

NodeId alloc_filled(size_t count, uint8_t byte) {
    NodeId id = alloc_bytes(count);
    Buffer* b = buffer(id);
    std::memset(b->data(), byte, b->capacity);
    return id;
}

NodeId alloc_on_heap(size_t count, uint32_t unit) {
    uint64_t capacity = capacity_for(count, unit);
    // Same layout as in a frame, so the data start is 8-byte aligned too.
    void* block = ::operator new(capacity + Buffer::footprint_extra);
    Buffer* b = buffer_at_footprint(static_cast<uint8_t*>(block));
    init_header(b, capacity, unit | flag::in_use | flag::on_heap | flag::allocated);
    memory::record().heap_buffers.push_back(b);
    return attach_node(b);
}

void set_flag(NodeId id, uint32_t bits) { buffer(id)->flags |= bits; }

Buffer* expand(NodeId id, uint64_t new_capacity) {
    Buffer* old;
    return expand_keeping_old(id, new_capacity, old);
}

Buffer* expand_copy(NodeId id, uint64_t new_capacity) {
    Buffer* old;
    Buffer* fresh = expand_keeping_old(id, new_capacity, old);
    size_t bytes = std::min<size_t>(old->capacity - old->head, fresh->capacity);
    std::memcpy(fresh->data(), old->head_ptr(), bytes);
    return fresh;
}

Buffer* expand_filled(NodeId id, uint64_t new_capacity, uint8_t byte) {
    Buffer* old;
    Buffer* fresh = expand_keeping_old(id, new_capacity, old);
    size_t bytes = std::min<size_t>(old->capacity - old->head, fresh->capacity);
    std::memcpy(fresh->data(), old->head_ptr(), bytes);
    std::memset(fresh->data() + bytes, byte, fresh->capacity - bytes);
    return fresh;
}

NodeId copy(NodeId id) {
    NodeId fresh_id = alloc_bytes(buffer(id)->capacity);
    Buffer* old = buffer(id);  // after the allocation: it may have moved
    Buffer* fresh = buffer(fresh_id);
    fresh->flags = inherited_flags(old, fresh);
    fresh->tail = old->tail - old->head;
    std::memcpy(fresh->data(), old->head_ptr(), old->capacity - old->head);
    return fresh_id;
}

SeriesFrame* alloc_frame() {
    memory::Memory& m = memory::record();
    uint64_t size = m.next_frame_size;
    if (size < m.big_threshold) m.next_frame_size = static_cast<uint32_t>(size * 2);
    uint64_t reserved = 0;
    void* region = memory::os_alloc_region(sizeof(SeriesFrame) + size, reserved, true);
    auto* frame = static_cast<SeriesFrame*>(region);
    frame->size = size;
    frame->heap = frame->data_start();
    frame->end = frame->data_start() + size;
    frame->region_bytes = reserved;

    // Keep the list in ascending address order.
    auto below = [frame](const SeriesFrame* f) {
        return reinterpret_cast<uintptr_t>(f) < reinterpret_cast<uintptr_t>(frame);
    };
    if (m.series_head == nullptr) {
        frame->next = frame->prev = nullptr;
        m.series_head = m.series_tail = m.series_current = frame;
    } else if (!below(m.series_head)) {
        frame->prev = nullptr;
        frame->next = m.series_head;
        m.series_head->prev = frame;
        m.series_head = frame;
    } else {
        SeriesFrame* after = m.series_head;
        while (after->next && below(after->next)) after = after->next;
        frame->prev = after;
        frame->next = after->next;
        (after->next ? after->next->prev : m.series_tail) = frame;
        after->next = frame;
    }
    return frame;
}

SeriesFrame* find_frame(uint64_t footprint) {
    for (SeriesFrame* f = memory::record().series_head; f; f = f->next)
        if (f->free_bytes() > footprint) return f;
    return nullptr;
}

void free_frame(SeriesFrame* frame) {
    memory::Memory& m = memory::record();
    (frame->prev ? frame->prev->next : m.series_head) = frame->next;
    (frame->next ? frame->next->prev : m.series_tail) = frame->prev;
    if (m.series_current == frame) m.series_current = m.series_tail;
    memory::os_free_region(frame, frame->region_bytes);
}

Buffer* alloc_big(uint64_t footprint) {
    memory::Memory& m = memory::record();
    uint64_t reserved = 0;
    auto* region = static_cast<BigRegion*>(memory::os_alloc_region(sizeof(BigRegion) + footprint, reserved));
    // A big buffer is mostly written from end to end soon after it is made:
    // large pages take one page fault per 2 MB of it instead of one per 4 KB.
    platform::os_prefer_large_pages(region, reserved);
    region->next = nullptr;
    region->prev = m.big_tail;
    region->footprint = footprint;
    region->region_bytes = reserved;
    (m.big_tail ? m.big_tail->next : m.big_head) = region;
    m.big_tail = region;
    return buffer_at_footprint(reinterpret_cast<uint8_t*>(region + 1));
}

void free_big(Buffer* buffer) {
    memory::Memory& m = memory::record();
    BigRegion* region = big_region_of(buffer);
    (region->prev ? region->prev->next : m.big_head) = region->next;
    (region->next ? region->next->prev : m.big_tail) = region->prev;
    memory::os_free_region(region, region->region_bytes);
}

}  // namespace qor::series
