// Growing series at their tail.
#include "runtime/memory/series_tail.h"

#include "runtime/memory/series.h"

namespace qor::series_tail {

Cell* alloc_cell(uint32_t node) {
    series::Buffer* b = series::buffer(node);
    // Doubles the capacity; an empty buffer (nothing to double) gets room
    // for a few cells.
    if (b->tail + series::cell_unit > b->capacity)
        b = series::expand_copy(node, b->capacity == 0 ? 4 * series::cell_unit : 0);
    Cell* c = reinterpret_cast<Cell*>(b->data() + b->tail);
    set_header(*c, TypeId::unset);
    b->tail += series::cell_unit;
    return c;
}

Cell* block_alloc_tail(const Cell& block) { return alloc_cell(block.w2); }

uint8_t* reserve(uint32_t node, uint32_t n) {
    series::Buffer* b = series::buffer(node);
    if (uint64_t{b->tail} + n > b->capacity)
        b = series::expand_copy(node, n > b->capacity ? uint64_t{n} * 2 : 0);
    uint8_t* old_tail = b->data() + b->tail;
    b->tail += n;
    return old_tail;
}

uint32_t cell_count(const Cell& block) {
    const uint32_t length = series::buffer(block.w2)->length();
    return block.w1 < length ? length - block.w1 : 0;
}

Cell* cell_at(const Cell& block, uint32_t i) { return series::buffer(block.w2)->cells() + block.w1 + i; }

uint32_t tail_units(const Cell& series) { return series::buffer(series.w2)->length(); }

}  // namespace qor::series_tail
