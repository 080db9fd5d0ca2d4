// The handle table: entries on a free list and a used list, kinds with
// release callbacks.
#include "runtime/memory/handle_table.h"

namespace qor::handle {

namespace {

struct Kind {
    const char* name;
    ReleaseCallback release;
};

std::vector<Kind> kinds;
std::vector<Entry> entries;
int32_t free_head = end_of_list;
int32_t used_head = end_of_list;

// Appends entries [from, to) to the table, chained in index order.
void add_free_entries(uint32_t from, uint32_t to) {
    entries.resize(to);
    for (uint32_t i = from; i < to; i++)
        entries[i] = Entry{flag::free, nullptr, i + 1 < to ? static_cast<int32_t>(i + 1) : end_of_list, end_of_list};
}

// Doubles the table; the new entries follow the last free one.
void grow(int32_t last_free) {
    auto old_capacity = static_cast<uint32_t>(entries.size());
    add_free_entries(old_capacity, old_capacity * 2);
    entries[last_free].next = static_cast<int32_t>(old_capacity);
}

void unlink_used(int32_t index) {
    const Entry& e = entries[index];
    (e.prev == end_of_list ? used_head : entries[e.prev].next) = e.next;
    if (e.next != end_of_list) entries[e.next].prev = e.prev;
}

void push_free(int32_t index) {
    entries[index] = Entry{flag::free, nullptr, free_head, end_of_list};
    free_head = index;
}

}  // namespace

void init() {
    kinds.clear();
    kinds.reserve(max_kinds);
    entries.clear();
    add_free_entries(0, initial_capacity);
    free_head = 0;
    used_head = end_of_list;
}

uint32_t register_kind(const char* name, ReleaseCallback release) {
    if (kinds.size() >= max_kinds) return 0;
    kinds.push_back(Kind{name, release});
    return static_cast<uint32_t>(kinds.size());
}

const char* kind_name(uint32_t kind) {
    return kind >= 1 && kind <= kinds.size() ? kinds[kind - 1].name : nullptr;
}

int32_t alloc(void* object, uint32_t flags) {
    int32_t index = free_head;
    if (entries[index].next == end_of_list) grow(index);
    free_head = entries[index].next;
    entries[index] = Entry{flags & ~(flag::free | flag::marked), object, used_head, end_of_list};
    if (used_head != end_of_list) entries[used_head].prev = index;
    used_head = index;
    return index;
}

void free(int32_t index, bool release) {
    if (release) release_kind(entries[index].flags, entries[index].object);
    unlink_used(index);
    push_free(index);
}

bool mark(int32_t index, void* object) {
    Entry& e = entries[index];
    bool was_marked = (e.flags & flag::marked) != 0;
    e.flags |= flag::marked;
    if (object != nullptr) e.object = object;
    return !was_marked;
}

void sweep() {
    for (int32_t i = used_head; i != end_of_list;) {
        int32_t next = entries[i].next;
        if (entries[i].flags & flag::marked) {
            entries[i].flags &= ~flag::marked;
        } else {
            free(i, true);
        }
        i = next;
    }
}

void release_kind(uint32_t flags, void* object) {
    uint32_t kind = flags & flag::kind_mask;
    if (kind >= 1 && kind <= kinds.size() && kinds[kind - 1].release) kinds[kind - 1].release(object);
}

const Entry& entry(int32_t index) { return entries[index]; }

uint32_t capacity() { return static_cast<uint32_t>(entries.size()); }

}  // namespace qor::handle
