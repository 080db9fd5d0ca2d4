// Virtual-memory regions on mmap/munmap.
#include "runtime/platform/memory_region.h"

#include <pthread.h>
#include <sys/mman.h>

#include <cstdint>

#include "runtime/core/throw.h"

namespace qor::platform {

namespace {

constexpr uintptr_t page_size = 4096;

uintptr_t page_down(uintptr_t a) { return a & ~(page_size - 1); }
uintptr_t page_up(uintptr_t a) { return (a + page_size - 1) & ~(page_size - 1); }

}  // namespace

void* os_alloc(size_t size, bool executable) {
    int protection = PROT_READ | PROT_WRITE | (executable ? PROT_EXEC : 0);
    void* p = size == 0 ? MAP_FAILED
                        : mmap(nullptr, size, protection, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) rt::throw_code(rt::throw_region_alloc_failed);
    return p;
}

void* os_alloc_prefaulted(size_t size) {
    void* p = size == 0 ? MAP_FAILED
                        : mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (p == MAP_FAILED) rt::throw_code(rt::throw_region_alloc_failed);
    return p;
}

void os_free(void* address, size_t size) {
    if (munmap(address, size) != 0) rt::throw_code(rt::throw_region_free_failed);
}

void* os_reserve(size_t size) {
    void* p = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

bool os_commit(void* address, size_t size) {
    uintptr_t start = page_down(reinterpret_cast<uintptr_t>(address));
    uintptr_t end = page_up(reinterpret_cast<uintptr_t>(address) + size);
    return mprotect(reinterpret_cast<void*>(start), end - start, PROT_READ | PROT_WRITE) == 0;
}

void os_prefer_large_pages(void* address, size_t size) { madvise(address, size, MADV_HUGEPAGE); }

void os_decommit(void* address, size_t size) {
    uintptr_t start = page_up(reinterpret_cast<uintptr_t>(address));
    uintptr_t end = page_down(reinterpret_cast<uintptr_t>(address) + size);
    if (end <= start) return;
    auto* p = reinterpret_cast<void*>(start);
    madvise(p, end - start, MADV_DONTNEED);
    mprotect(p, end - start, PROT_NONE);
}

StackRange thread_stack() {
    StackRange range;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        void* low = nullptr;
        pthread_attr_getstack(&attributes, &low, &range.size);
        pthread_attr_destroy(&attributes);
        range.low = static_cast<char*>(low);
    }
    return range;
}

}  // namespace qor::platform
