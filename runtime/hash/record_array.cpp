// Record arrays over series.
#include "runtime/hash/record_array.h"

#include <algorithm>
#include <cstring>

namespace qor::array {

NodeId make(size_t count, uint32_t size) {
    NodeId id = series::alloc_bytes(count * size);
    series::Buffer* b = series::buffer(id);
    b->flags = (b->flags & ~series::flag::unit_mask) | size;
    return id;
}

uint32_t length(NodeId id) {
    series::Buffer* b = series::buffer(id);
    return (b->tail - b->head) / b->unit();
}

void clear(NodeId id) {
    series::Buffer* b = series::buffer(id);
    b->tail = b->head;
}

uint32_t flags(NodeId id) { return series::buffer(id)->flags; }

uint8_t* reserve_tail(NodeId id, size_t n) {
    series::Buffer* b = series::buffer(id);
    if (b->capacity - b->tail < n) {
        uint64_t need = uint64_t{b->tail} - b->head + n;
        b = series::expand_copy(id, std::max<uint64_t>(need, uint64_t{b->capacity} * 2));
    }
    uint8_t* at = b->tail_ptr();
    b->tail += static_cast<uint32_t>(n);
    return at;
}

void append_byte(NodeId id, uint8_t byte) { *reserve_tail(id, 1) = byte; }

void append_bytes(NodeId id, const void* bytes, size_t n) { std::memcpy(reserve_tail(id, n), bytes, n); }

void append_u32(NodeId id, uint32_t value) { std::memcpy(reserve_tail(id, 4), &value, 4); }

int64_t find_u32(NodeId id, uint32_t value) {
    series::Buffer* b = series::buffer(id);
    for (uint32_t offset = 0; offset + 4 <= b->tail - b->head; offset += 4) {
        uint32_t v;
        std::memcpy(&v, b->head_ptr() + offset, 4);
        if (v == value) return offset;
    }
    return -1;
}

uint32_t pick_u32(NodeId id, uint32_t i) {
    uint32_t v;
    std::memcpy(&v, series::buffer(id)->head_ptr() + (i - 1) * 4, 4);
    return v;
}

void poke_u32(NodeId id, uint32_t i, uint32_t value) {
    std::memcpy(series::buffer(id)->head_ptr() + (i - 1) * 4, &value, 4);
}

void remove_u32(NodeId id, uint32_t value) {
    int64_t offset = find_u32(id, value);
    if (offset >= 0) remove_bytes(id, static_cast<size_t>(offset), 4);
}

void remove_bytes(NodeId id, size_t offset, size_t n) {
    series::Buffer* b = series::buffer(id);
    size_t used = b->tail - b->head;
    if (offset >= used) return;
    n = std::min(n, used - offset);
    std::memmove(b->head_ptr() + offset, b->head_ptr() + offset + n, used - offset - n);
    b->tail -= static_cast<uint32_t>(n);
}

}  // namespace qor::array
