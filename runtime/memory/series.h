// Series buffers: the storage of every block, string, binary, hash index
// and context, reached only through a node (node.h).
//
// A buffer is a 20-byte header followed by its data area:
//   flags     unit size in bits 0-4 and the flag bits below
//   node      the node that refers to it; 0 once abandoned by expand
//   capacity  bytes of the data area, a multiple of 16
//   head      offset of the first unit from the data start, in bytes
//   tail      offset just past the last unit, in bytes; head = tail: empty
// Head and tail are offsets, not addresses, so a buffer that moves needs no
// fix-up beyond its node. In a frame a buffer's footprint is capacity + 24:
// 4 spare bytes, the header, then the data, which starts 8-byte aligned.
//
// Units are 1, 2 or 4 bytes for strings and bytes (Latin-1, UCS-2, UCS-4)
// and 16 bytes for cells; any power of two up to 16 is accepted.
//
// THE RULE: C++ code never keeps a raw buffer or data pointer across
// anything that can allocate. Any allocation may run a collection, which
// moves buffers; after it, reach the buffer again through its node. Values
// that must stay alive meanwhile belong on the data stack or in a
// registered root.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/node.h"

namespace qor::series {

namespace flag {
inline constexpr uint32_t unit_mask = 0x1F;
inline constexpr uint32_t ownership = 3u << 16;     // ownership tracking; copied with the flags
inline constexpr uint32_t utf16_loaded = 1u << 18;  // set by the UTF-16 and file/url loaders
inline constexpr uint32_t complemented = 1u << 19;  // a complemented bitset
inline constexpr uint32_t on_heap = 1u << 20;       // on the C++ heap: never moved or swept
inline constexpr uint32_t big = 1u << 24;           // alone in a big region
inline constexpr uint32_t mark = 1u << 27;          // collector mark; clear outside a collection
inline constexpr uint32_t allocated = 1u << 29;     // set on every buffer at allocation
inline constexpr uint32_t in_use = 1u << 31;        // cleared when expand abandons the buffer
// Where a buffer lives and whether it is marked: never carried over to another buffer.
inline constexpr uint32_t placement = on_heap | big | mark;
}  // namespace flag

struct Buffer {
    uint32_t flags;
    uint32_t node;
    uint32_t capacity;
    uint32_t head;
    uint32_t tail;

    [[nodiscard]] uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
    [[nodiscard]] const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(this + 1); }
    [[nodiscard]] uint32_t unit() const { return flags & flag::unit_mask; }
    // Units are powers of two, so unit counts are shifts.
    [[nodiscard]] int unit_shift() const { return std::countr_zero(unit()); }
    [[nodiscard]] uint8_t* head_ptr() { return data() + head; }
    [[nodiscard]] const uint8_t* head_ptr() const { return data() + head; }
    [[nodiscard]] uint8_t* tail_ptr() { return data() + tail; }
    [[nodiscard]] const uint8_t* tail_ptr() const { return data() + tail; }
    // Head and tail counted in units from the data start.
    [[nodiscard]] uint32_t head_units() const { return head >> unit_shift(); }
    [[nodiscard]] uint32_t tail_units() const { return tail >> unit_shift(); }
    // Units from head to tail.
    [[nodiscard]] uint32_t length() const { return (tail - head) >> unit_shift(); }
    // Units that fit in the data area / after the tail.
    [[nodiscard]] uint32_t capacity_units() const { return capacity >> unit_shift(); }
    [[nodiscard]] uint32_t room_units() const { return (capacity - tail) >> unit_shift(); }
    // Address of unit i counted from the head.
    [[nodiscard]] uint8_t* at(uint32_t i) { return head_ptr() + (size_t{i} << unit_shift()); }
    [[nodiscard]] const uint8_t* at(uint32_t i) const { return head_ptr() + (size_t{i} << unit_shift()); }
    // The cells from the head (cell buffers only).
    [[nodiscard]] Cell* cells() { return reinterpret_cast<Cell*>(head_ptr()); }
    // Sets the tail to `units` from the data start.
    void set_tail_units(uint32_t units) { tail = units << unit_shift(); }
    // Footprint in a frame or big region.
    [[nodiscard]] uint64_t footprint() const { return uint64_t{capacity} + footprint_extra; }

