// The handle table: platform objects (bitmaps, streams) that values refer
// to by index.
//
// A value keeps only the entry's index; the entry keeps the object's C++
// pointer and its kind. Each kind is registered once with a name and a
// release callback. The collector marks the entries that reachable values
// name and then sweeps: every unmarked entry in use is released through its
// kind and goes back to the free list. The table doubles when its last free
// entry is taken, and never shrinks.
#pragma once

#include <cstdint>
#include <vector>

namespace qor::handle {

using ReleaseCallback = void (*)(void* object);

namespace flag {
inline constexpr uint32_t kind_mask = 0xFF;
inline constexpr uint32_t free = 0x40000000;
inline constexpr uint32_t marked = 0x80000000;
}  // namespace flag

inline constexpr int32_t end_of_list = -1;
inline constexpr uint32_t initial_capacity = 1000;
inline constexpr uint32_t max_kinds = 20;

struct Entry {
    uint32_t flags;  // kind number in bits 0-7, plus free / marked
    void* object;
    int32_t next;  // next entry on the free or the used list
    int32_t prev;  // previous entry on the used list, so freeing is O(1)
};

// Empties both tables: 1,000 free entries chained in index order, no kinds.
void init();

// Registers a kind and answers its number (from 1); 0 when all 20 kinds
// are taken.
[[nodiscard]] uint32_t register_kind(const char* name, ReleaseCallback release);

// The kind's name, or nullptr for an unknown kind number.
[[nodiscard]] const char* kind_name(uint32_t kind);

// Takes a free entry for the object (doubling the table first when it is
// the last free one) and answers its index. `flags` carries the kind.
[[nodiscard]] int32_t alloc(void* object, uint32_t flags);

// Returns an entry in use to the free list, releasing its object through
// its kind first when `release` is set.
void free(int32_t index, bool release);

// Marks an entry; a non-null object replaces the entry's. Answers true when
// it was not marked yet.
bool mark(int32_t index, void* object = nullptr);

// After marking: keeps marked entries (clearing the mark) and releases and
// frees every unmarked entry in use.
void sweep();

// Calls the release callback of the kind in `flags` (when it has one).
void release_kind(uint32_t flags, void* object);

// Read access for the collector and the image code.
[[nodiscard]] const Entry& entry(int32_t index);
[[nodiscard]] uint32_t capacity();

}  // namespace qor::handle
