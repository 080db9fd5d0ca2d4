// Virtual-memory regions on mmap/munmap.
#include "runtime/platform/memory_region.h"

#include <sys/mman.h>

#include "runtime/throw.h"

namespace qor::platform {

void* os_alloc(size_t size, bool executable) {
    int protection = PROT_READ | PROT_WRITE | (executable ? PROT_EXEC : 0);
    void* p = size == 0 ? MAP_FAILED
                        : mmap(nullptr, size, protection, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) rt::throw_code(rt::throw_region_alloc_failed);
    return p;
}

void os_free(void* address, size_t size) {
    if (munmap(address, size) != 0) rt::throw_code(rt::throw_region_free_failed);
}

}  // namespace qor::platform
