// Keeping a hash! index in step with its block: removals, shifts and moves
// of cells. Every position is followed through the position index to its
// bucket, so no key is hashed again.
#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/hash/hash_table.h"
#include "runtime/hash/hash_table_internal.h"
#include "runtime/hash/record_array.h"

namespace qor::hashtable {

using namespace detail;

namespace {

constexpr uint32_t no_bucket = 0xFFFFFFFF;
constexpr int32_t reindex_limit = 30000;

struct PositionIndex {
    uint32_t* words;
    uint32_t entries;
};

PositionIndex position_index(const Record& r) {
    series::Buffer* b = series::buffer(static_cast<NodeId>(r.index));
    return {reinterpret_cast<uint32_t*>(b->data()), b->capacity / 4};
}

uint32_t bucket_at(const Record& r, int32_t position) {
    PositionIndex index = position_index(r);
    if (position < 0 || static_cast<uint32_t>(position) >= index.entries) return no_bucket;
    uint32_t b = index.words[position];
    return b == no_bucket ? no_bucket : b - 1;
}

NodeId list_of(const Record& r, int32_t slot) {
    return array::pick_u32(static_cast<NodeId>(r.lists), static_cast<uint32_t>(-slot));
}

// The entries of a duplicate list.
struct ListView {
    uint32_t* entries;
    uint32_t count;
};

ListView view(NodeId list) {
    series::Buffer* b = series::buffer(list);
    return {reinterpret_cast<uint32_t*>(b->head_ptr()), b->length()};
}

// Makes the position index hold at least `entries` entries.
void ensure_index(NodeId table, uint32_t entries) {
    Record& r = record(table);
    if (position_index(r).entries < entries) {
        series::expand_filled(static_cast<NodeId>(r.index), uint64_t{entries} * 4 * 2, 0xFF);
    }
}

// Applies `moved` to every stored position in [lo, hi): plain slots and
// each list once (lists may hold positions outside the range too; those
// are left alone).
template <class Moved>
void remap_positions(NodeId table, int32_t lo, int32_t hi, Moved&& moved) {
    Record& r = record(table);
    std::vector<uint8_t> seen(array::length(static_cast<NodeId>(r.lists)) + 1, 0);
    int32_t* slots = slot_words(r);
    for (int32_t p = lo; p < hi; p++) {
        uint32_t bucket = bucket_at(r, p);
        if (bucket == no_bucket) continue;
        int32_t slot = slots[bucket];
        if (slot >= 0) {
            if (slot == p) slots[bucket] = moved(p);
            continue;
        }
        if (seen[static_cast<size_t>(-slot)]) continue;
        seen[static_cast<size_t>(-slot)] = 1;
        ListView list = view(list_of(r, slot));
        for (uint32_t i = 0; i < list.count; i++) {
            int32_t e = static_cast<int32_t>(list.entries[i]);
            if (e >= lo && e < hi) list.entries[i] = static_cast<uint32_t>(moved(e));
        }
    }
}

}  // namespace

void remove_at(NodeId table, int32_t position) {
    Record& r = record(table);
    if (r.kind == int32_t(Kind::map)) {
        Cell* cells = block_cells(r);
        if (position + 1 < block_length(r) && cells[position + 1].header != 0) {
            cells[position + 1].header = 0;
            r.size--;
        }
        return;
    }
    if (r.kind != int32_t(Kind::hash)) return;
    uint32_t bucket = bucket_at(r, position);
    if (bucket == no_bucket) return;
    position_index(r).words[position] = no_bucket;
    int32_t slot = slot_words(r)[bucket];
    if (slot >= 0) {
        set_state(flag_words(r), bucket, State::deleted);
        r.size--;
        return;
    }
    NodeId list = list_of(r, slot);
    array::remove_u32(list, static_cast<uint32_t>(position));
    if (array::length(list) == 0) {
        array::poke_u32(static_cast<NodeId>(r.lists), static_cast<uint32_t>(-slot), 0);
        set_state(flag_words(r), bucket, State::deleted);
        r.size--;
    }
}

void remove_range(NodeId table, int32_t position, int32_t n) {
    Record& r = record(table);
    int32_t length = block_length(r);
    n = std::clamp(n, 0, std::max(length - position, 0));
    if (position == 0 && n == length && r.kind == int32_t(Kind::hash)) {
        r.size = 0;
        r.occupied = 0;
        series::Buffer* flags = series::buffer(static_cast<NodeId>(r.flags));
        std::memset(flags->data(), 0xAA, flags->capacity);
        series::Buffer* index = series::buffer(static_cast<NodeId>(r.index));
        std::memset(index->data(), 0xFF, index->capacity);
        array::clear(static_cast<NodeId>(r.lists));
        return;
    }
    for (int32_t i = 0; i < n; i++) remove_at(table, position + i);
}

int reindex_range(NodeId table, int32_t shift, int32_t position, int32_t count, bool move_index) {
    if (count > reindex_limit) return 1;
    if (move_index && shift < 0) {
        for (int32_t q = position + shift; q < position; q++) remove_at(table, q);
    }
    remap_positions(table, position, position + count, [shift](int32_t p) { return p + shift; });
    if (!move_index) return 0;
    ensure_index(table, static_cast<uint32_t>(std::max(position + count, position + count + shift)));
    PositionIndex index = position_index(record(table));
    std::memmove(index.words + position + shift, index.words + position, size_t(count) * 4);
    // Entries the moved range left behind belong to no cell now.
    if (shift > 0) std::fill(index.words + position, index.words + position + std::min(shift, count), no_bucket);
    else std::fill(index.words + position + count + shift, index.words + position + count, no_bucket);
    return 0;
}

void move_range(NodeId table, int32_t to, int32_t from, int32_t count) {
    if (count <= 0 || (to >= from && to <= from + count)) return;
    // Where each position of the affected span ends up.
    int32_t lo = std::min(to, from);
    int32_t hi = std::max(to, from + count);
    auto moved = [=](int32_t p) {
        if (p >= from && p < from + count) return to < from ? p + (to - from) : p + (to - count - from);
        if (to < from) return p + count;  // the cells in [to, from) move up
        return p - count;                 // the cells in [from + count, to) move down
    };
    remap_positions(table, lo, hi, moved);
    ensure_index(table, static_cast<uint32_t>(hi));
    PositionIndex index = position_index(record(table));
    std::vector<uint32_t> old(index.words + lo, index.words + hi);
    for (int32_t p = lo; p < hi; p++) index.words[moved(p)] = old[static_cast<size_t>(p - lo)];
}

}  // namespace qor::hashtable
