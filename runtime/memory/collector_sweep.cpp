// The sweep: unreachable buffers give back their nodes, live buffers slide
// down inside their frame and, while the frame below has room, move into
// it; a series frame left empty is released.
//
// Buffers record head and tail as offsets, so a moved buffer needs only its
// node pointed at its new address.
#include <cstring>

#include "runtime/memory/collector_internal.h"
#include "runtime/memory/series.h"

namespace qor::collector {

namespace {

using memory::SeriesFrame;
using series::Buffer;

bool marked(const Buffer* b) { return (b->flags & series::flag::mark) != 0; }

// Points the nodes of the buffers in [start, end) at their addresses.
void relink(uint8_t* start, uint8_t* end) {
    for (uint8_t* p = start; p < end;) {
        Buffer* b = series::buffer_at_footprint(p);
        node::link(b->node, b);
        p += b->footprint();
    }
}

// Moves a run of live buffers and relinks their nodes.
void move_run(uint8_t* to, uint8_t* from, uint64_t length) {
    if (to == from) return;
    std::memmove(to, from, length);
    relink(to, to + length);
}

// Sweeps one frame. With a frame below (`below`), runs of live buffers move
// into its free space while that stays above the reuse threshold; the rest
// slide down to the first hole of this frame.
void sweep_frame(SeriesFrame* f, SeriesFrame* below) {
    uint8_t* dest = nullptr;  // first free byte once a hole has been found
    uint64_t room = below ? below->free_bytes() : 0;
    bool moving = below != nullptr && room > series::reuse_threshold;
    uint8_t* p = f->data_start();
    uint8_t* heap = f->heap;
    while (p < heap) {
        Buffer* b = series::buffer_at_footprint(p);
        if (!marked(b)) {
            push_pending_free(b->node);
            if (dest == nullptr) dest = p;
            p += b->footprint();
            continue;
        }
        // A run of live buffers; while moving, only as much as fits below.
        uint8_t* start = p;
        while (p < heap) {
            Buffer* r = series::buffer_at_footprint(p);
            if (!marked(r)) break;
            uint64_t fp = r->footprint();
            if (moving && p != start && static_cast<uint64_t>(p - start) + fp > room) break;
            r->flags &= ~series::flag::mark;
            p += fp;
        }
        auto length = static_cast<uint64_t>(p - start);
        if (moving && length <= room) {
            std::memcpy(below->heap, start, length);
            relink(below->heap, below->heap + length);
            below->heap += length;
            room -= length;
            moving = room > series::reuse_threshold;
            if (dest == nullptr) dest = start;
        } else if (dest != nullptr) {
            move_run(dest, start, length);
            dest += length;
        }
    }
    if (dest != nullptr) f->heap = dest;
}

}  // namespace

void sweep_all_series() {
    memory::Memory& m = memory::record();
    SeriesFrame* f = m.series_head;
    if (f == nullptr) return;
    sweep_frame(f, nullptr);
    for (f = f->next; f;) {
        SeriesFrame* next = f->next;
        sweep_frame(f, f->prev);
        if (f->heap == f->data_start() && f != m.series_tail) series::free_frame(f);
        f = next;
    }
}

void sweep_big() {
    memory::Memory& m = memory::record();
    for (memory::BigRegion* r = m.big_head; r;) {
        memory::BigRegion* next = r->next;
        Buffer* b = series::buffer_at_footprint(reinterpret_cast<uint8_t*>(r + 1));
        if (marked(b)) {
            b->flags &= ~series::flag::mark;
        } else {
            push_pending_free(b->node);
            series::free_big(b);
        }
        r = next;
    }
}

void unmark_heap_buffers() {
    for (Buffer* b : memory::record().heap_buffers) b->flags &= ~series::flag::mark;
}

}  // namespace qor::collector
