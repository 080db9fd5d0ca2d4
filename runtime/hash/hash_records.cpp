// Kinds 3 and 4: record tables keyed by a node id.
//
// A record is a header cell followed by its payload cells: header word 0 is
// 2 for a live record and 0 for a removed one, header word 1 the key. A
// bucket's slot holds the record's byte offset in the record block.
#include <algorithm>
#include <cstring>

#include "runtime/hash/hash_table.h"
#include "runtime/hash/hash_table_internal.h"
#include "runtime/hash/murmur3.h"
#include "runtime/memory/roots.h"

namespace qor::hashtable {

using namespace detail;

namespace {

constexpr uint32_t live_record = 2;

Cell* record_at(const Record& r, int32_t offset) {
    return reinterpret_cast<Cell*>(series::buffer(static_cast<NodeId>(r.block))->head_ptr() + offset);
}

// The bucket holding the key, or -1; `free_bucket` receives the bucket a
// new key would take (the last deleted one passed, else the empty one).
int64_t probe_key(const Record& r, uint32_t key, uint32_t& free_bucket) {
    return probe_for_key(flag_words(r), Probe(hash::mix32(key), static_cast<uint32_t>(r.buckets)), free_bucket,
                         [&](uint32_t bucket) { return record_at(r, slot_words(r)[bucket])->w1 == key; });
}

// Rebuilds a record table for `request` buckets with only its live records.
void rebuild_records(NodeId table, int32_t request) {
    uint32_t p = next_power_of_2(static_cast<uint32_t>(std::max(request, 1)));
    uint32_t buckets = std::max(p, 4u);
    uint32_t record_size = static_cast<uint32_t>(record(table).index);
    NodeId old_block = static_cast<NodeId>(record(table).block);
    size_t live = static_cast<size_t>(std::max(record(table).size, 1));
    NodeId flags, slots;
    make_bucket_arrays(buckets, flags, slots);
    collector::NodeGuard keep_flags(flags), keep_slots(slots);  // until the record holds them
    NodeId block = series::alloc_cells(live * (record_size / sizeof(Cell)));
    Record& r = record(table);
    r.flags = static_cast<int32_t>(flags);
    r.slots = static_cast<int32_t>(slots);
    r.block = static_cast<int32_t>(block);
    r.buckets = static_cast<int32_t>(buckets);
    r.limit = static_cast<int32_t>(p * 0.77 + 0.5);
    r.size = 0;
    r.occupied = 0;
    series::Buffer* from = series::buffer(old_block);
    series::Buffer* to = series::buffer(block);
    for (uint32_t offset = 0; offset + record_size <= from->tail - from->head; offset += record_size) {
        const Cell* old = reinterpret_cast<const Cell*>(from->head_ptr() + offset);
        if (old->header != live_record) continue;
        uint32_t free_bucket = 0;
        probe_key(r, old->w1, free_bucket);
        int32_t at = static_cast<int32_t>(to->tail - to->head);
        std::memcpy(to->tail_ptr(), old, record_size);
        to->tail += record_size;
        set_state(flag_words(r), free_bucket, State::live);
        slot_words(r)[free_bucket] = at;
        r.size++;
        r.occupied++;
    }
}

}  // namespace

Cell* put_key(NodeId table, uint32_t key) {
    {
        Record& r = record(table);
        if (r.occupied >= r.limit) rebuild_records(table, growth_request(r));
    }
    Record& r = record(table);
    uint32_t record_size = static_cast<uint32_t>(r.index);
    uint32_t free_bucket = 0;
    int64_t found = probe_key(r, key, free_bucket);
    int32_t offset;
    if (found >= 0) {
        offset = slot_words(r)[found];
    } else {
        bool was_empty = state(flag_words(r), free_bucket) == State::empty;
        if (was_empty) {
            NodeId block = static_cast<NodeId>(r.block);
            series::Buffer* b = series::buffer(block);
            if (b->capacity - b->tail < record_size) b = series::expand_copy(block, uint64_t{b->capacity} * 2 + record_size);
            offset = static_cast<int32_t>(b->tail - b->head);
            b->tail += record_size;
        } else {
            offset = slot_words(record(table))[free_bucket];  // the removed record is reused
        }
        Record& now = record(table);
        set_state(flag_words(now), free_bucket, State::live);
        slot_words(now)[free_bucket] = offset;
        now.size++;
        if (was_empty) now.occupied++;
    }
    Cell* cells = record_at(record(table), offset);
    for (uint32_t i = 0; i < record_size / sizeof(Cell); i++) cells[i] = unset_cell;
    cells[0].w1 = key;
    return cells + 1;
}

Cell* find_key(NodeId table, uint32_t key) {
    Record& r = record(table);
    uint32_t free_bucket = 0;
    int64_t found = probe_key(r, key, free_bucket);
    return found >= 0 ? record_at(r, slot_words(r)[found]) + 1 : nullptr;
}

Cell* remove_key(NodeId table, uint32_t key) {
    Record& r = record(table);
    uint32_t free_bucket = 0;
    int64_t found = probe_key(r, key, free_bucket);
    if (found < 0) return nullptr;
    set_state(flag_words(r), static_cast<uint32_t>(found), State::deleted);
    r.size--;
    Cell* header = record_at(r, slot_words(r)[found]);
    header->header = 0;
    return header + 1;
}

void for_each_record(NodeId table, void (*visit)(uint32_t key, Cell* payload, void* context), void* context) {
    const Record& r = record(table);
    if (r.block == 0) return;
    const uint32_t record_size = static_cast<uint32_t>(r.index);
    const series::Buffer* b = series::buffer(static_cast<NodeId>(r.block));
    for (uint32_t offset = 0; offset + record_size <= b->tail - b->head; offset += record_size) {
        Cell* header = record_at(r, static_cast<int32_t>(offset));
        if (header->header == live_record) visit(header->w1, header + 1, context);
    }
}

}  // namespace qor::hashtable
