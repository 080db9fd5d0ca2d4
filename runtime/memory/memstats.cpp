// Memory figures: what `stats` and `recycle` report.
#include "runtime/memory/memstats.h"

#include <cstring>

#include "runtime/memory/collector_hook.h"
#include "runtime/memory/series.h"

namespace qor::memstats {

namespace {

constexpr uint64_t slot_bytes = sizeof(uintptr_t);
constexpr uint64_t int_max = 2147483647;

// Switches the collector off while figures are gathered, so the blocks
// built for them never start a collection.
struct CollectorOff {
    bool was = collector::enabled();
    CollectorOff() { collector::set_enabled(false); }
    ~CollectorOff() { collector::set_enabled(was); }
};

Cell block_cell(NodeId id, bool new_line) {
    Cell c{to_int(TypeId::block), 0, id, 0};
    if (new_line) c.header |= cell_flag::new_line;
    return c;
}

// Appends a value at the tail of a block, growing it when full.
void append(NodeId block, Cell value) {
    series::Buffer* b = series::buffer(block);
    if (b->capacity - b->tail < series::cell_unit) b = series::expand_copy(block, 0);
    std::memcpy(b->tail_ptr(), &value, sizeof value);
    b->tail += series::cell_unit;
}

Cell integer(uint64_t n) { return figure(n); }

NodeId triple(uint64_t a, uint64_t b, uint64_t c) {
    NodeId id = series::alloc_cells(3);
    append(id, integer(a));
    append(id, integer(b));
    append(id, integer(c));
    return id;
}

uint64_t heap_bytes() {
    uint64_t total = 0;
    for (series::Buffer* b : memory::record().heap_buffers) total += b->footprint();
    return total;
}

}  // namespace

Cell figure(uint64_t bytes) {
    Cell c{};
    if (bytes > int_max) {
        set_header(c, TypeId::float_);
        set_double(c, static_cast<double>(bytes));
    } else {
        set_header(c, TypeId::integer);
        set_int(c, static_cast<int32_t>(bytes));
    }
    return c;
}

uint64_t in_use() {
    memory::Memory& m = memory::record();
    uint64_t total = 0;
    for (memory::NodeFrame* f = m.node_head; f; f = f->next) total += f->used * slot_bytes;
    for (memory::SeriesFrame* f = m.series_head; f; f = f->next)
        total += static_cast<uint64_t>(f->heap - f->data_start());
    for (memory::BigRegion* r = m.big_head; r; r = r->next) total += r->footprint;
    return total;
}

void collect(NodeId block) {
    CollectorOff off;
    memory::Memory& m = memory::record();
    uint64_t grand = 0;

    NodeId nodes = series::alloc_cells(8);
    for (memory::NodeFrame* f = m.node_head; f; f = f->next) {
        append(nodes, block_cell(triple(f->capacity - f->used, f->used, f->capacity), true));
        grand += f->capacity * slot_bytes + sizeof(memory::NodeFrame);
    }
    append(block, block_cell(nodes, true));

    NodeId frames = series::alloc_cells(8);
    for (memory::SeriesFrame* f = m.series_head; f; f = f->next) {
        auto used = static_cast<uint64_t>(f->heap - f->data_start());
        append(frames, block_cell(triple(f->free_bytes(), used, f->size), true));
        grand += f->size + sizeof(memory::SeriesFrame);
    }
    append(block, block_cell(frames, true));

    NodeId bigs = series::alloc_cells(8);
    for (memory::BigRegion* r = m.big_head; r; r = r->next) {
        Cell c = integer(r->footprint);
        c.header |= cell_flag::new_line;
        append(bigs, c);
        grand += r->footprint + sizeof(memory::BigRegion);
    }
    append(block, block_cell(bigs, true));

    uint64_t heap = heap_bytes();
    append(block, integer(grand + heap));
    append(block, integer(heap));
}

}  // namespace qor::memstats
