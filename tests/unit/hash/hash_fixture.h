// A memory manager, a symbol table and a key comparison for hash-table tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/datatypes/register_all.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/memory/call_stack.h"
#include "runtime/words/core_roots.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/unicode/case_map.h"

namespace qor::test {

// Tables and values the tests hold in C++ locals, kept alive until the
// test ends: the collector runs (at every allocation in stress builds).
inline std::vector<NodeId> kept_tables;
inline std::vector<Cell> kept_cells;
inline void mark_kept() {
    for (NodeId& t : kept_tables) collector::mark_table(&t);
    for (Cell& c : kept_cells) collector::mark_cell(c);
}
inline NodeId keep_table(NodeId table) {
    kept_tables.push_back(table);
    return table;
}
inline Cell keep(const Cell& c) {
    kept_cells.push_back(c);
    return c;
}
inline NodeId keep_block(NodeId block) {
    keep(Cell{to_int(TypeId::block), 0, block, 0});
    return block;
}


inline Cell integer(int32_t v) { return Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(v), 0}; }

inline Cell word(int32_t symbol, TypeId type = TypeId::word) {
    return Cell{to_int(type), 0, static_cast<uint32_t>(symbol), 0};
}

// A string! value holding Latin-1 text.
inline Cell latin1_string(const std::string& text, uint32_t index = 0) {
    NodeId id = series::alloc_units(text.size(), 1);
    series::Buffer* b = series::buffer(id);
    std::memcpy(b->data(), text.data(), text.size());
    b->tail = static_cast<uint32_t>(text.size());
    return keep(Cell{to_int(TypeId::string), index, id, 0});
}

inline std::u32string chars(const Cell& s) {
    series::Buffer* b = series::buffer(s.w2);
    std::u32string out;
    for (uint32_t i = s.w1; i < b->length(); i++) {
        uint32_t v = 0;
        std::memcpy(&v, b->at(i), b->unit());
        out.push_back(v);
    }
    return out;
}

// The equality tests of `compare` for the types the tests use: numbers and
// other scalars by payload, text ignoring case under equal?, words by
// canonical symbol under equal?.
inline int32_t test_compare(const Cell& a, const Cell& b, int op) {
    TypeId ta = type_of(a), tb = type_of(b);
    if (is_any_string(ta) && is_any_string(tb)) {
        std::u32string x = chars(a), y = chars(b);
        if (op != hashtable::op_strict_equal) {
            for (auto& c : x) c = unicode::to_upper(c);
            for (auto& c : y) c = unicode::to_upper(c);
        }
        return x == y && (op != hashtable::op_strict_equal || ta == tb) ? 0 : 1;
    }
    if (ta != tb) return 1;
    if (is_word_like(ta)) {
        int32_t x = static_cast<int32_t>(a.w2), y = static_cast<int32_t>(b.w2);
        if (op != hashtable::op_strict_equal) x = hashtable::resolve_alias(x), y = hashtable::resolve_alias(y);
        return x == y ? 0 : 1;
    }
    return a.w1 == b.w1 && a.w2 == b.w2 && a.w3 == b.w3 ? 0 : 1;
}

class HashTest : public ::testing::Test {
protected:
    void SetUp() override {
        memory::init();
        node::alloc_frame();
        series::alloc_frame();
        hashtable::set_key_compare(test_compare);
        collector::init();
        stack::init();
        datatypes::register_all();        // the markers and hashers of the datatypes
        collector::install_core_roots();  // the hash-table marker
        kept_tables.clear();
        kept_cells.clear();
        collector::add_mark_callback(mark_kept);
        symbols = keep_table(hashtable::init(4000, nullptr, hashtable::Kind::words, 0));
        hashtable::set_symbol_table(symbols);
        collector::set_enabled(true);
    }
    void TearDown() override {
        collector::set_enabled(false);
        collector::remove_mark_callback(mark_kept);
        kept_tables.clear();
        kept_cells.clear();
        collector::install_cycle(nullptr);
        hashtable::set_symbol_table(0);
        memory::release_all();
    }

    int32_t intern(const std::string& spelling, bool any_case = false) {
        return hashtable::intern_symbol(symbols, reinterpret_cast<const uint8_t*>(spelling.data()), spelling.size(),
                                        any_case);
    }

    NodeId symbols = 0;
};

// A block value of the given cells.
inline Cell block_of_cells(std::initializer_list<Cell> cells, TypeId type = TypeId::block) {
    NodeId id = series::alloc_cells(cells.size() + 1);
    series::Buffer* b = series::buffer(id);
    for (const Cell& c : cells) {
        std::memcpy(b->tail_ptr(), &c, sizeof c);
        b->tail += sizeof(Cell);
    }
    return keep(Cell{to_int(type), 0, id, 0});
}

// Appends a cell to a block and answers its position.
inline int32_t append(NodeId block, const Cell& cell) {
    series::Buffer* b = series::buffer(block);
    if (b->capacity - b->tail < sizeof(Cell)) b = series::expand_copy(block, uint64_t{b->capacity} * 2);
    std::memcpy(b->tail_ptr(), &cell, sizeof cell);
    b->tail += sizeof(Cell);
    return static_cast<int32_t>(b->length() - 1);
}

inline Cell* cells_of(NodeId block) { return series::buffer(block)->cells(); }
inline int32_t length_of(NodeId block) { return static_cast<int32_t>(series::buffer(block)->length()); }

}  // namespace qor::test
