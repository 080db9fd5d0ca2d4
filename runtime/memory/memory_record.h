// The memory manager's record and the shapes of its frames.
//
// Storage comes in three kinds of OS region:
//   node frames    ranges of 10,000 node ids (see node.h); their slots live
//                  in one reserved array, their bookkeeping in a NodeFrame
//   series frames  bump-allocated regions of series buffers, kept in
//                  ascending address order (see series.h)
//   big regions    one region per buffer whose footprint reaches the big
//                  threshold
// The record below ties the lists together; the allocator and the collector
// share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qor::series {
struct Buffer;
}

namespace qor::memory {

// Bookkeeping of one node frame: the ids first_id .. first_id + capacity - 1.
struct NodeFrame {
    NodeFrame* next = nullptr;
    NodeFrame* prev = nullptr;
    uint32_t first_id = 0;
    uint32_t capacity = 0;
    uint32_t free_head = 0;  // first free id, 0 when the frame is full
    uint32_t used = 0;       // ids handed out
    uint32_t stamp = 0;      // collector cycle count when the frame was made
    uint32_t last_used = 0;  // `used` at the end of the previous collection
    uint32_t history = 0;    // bit 0: used did not change in the last collection
    uint32_t retired = 0;    // emptied by the collector: never allocated from again
};

// Header of a series frame, at the start of its region. Buffers lie from
// data_start() up to heap, back to back; end is data_start() + size.
struct SeriesFrame {
    SeriesFrame* next;
    SeriesFrame* prev;
    uint64_t size;          // bytes of the data area
    uint8_t* heap;          // first free byte
    uint8_t* end;           // end of the data area
    uint64_t region_bytes;  // the region as reserved (page-rounded)
    uint64_t spare[2];

    [[nodiscard]] uint8_t* data_start() { return reinterpret_cast<uint8_t*>(this + 1); }
    [[nodiscard]] uint64_t free_bytes() const { return static_cast<uint64_t>(end - heap); }
};
static_assert(sizeof(SeriesFrame) % 16 == 0);

// Header of a big-series region; the buffer's footprint follows it.
struct BigRegion {
    BigRegion* next;
    BigRegion* prev;
    uint64_t footprint;
    uint64_t region_bytes;
};
static_assert(sizeof(BigRegion) % 16 == 0);

inline constexpr uint32_t default_frame_size = 1048576;  // the first series frame
inline constexpr uint32_t big_threshold = 2097152;       // footprints from here get a region

struct Memory {
    uint64_t os_total = 0;  // bytes reserved from the OS for frames and regions
    NodeFrame* node_head = nullptr;
    NodeFrame* node_tail = nullptr;
    NodeFrame* node_current = nullptr;  // the frame node allocation pops from
    SeriesFrame* series_head = nullptr;
    SeriesFrame* series_current = nullptr;  // the frame allocation bumps in
    SeriesFrame* series_tail = nullptr;
    uint32_t frame_size = default_frame_size;
    uint32_t next_frame_size = default_frame_size;  // size of the next series frame
    uint32_t big_threshold = memory::big_threshold;
    BigRegion* big_head = nullptr;  // big regions, oldest first
    BigRegion* big_tail = nullptr;
    std::vector<series::Buffer*> heap_buffers;  // buffers on the C++ heap (never move)
};

// The one record.
[[nodiscard]] Memory& record();

// Sets the record to its start values. Called once by the boot before any
// allocation; frames are made on demand (the boot makes the first two).
void init();

// Releases every node frame, series frame, big region and heap buffer and
// leaves the record as before init(). Every node id becomes invalid.
void release_all();

// An OS region of at least `size` bytes, zero-filled; the reserved size
// (rounded up to the page size) is added to os_total and written back to
// `reserved`. `prefault` maps every page in at once (for series frames,
// which bump allocation fills from start to end). An OS refusal raises
// internal no-memory.
[[nodiscard]] void* os_alloc_region(uint64_t size, uint64_t& reserved, bool prefault = false);

// Releases a region from os_alloc_region; `reserved` is the size it wrote
// back. An OS refusal raises internal wrong-mem.
void os_free_region(void* address, uint64_t reserved);

}  // namespace qor::memory
