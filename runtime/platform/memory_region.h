// Virtual-memory regions for the memory manager's frames and big series,
// and where the calling thread's stack lies.
#pragma once

#include <cstddef>

namespace qor::platform {

// A zero-filled, read-write region (read-write-execute with the flag).
// Failure throws rt::throw_region_alloc_failed.
[[nodiscard]] void* os_alloc(size_t size, bool executable = false);

// As os_alloc (read-write), with every page mapped in at once: cheaper than
// a fault per page for a region that will be filled from start to end.
[[nodiscard]] void* os_alloc_prefaulted(size_t size);

// Releases a region from os_alloc or os_alloc_prefaulted; size is the size asked for.
// Failure throws rt::throw_region_free_failed.
void os_free(void* address, size_t size);

// Address space only: no access and no memory behind it until committed.
// Answers nullptr when the OS refuses.
[[nodiscard]] void* os_reserve(size_t size);

// Makes the pages covering [address, address + size) of a reservation
// readable and writable; answers false when the OS refuses.
[[nodiscard]] bool os_commit(void* address, size_t size);

// Asks for large pages behind [address, address + size) (of a reservation
// aligned to large_page_size): a region filled at once then takes far fewer
// page faults. Only advice: nothing changes when the system declines.
inline constexpr size_t large_page_size = size_t{2} << 20;
void os_prefer_large_pages(void* address, size_t size);

// Gives the pages lying wholly inside [address, address + size) back to the
// OS and makes them inaccessible again; they read as zero once recommitted.
void os_decommit(void* address, size_t size);

// The calling thread's stack: its lowest address and its size; a null
// address and 0 when the system does not say.
struct StackRange {
    char* low = nullptr;
    size_t size = 0;
};
[[nodiscard]] StackRange thread_stack();

}  // namespace qor::platform
