// Virtual-memory regions for the memory manager's frames and big series.
#pragma once

#include <cstddef>

namespace qor::platform {

// A zero-filled, read-write region (read-write-execute with the flag).
// Failure throws rt::throw_region_alloc_failed.
[[nodiscard]] void* os_alloc(size_t size, bool executable = false);

// Releases a region from os_alloc; size is the size asked for.
// Failure throws rt::throw_region_free_failed.
void os_free(void* address, size_t size);

}  // namespace qor::platform
