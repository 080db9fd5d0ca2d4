// Kind-2 tables: symbol interning with case aliases, and context word lists.
#include <cstring>
#include <string>

#include "runtime/hash/hash_table.h"
#include "runtime/hash/hash_table_internal.h"
#include "runtime/hash/murmur3.h"

namespace qor::hashtable {

using namespace detail;

namespace {

NodeId symbols = 0;

constexpr uint8_t fold(uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c; }

bool same_ignoring_ascii_case(const uint8_t* a, const uint8_t* b, size_t n) {
    for (size_t i = 0; i < n; i++) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

// Appends a cell at the block's tail, growing the block when full, and
// answers its position.
int32_t append_cell(NodeId block, const Cell& cell) {
    series::Buffer* b = series::buffer(block);
    if (b->capacity - b->tail < sizeof(Cell)) b = series::expand_copy(block, uint64_t{b->capacity} * 2 + sizeof(Cell));
    int32_t position = static_cast<int32_t>(b->length());
    std::memcpy(b->tail_ptr(), &cell, sizeof cell);
    b->tail += sizeof(Cell);
    return position;
}

// Makes a bucket live with a position.
void occupy(NodeId table, uint32_t bucket, int32_t position) {
    Record& r = record(table);
    set_state(flag_words(r), bucket, State::live);
    slot_words(r)[bucket] = position;
    r.size++;
    r.occupied++;
}

void grow_sixteen_fold(NodeId table) {
    Record& r = record(table);
    if (r.occupied >= r.limit) resize(table, 16 * growth_request(r));
}

}  // namespace

void set_symbol_table(NodeId table) { symbols = table; }
NodeId symbol_table() { return symbols; }

int32_t resolve_alias(int32_t symbol) {
    if (symbols == 0 || symbol <= 0) return symbol;
    series::Buffer* b = series::buffer(static_cast<NodeId>(record(symbols).block));
    if (static_cast<uint32_t>(symbol) > b->length()) return symbol;
    int32_t alias = static_cast<int32_t>(b->cells()[symbol - 1].w1);
    return alias > 0 ? alias : symbol;
}

uint32_t hash_spelling(const uint8_t* spelling, size_t length) {
    static std::string folded;  // shared scratch: one thread, no reentry
    folded.resize(length);
    for (size_t i = 0; i < length; i++) folded[i] = static_cast<char>(fold(spelling[i]));
    return hash::murmur3(folded.data(), length);
}

int32_t intern_symbol(NodeId table, const uint8_t* spelling, size_t length, bool any_case) {
    grow_sixteen_fold(table);
    uint32_t hash = hash_spelling(spelling, length);
    Record& r = record(table);
    const Cell* cells = block_cells(r);
    // First pass: the exact spelling (any case with the flag).
    Probe probe(hash, static_cast<uint32_t>(r.buckets));
    while (state(flag_words(r), probe.bucket) != State::empty) {
        int32_t position = slot_words(r)[probe.bucket];
        series::Buffer* b = series::buffer(cells[position].w3);
        if (b->length() == length && (any_case ? same_ignoring_ascii_case(b->head_ptr(), spelling, length)
                                               : std::memcmp(b->head_ptr(), spelling, length) == 0)) {
            return position + 1;
        }
        probe.next();
    }
    uint32_t free_bucket = probe.bucket;
    // Second pass: a spelling that differs only in case makes this one its alias.
    int32_t alias = -1;
    if (!any_case) {
        Probe again(hash, static_cast<uint32_t>(r.buckets));
        while (state(flag_words(r), again.bucket) != State::empty) {
            int32_t position = slot_words(r)[again.bucket];
            series::Buffer* b = series::buffer(cells[position].w3);
            if (b->length() == length && same_ignoring_ascii_case(b->head_ptr(), spelling, length)) {
                // Always a canonical symbol, whatever order a resize left
                // the case variants in.
                int32_t own = static_cast<int32_t>(cells[position].w1);
                alias = own > 0 ? own : position + 1;
                break;
            }
            again.next();
        }
    }
    std::string bytes(reinterpret_cast<const char*>(spelling), length);  // the source may move
    NodeId node = series::alloc_bytes(length + 1);
    series::Buffer* b = series::buffer(node);
    std::memcpy(b->data(), bytes.data(), length);
    b->data()[length] = 0;
    b->tail = static_cast<uint32_t>(length);
    Cell entry{to_int(TypeId::symbol), static_cast<uint32_t>(alias), 0, node};
    int32_t position = append_cell(static_cast<NodeId>(record(table).block), entry);
    occupy(table, free_bucket, position);
    return position + 1;
}

int32_t find_or_add_word(NodeId table, int32_t symbol, bool any_case, NodeId context, int32_t* position) {
    if (context != 0) grow_sixteen_fold(table);
    int32_t canonical = resolve_alias(symbol);
    Record& r = record(table);
    const Cell* cells = block_cells(r);
    Probe probe(hash::mix32(static_cast<uint32_t>(canonical)), static_cast<uint32_t>(r.buckets));
    while (state(flag_words(r), probe.bucket) != State::empty) {
        if (state(flag_words(r), probe.bucket) == State::live) {
            int32_t at = slot_words(r)[probe.bucket];
            int32_t stored = static_cast<int32_t>(cells[at].w2);
            if (any_case ? resolve_alias(stored) == canonical : stored == symbol) {
                if (position) *position = at;
                return at;
            }
        }
        if (!probe.next()) return -1;
    }
    if (context == 0) return -1;
    uint32_t free_bucket = probe.bucket;
    NodeId block = static_cast<NodeId>(r.block);
    int32_t at = static_cast<int32_t>(series::buffer(block)->length());
    Cell word{to_int(TypeId::word), context, static_cast<uint32_t>(symbol), static_cast<uint32_t>(at)};
    append_cell(block, word);
    occupy(table, free_bucket, at);
    if (position) *position = at;
    return -1;
}

}  // namespace qor::hashtable