    static constexpr uint32_t footprint_extra = 24;  // 4 spare + 20 header
};
static_assert(sizeof(Buffer) == 20);

inline constexpr uint32_t cell_unit = sizeof(Cell);
// The largest data area: lengths and offsets stay within 31 bits.
inline constexpr uint64_t max_capacity = 0x7FFFFFF0;
// After a collection, a frame with less free room than this is passed over.
inline constexpr uint64_t reuse_threshold = 52428;

// The node's buffer.
[[nodiscard]] inline Buffer* buffer(NodeId id) { return node::resolve(id); }

// Buffer allocation: capacity = count × unit rounded up to 16; head and tail
// at the data start; the node (allocated after the buffer) is linked both
// ways. A capacity above max_capacity, or a unit that is not a power of two
// up to 16, raises internal no-memory; so does an OS refusal. May run a
// collection.
[[nodiscard]] NodeId alloc(size_t count, uint32_t unit);
[[nodiscard]] NodeId alloc_cells(size_t count);
// Every cell of the whole capacity is unset!; the tail stays at the head.
[[nodiscard]] NodeId alloc_unset_cells(size_t count);
// A count of 0 becomes 16.
[[nodiscard]] NodeId alloc_bytes(size_t count);
// unit 1, 2 or 4; a count of 0 becomes 16 bytes' worth of units.
[[nodiscard]] NodeId alloc_units(size_t count, uint32_t unit);
// As alloc_bytes, the whole capacity filled with the byte; tail at head.
[[nodiscard]] NodeId alloc_filled(size_t count, uint8_t byte);
// A buffer on the C++ heap that never moves and is never swept (the stacks,
// the root block). Lives until memory::release_all().
[[nodiscard]] NodeId alloc_on_heap(size_t count, uint32_t unit);

// A buffer alone, without a node: the allocation step under alloc().
[[nodiscard]] Buffer* alloc_buffer(size_t count, uint32_t unit);

// ORs bits into the flags of the node's buffer.
void set_flag(NodeId id, uint32_t bits);

// Moves the node's series to a new buffer of new_capacity bytes (0: twice
// the old capacity; an empty buffer grows to 16 bytes). A capacity below
// the series' length is raised to it. Keeps the flags, sets tail = head +
// old length, abandons the old buffer (node 0, in-use clear) and answers the
// new one. Contents are not copied.
Buffer* expand(NodeId id, uint64_t new_capacity);
// expand, then copies the old data from the old head.
Buffer* expand_copy(NodeId id, uint64_t new_capacity);
// expand_copy, then fills the rest of the new data area with the byte.
Buffer* expand_filled(NodeId id, uint64_t new_capacity, uint8_t byte);

// A new series with the same flags, capacity (at least 16) and content.
[[nodiscard]] NodeId copy(NodeId id);

// Series frames.
memory::SeriesFrame* alloc_frame();
[[nodiscard]] memory::SeriesFrame* find_frame(uint64_t footprint);
void free_frame(memory::SeriesFrame* frame);

// Big regions.
[[nodiscard]] Buffer* alloc_big(uint64_t footprint);
void free_big(Buffer* buffer);
[[nodiscard]] inline memory::BigRegion* big_region_of(Buffer* buffer) {
    return reinterpret_cast<memory::BigRegion*>(reinterpret_cast<uint8_t*>(buffer) - 4) - 1;
}

// Walking the buffers of a frame: each footprint starts with 4 spare bytes.
[[nodiscard]] inline Buffer* buffer_at_footprint(uint8_t* footprint) {
    return reinterpret_cast<Buffer*>(footprint + 4);
}
[[nodiscard]] inline uint8_t* footprint_start(Buffer* buffer) {
    return reinterpret_cast<uint8_t*>(buffer) - 4;
}

}  // namespace qor::series
