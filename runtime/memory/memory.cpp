// The memory manager's record, its set-up and release, and the OS regions
// that every frame is made of.
#include <cstdlib>
#include <new>

#include "runtime/core/error_fire.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/node.h"
#include "runtime/memory/series.h"
#include "runtime/platform/memory_region.h"
#include "runtime/core/throw.h"

namespace qor::memory {

namespace {

Memory the_record;

constexpr uint64_t page_size = 4096;
// No region is ever this large; beyond it the page rounding could wrap.
constexpr uint64_t largest_region = uint64_t{1} << 40;

}  // namespace

Memory& record() { return the_record; }

void init() {
    release_all();
    node::reserve_slots();
}

void release_all() {
    Memory& m = the_record;
    while (m.node_head) node::free_frame(m.node_head);
    for (SeriesFrame* f = m.series_head; f;) {
        SeriesFrame* next = f->next;
        os_free_region(f, f->region_bytes);
        f = next;
    }
    for (BigRegion* r = m.big_head; r;) {
        BigRegion* next = r->next;
        os_free_region(r, r->region_bytes);
        r = next;
    }
    for (series::Buffer* b : m.heap_buffers) ::operator delete(series::footprint_start(b));
    m = Memory{};
}

void* os_alloc_region(uint64_t size, uint64_t& reserved, bool prefault) {
    if (size == 0 || size > largest_region) error::fire(error::Id::no_memory);
    uint64_t rounded = (size + page_size - 1) & ~(page_size - 1);
    void* p = nullptr;
    try {
        p = prefault ? platform::os_alloc_prefaulted(rounded) : platform::os_alloc(rounded);
    } catch (const rt::Throw&) {
        error::fire(error::Id::no_memory);
    }
    the_record.os_total += rounded;
    reserved = rounded;
    return p;
}

void os_free_region(void* address, uint64_t reserved) {
    the_record.os_total -= reserved;
    try {
        platform::os_free(address, reserved);
    } catch (const rt::Throw&) {
        error::fire(error::Id::wrong_mem);
    }
}

}  // namespace qor::memory
