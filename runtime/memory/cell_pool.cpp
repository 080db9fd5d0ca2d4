// The cell pool.
#include "runtime/memory/cell_pool.h"

#include "runtime/memory/series.h"

namespace qor::cell_pool {

namespace {
NodeId pool = 0;
int32_t free_head = -1;
}  // namespace

void init() {
    pool = series::alloc_cells(size);
    series::Buffer* b = series::buffer(pool);
    Cell* cells = reinterpret_cast<Cell*>(b->data());
    for (uint32_t i = 0; i < size; i++) {
        const int32_t next = i + 1 < size ? static_cast<int32_t>(i + 1) : -1;
        cells[i] = Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(next), 0};
    }
    b->set_tail_units(size);
    free_head = 0;
}

NodeId block() { return pool; }

int32_t first_free() { return free_head; }

}  // namespace qor::cell_pool
