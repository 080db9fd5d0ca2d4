// Hash tables: making them, indexing keys, finding them, growing.
#include "runtime/hash/hash_table.h"

#include <algorithm>
#include <cstring>

#include "runtime/hash/hash_table_internal.h"
#include "runtime/hash/murmur3.h"
#include "runtime/hash/record_array.h"
#include "runtime/memory/roots.h"
#include "runtime/unicode/case_map.h"

namespace qor::hashtable {

namespace detail {

KeyCompare key_compare = nullptr;
MapKeyCheck map_key_check = nullptr;

void make_bucket_arrays(uint32_t buckets, NodeId& flags, NodeId& slots) {
    flags = series::alloc_filled(flag_bytes(buckets), 0xAA);
    collector::NodeGuard keep_flags(flags);  // only this local holds it meanwhile
    slots = series::alloc_bytes(size_t{buckets} * 4);
}

}  // namespace detail

using namespace detail;

namespace {

constexpr uint32_t no_bucket = 0xFFFFFFFF;

bool is_word_type(uint8_t t) { return t >= to_int(TypeId::word) && t <= to_int(TypeId::get_word); }

bool is_string_type(uint8_t t) { return is_any_string(static_cast<TypeId>(t)) || t == string_part_type; }

// The characters of a string key: from its index to the tail, or for a
// string part its count from the index.
struct Chars {
    const uint8_t* at;
    uint32_t count;
    uint32_t unit;
};

Chars chars_of(const Cell& key) {
    series::Buffer* b = series::buffer(key.w2);
    uint32_t length = b->length();
    uint32_t index = std::min(key.w1, length);
    uint32_t count = length - index;
    if ((key.header & 0xFF) == string_part_type && static_cast<int32_t>(key.w3) >= 0) count = std::min(count, key.w3);
    return {b->at(index), count, b->unit()};
}

uint32_t char_at(const Chars& c, uint32_t i) {
    uint32_t v = 0;
    std::memcpy(&v, c.at + size_t{i} * c.unit, c.unit);
    return v;
}

// A string part key against a key of any string type: equal? ignores case,
// the other tests compare exactly.
bool string_part_matches(const Cell& key, const Cell& other, int op) {
    Chars a = chars_of(key), b = chars_of(other);
    if (a.count != b.count) return false;
    for (uint32_t i = 0; i < a.count; i++) {
        uint32_t x = char_at(a, i), y = char_at(b, i);
        if (op != op_strict_equal) x = unicode::to_upper(x), y = unicode::to_upper(y);
        if (x != y) return false;
    }
    return true;
}

// Whether the test `op` holds between a stored key and the key searched.
bool holds(const Cell& stored, const Cell& key, int op) {
    if ((key.header & 0xFF) == string_part_type) return is_string_type(stored.header & 0xFF) && string_part_matches(key, stored, op);
    return key_compare(stored, key, op) == 0;
}

// Kind-2 keys: symbol entries compare by spelling, word cells by id.
bool same_kind2_key(const Cell& a, const Cell& b) {
    if (type_of(a) == TypeId::symbol && type_of(b) == TypeId::symbol) {
        series::Buffer* x = series::buffer(a.w3);
        series::Buffer* y = series::buffer(b.w3);
        return x->length() == y->length() && std::memcmp(x->head_ptr(), y->head_ptr(), x->length()) == 0;
    }
    return a.w2 == b.w2;
}

uint32_t kind2_hash(const Cell& key) {
    if (type_of(key) == TypeId::symbol) {
        series::Buffer* b = series::buffer(key.w3);
        return hash_spelling(b->head_ptr(), b->length());
    }
    return hash::mix32(static_cast<uint32_t>(resolve_alias(static_cast<int32_t>(key.w2))));
}

uint32_t key_hash(const Record& r, const Cell& key) {
    return r.kind == int32_t(Kind::words) ? kind2_hash(key) : hash_value(key);
}

// ---- Kind 0: position index and duplicate lists ----

uint32_t index_entries(const Record& r) { return series::buffer(static_cast<NodeId>(r.index))->capacity / 4; }

uint32_t* index_words(const Record& r) {
    return reinterpret_cast<uint32_t*>(series::buffer(static_cast<NodeId>(r.index))->data());
}

// Records the bucket of a position, growing the index (filled with "no
// bucket") when the position lies beyond it.
void set_position_bucket(NodeId table, int32_t position, uint32_t bucket) {
    Record& r = record(table);
    if (static_cast<uint32_t>(position) >= index_entries(r)) {
        uint64_t bytes = std::max<uint64_t>(uint64_t(position) * 4 * 2, 64);
        series::expand_filled(static_cast<NodeId>(r.index), bytes, 0xFF);
    }
    index_words(record(table))[position] = bucket == no_bucket ? no_bucket : bucket + 1;
}

uint32_t list_count(const Record& r) { return array::length(static_cast<NodeId>(r.lists)); }

NodeId list_node(const Record& r, int32_t slot) { return array::pick_u32(static_cast<NodeId>(r.lists), static_cast<uint32_t>(-slot)); }

// The position of a group's first key.
int32_t group_first(const Record& r, int32_t slot) {
    return slot >= 0 ? slot : static_cast<int32_t>(array::pick_u32(list_node(r, slot), 1));
}

// Adds a position to the group in a bucket, turning a plain slot into a list.
void add_to_group(NodeId table, uint32_t bucket, int32_t position) {
    int32_t slot = slot_words(record(table))[bucket];
    if (slot < 0) {
        array::append_u32(list_node(record(table), slot), static_cast<uint32_t>(position));
        return;
    }
    NodeId list = array::make(2, 4);
    collector::NodeGuard keep_list(list);  // until the list array holds it
    array::append_u32(list, static_cast<uint32_t>(slot));
    array::append_u32(list, static_cast<uint32_t>(position));
    array::append_u32(static_cast<NodeId>(record(table).lists), list);
    Record& r = record(table);
    slot_words(r)[bucket] = -static_cast<int32_t>(list_count(r));
}

void reset_kind0_extras(NodeId table) {
    Record& r = record(table);
    series::Buffer* index = series::buffer(static_cast<NodeId>(r.index));
    std::memset(index->data(), 0xFF, index->capacity);
    array::clear(static_cast<NodeId>(r.lists));
}

// ---- Probing ----

// Takes a free bucket for a new key at `position`.
void occupy(Record& r, uint32_t bucket, int32_t position) {
    uint32_t* words = flag_words(r);
    bool was_empty = state(words, bucket) == State::empty;
    set_state(words, bucket, State::live);
    slot_words(r)[bucket] = position;
    r.size++;
    if (was_empty) r.occupied++;
}

int32_t put_kind0(NodeId table, int32_t position, const Cell& key, uint32_t hash) {
    Record& r = record(table);
    Cell* cells = block_cells(r);
    const int32_t* slots = slot_words(r);
    uint32_t target = 0;
    int64_t found = probe_for_key(flag_words(r), Probe(hash, static_cast<uint32_t>(r.buckets)), target,
                                  [&](uint32_t bucket) {
        const Cell& first = cells[group_first(r, slots[bucket])];
        return type_of(first) == type_of(key) && key_compare(first, key, op_equal) == 0;
    });
    if (found >= 0) {
        // An equal key is there: the position joins its group.
        add_to_group(table, static_cast<uint32_t>(found), position);
        set_position_bucket(table, position, static_cast<uint32_t>(found));
        return position;
    }
    occupy(r, target, position);
    set_position_bucket(table, position, target);
    return position;
}

int32_t put_keyed(NodeId table, int32_t position, const Cell& key, uint32_t hash) {
    Record& r = record(table);
    Cell* cells = block_cells(r);
    const int32_t* slots = slot_words(r);
    bool words_kind = r.kind == int32_t(Kind::words);
    uint32_t target = 0;
    int64_t found = probe_for_key(flag_words(r), Probe(hash, static_cast<uint32_t>(r.buckets)), target,
                                  [&](uint32_t bucket) {
        const Cell& stored = cells[slots[bucket]];
        return words_kind ? same_kind2_key(stored, key)
                          : type_of(stored) == type_of(key) && key_compare(stored, key, op_strict_equal) == 0;
    });
    if (found >= 0) return slots[found];
    occupy(r, target, position);
    return position;
}

// Kind 0: the answer among a group's positions.
int32_t pick_in_group(const Record& r, int32_t slot, const Cell& key, int32_t head, int32_t skip, int op, bool last,
                      bool reverse) {
    Cell* cells = block_cells(r);
    uint32_t count = slot >= 0 ? 1 : array::length(list_node(r, slot));
    int32_t best = -1;
    for (uint32_t i = 0; i < count; i++) {
        int32_t p = slot >= 0 ? slot : static_cast<int32_t>(array::pick_u32(list_node(r, slot), i + 1));
        if (skip > 1) {
            int64_t distance = last ? int64_t(head) - 1 - p : int64_t(p) - head;
            if (((distance % skip) + skip) % skip != 0) continue;
        }
        bool wanted = reverse ? p < head : p >= head;
        if (!wanted) continue;
        bool better = best < 0 || (last || reverse ? p > best : p < best);
        if (!better) continue;
        if (holds(cells[p], key, op)) best = p;
    }
    return best;
}

int32_t find_kind0(NodeId table, const Cell& key, int32_t head, int32_t skip, int op, bool last, bool reverse) {
    Record& r = record(table);
    if (skip < 1) skip = 1;
    const uint32_t* words = flag_words(r);
    const int32_t* slots = slot_words(r);
    const Cell* cells = block_cells(r);
    Probe probe(hash_value(key), static_cast<uint32_t>(r.buckets));
    do {
        State s = state(words, probe.bucket);
        if (s == State::empty) return -1;
        if (s == State::deleted) continue;
        int32_t slot = slots[probe.bucket];
        if (!holds(cells[group_first(r, slot)], key, op_equal)) continue;
        int32_t found = pick_in_group(r, slot, key, head, skip, op, last || reverse, reverse);
        if (found >= 0) return found;
    } while (probe.next());
    return -1;
}

int32_t find_keyed(NodeId table, const Cell& key, int op) {
    Record& r = record(table);
    bool any_string = (key.header & 0xFF) == string_part_type;
    bool words_kind = r.kind == int32_t(Kind::words);
    const uint32_t* words = flag_words(r);
    const int32_t* slots = slot_words(r);
    const Cell* cells = block_cells(r);
    Probe probe(key_hash(r, key), static_cast<uint32_t>(r.buckets));
    do {
        State s = state(words, probe.bucket);
        if (s == State::empty) return -1;
        if (s == State::deleted) continue;
        int32_t position = slots[probe.bucket];
        const Cell& stored = cells[position];
        if (!any_string && type_of(stored) != type_of(key)) continue;
        if (words_kind ? same_kind2_key(stored, key) : holds(stored, key, op)) return position;
    } while (probe.next());
    return -1;
}

// A map looks word keys up as set-words, the form its keys are kept in.
Cell map_lookup_key(const Cell& key) {
    Cell k = key;
    if (is_word_type(key.header & 0xFF)) set_type_keep_flags(k, TypeId::set_word);
    return k;
}

// Removes the pair at `position` from a map's block: the cells behind it
// move down by two.
void drop_pair(NodeId block, int32_t position) {
    series::Buffer* b = series::buffer(block);
    Cell* cells = b->cells();
    uint32_t length = b->length();
    std::memmove(cells + position, cells + position + 2, (length - position - 2) * sizeof(Cell));
    b->tail -= 2 * sizeof(Cell);
}

Record make_record(Kind kind, uint32_t buckets, int32_t limit) {
    Record r{};
    r.buckets = static_cast<int32_t>(buckets);
    r.limit = limit;
    r.kind = static_cast<int32_t>(kind);
    return r;
}

}  // namespace

Record& record(NodeId table) { return *reinterpret_cast<Record*>(series::buffer(table)->head_ptr()); }

void set_key_compare(KeyCompare compare) { key_compare = compare; }
void set_map_key_check(MapKeyCheck check) { map_key_check = check; }

NodeId block_of(NodeId table) { return static_cast<NodeId>(record(table).block); }

NodeId init(int32_t size, const Cell* block, Kind kind, int32_t extra) {
    if (kind == Kind::words && size >= 4000) size *= 2;
    uint32_t buckets = next_power_of_2(static_cast<uint32_t>(std::max(size, 4) / 0.77));
    Record fields = make_record(kind, buckets, static_cast<int32_t>(buckets * 0.77));
    bool records = kind == Kind::records || kind == Kind::ownership;
    if (records) fields.index = (extra + 1) * static_cast<int32_t>(sizeof(Cell));

    NodeId table = series::alloc_filled(sizeof(Record), 0);
    collector::TableGuard keep_table(table);  // nothing else reaches it until it is answered
    series::buffer(table)->tail = sizeof(Record);
    record(table) = fields;
    NodeId flags, slots;
    make_bucket_arrays(buckets, flags, slots);
    record(table).flags = static_cast<int32_t>(flags);
    record(table).slots = static_cast<int32_t>(slots);
    if (kind == Kind::hash) {
        NodeId index = series::alloc_filled(size_t(std::max(size, 4)) * 4, 0xFF);
        record(table).index = static_cast<int32_t>(index);
        NodeId lists = array::make(4, 4);
        record(table).lists = static_cast<int32_t>(lists);
    }
    if (block && !records) {
        record(table).block = static_cast<int32_t>(block->w2);
        index_block(table, static_cast<int32_t>(block->w1), kind == Kind::map ? 2 : 1);
    } else {
        NodeId cells = series::alloc_cells(static_cast<size_t>(std::max(size, 1)) * (records ? extra + 1 : 1));
        record(table).block = static_cast<int32_t>(cells);
    }
    return table;
}

int32_t put(NodeId table, int32_t position, int* status) {
    if (status) *status = 0;
    Record& r = record(table);
    if (r.occupied >= r.limit) {
        int32_t request = r.kind == int32_t(Kind::map) ? r.buckets + 1 : growth_request(r);
        if (r.kind == int32_t(Kind::hash)) {
            rebuild(table, request);
            if (status) *status = 2;
            return position;
        }
        resize(table, request);
    }
    Cell key = block_cells(record(table))[position];  // a copy: indexing may allocate
    uint32_t hash = key_hash(record(table), key);
    if (record(table).kind == int32_t(Kind::hash)) return put_kind0(table, position, key, hash);
    return put_keyed(table, position, key, hash);
}

int32_t find(NodeId table, const Cell& key, int32_t head, int32_t skip, int op, bool last, bool reverse) {
    Record& r = record(table);
    if (r.kind == int32_t(Kind::hash)) return find_kind0(table, key, head, skip, op, last, reverse);
    if (r.kind == int32_t(Kind::map)) return find_keyed(table, map_lookup_key(key), op);
    return find_keyed(table, key, op);
}

int32_t find_next(NodeId table, const Cell& key_in, int32_t& bucket, int32_t& start, int32_t& step) {
    Cell key = map_lookup_key(key_in);
    Record& r = record(table);
    uint32_t mask = static_cast<uint32_t>(r.buckets) - 1;
    if (bucket < 0) {
        start = static_cast<int32_t>(hash_value(key) & mask);
        bucket = start;
        step = 0;
    } else {
        step++;
        bucket = static_cast<int32_t>((static_cast<uint32_t>(bucket) + static_cast<uint32_t>(step)) & mask);
        if (bucket == start) return -1;
    }
    for (;;) {
        State s = state(flag_words(r), static_cast<uint32_t>(bucket));
        if (s == State::empty) return -1;
        if (s == State::live) {
            int32_t position = slot_words(r)[bucket];
            const Cell& stored = block_cells(r)[position];
            if (type_of(stored) == type_of(key) && holds(stored, key, op_equal)) return position;
        }
        step++;
        bucket = static_cast<int32_t>((static_cast<uint32_t>(bucket) + static_cast<uint32_t>(step)) & mask);
        if (bucket == start) return -1;
    }
}

void index_block(NodeId table, int32_t start, int32_t step) {
    bool map = record(table).kind == int32_t(Kind::map);
    int32_t position = start;
    while (position < block_length(record(table))) {
        if (map) {
            if (position + 1 >= block_length(record(table))) break;  // a key without a value
            Cell key = block_cells(record(table))[position];
            int32_t existing = find_keyed(table, map_lookup_key(key), op_strict_equal);
            if (existing >= 0) {
                Cell* cells = block_cells(record(table));
                cells[existing + 1] = cells[position + 1];
                drop_pair(static_cast<NodeId>(record(table).block), position);
                continue;
            }
            put(table, position);
            if (map_key_check) map_key_check(table, block_cells(record(table))[position]);
        } else {
            int status;
            put(table, position, &status);
            if (status == 2) return;
        }
        position += step;
    }
}

void resize(NodeId table, int32_t request) {
    uint32_t buckets = std::max(next_power_of_2(static_cast<uint32_t>(request)), 4u);
    int32_t limit = static_cast<int32_t>(buckets * 0.77 + 0.5);
    if (record(table).size >= limit) return;
    NodeId flags, slots;
    make_bucket_arrays(buckets, flags, slots);
    Record& r = record(table);
    const uint32_t* old_words = flag_words(r);
    const int32_t* old_slots = slot_words(r);
    uint32_t* new_words = reinterpret_cast<uint32_t*>(series::buffer(flags)->data());
    int32_t* new_slots = reinterpret_cast<int32_t*>(series::buffer(slots)->data());
    Cell* cells = block_cells(r);
    int32_t live = 0;
    for (uint32_t b = 0; b < static_cast<uint32_t>(r.buckets); b++) {
        if (state(old_words, b) != State::live) continue;
        int32_t position = old_slots[b];
        Probe probe(key_hash(r, cells[position]), buckets);
        while (state(new_words, probe.bucket) != State::empty) probe.next();
        set_state(new_words, probe.bucket, State::live);
        new_slots[probe.bucket] = position;
        live++;
    }
    r.flags = static_cast<int32_t>(flags);
    r.slots = static_cast<int32_t>(slots);
    r.buckets = static_cast<int32_t>(buckets);
    r.limit = limit;
    if (r.kind != int32_t(Kind::map)) r.occupied = r.size;
    else r.occupied = std::max(r.occupied, live);
}

void rebuild(NodeId table, int32_t hint) {
    uint32_t p = next_power_of_2(static_cast<uint32_t>(std::max(hint, 0) * 1.5));
    uint32_t buckets = std::max(p, 4u);
    NodeId flags, slots;
    make_bucket_arrays(buckets, flags, slots);
    Record& r = record(table);
    r.flags = static_cast<int32_t>(flags);
    r.slots = static_cast<int32_t>(slots);
    r.buckets = static_cast<int32_t>(buckets);
    r.limit = static_cast<int32_t>(p * 0.77);
    r.size = 0;
    r.occupied = 0;
    reset_kind0_extras(table);
    index_block(table, 0, 1);
}

NodeId copy(NodeId table, NodeId new_block) {
    NodeId fresh = series::copy(table);
    collector::TableGuard keep_fresh(fresh);
    // The copy's record still names the original's series, which stay
    // reachable from it while each is replaced by its own copy.
    NodeId flags = series::copy(static_cast<NodeId>(record(table).flags));
    record(fresh).flags = static_cast<int32_t>(flags);
    NodeId slots = series::copy(static_cast<NodeId>(record(table).slots));
    record(fresh).slots = static_cast<int32_t>(slots);
    record(fresh).block = static_cast<int32_t>(new_block);
    if (record(table).kind == int32_t(Kind::hash)) {
        NodeId index = series::copy(static_cast<NodeId>(record(table).index));
        record(fresh).index = static_cast<int32_t>(index);
        NodeId lists = series::copy(static_cast<NodeId>(record(table).lists));
        record(fresh).lists = static_cast<int32_t>(lists);
        uint32_t n = array::length(lists);
        for (uint32_t i = 1; i <= n; i++) {
            NodeId list = array::pick_u32(lists, i);
            if (list != 0) {
                NodeId copied = series::copy(list);
                array::poke_u32(lists, i, copied);
            }
        }
    }
    return fresh;
}

void clear(NodeId table) {
    Record& r = record(table);
    r.size = 0;
    r.occupied = 0;
    series::Buffer* block = series::buffer(static_cast<NodeId>(r.block));
    block->tail = block->head;
    series::Buffer* flags = series::buffer(static_cast<NodeId>(r.flags));
    std::memset(flags->data(), 0xAA, flags->capacity);
}

void for_each_node(NodeId table, void (*visit)(NodeId node, void* context), void* context) {
    visit(table, context);
    Record& r = record(table);
    if (r.kind == int32_t(Kind::hash) && r.index != 0) visit(static_cast<NodeId>(r.index), context);
    if (r.kind == int32_t(Kind::hash) && r.lists != 0) {  // 0 while the table is being made
        visit(static_cast<NodeId>(r.lists), context);
        uint32_t n = list_count(r);
        for (uint32_t i = 1; i <= n; i++) {
            NodeId list = array::pick_u32(static_cast<NodeId>(r.lists), i);
            if (list != 0) visit(list, context);
        }
    }
    visit(static_cast<NodeId>(r.flags), context);
    visit(static_cast<NodeId>(r.slots), context);
    visit(static_cast<NodeId>(r.block), context);
    if ((r.kind == int32_t(Kind::records) || r.kind == int32_t(Kind::ownership)) && r.block != 0) {
        series::Buffer* block = series::buffer(static_cast<NodeId>(r.block));
        uint32_t cells_per_record = static_cast<uint32_t>(r.index) / sizeof(Cell);
        for (uint32_t i = 0; i + cells_per_record <= block->length(); i += cells_per_record) {
            const Cell& header = block->cells()[i];
            if (header.header == 2 && header.w1 != 0) visit(header.w1, context);
        }
    }
}

}  // namespace qor::hashtable
