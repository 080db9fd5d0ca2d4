// A fresh memory manager with the collector installed (switched off) for
// each test, and helpers to build values and look at nodes.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/datatypes/register_all.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/handle_table.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/node.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"

namespace qor::test {

class GcTest : public ::testing::Test {
protected:
    void SetUp() override {
        memory::init();
        stack::init();
        handle::init();
        node::alloc_frame();
        series::alloc_frame();
        collector::init();
        datatypes::register_all();  // the markers of the datatypes
        // No tables of an earlier booted test: their ids are stale here.
        for (int slot = 0; slot < static_cast<int>(collector::Root::count_); slot++)
            collector::set_root_marker(static_cast<collector::Root>(slot), nullptr);
        collector::set_table_marker(nullptr);
    }
    void TearDown() override {
        collector::set_enabled(false);
        collector::set_node_compaction(false);
        collector::install_cycle(nullptr);
        memory::release_all();
    }
};

// Whether the id names a node in use whose buffer points back at it.
inline bool alive(NodeId id) {
    if (node::frame_of(id) == nullptr) return false;
    uintptr_t slot = node::raw_slot(id);
    if (slot == 0 || node::slot_is_free_link(slot)) return false;
    return series::buffer(id)->node == id;
}

inline Cell series_cell(TypeId t, NodeId id) { return Cell{to_int(t), 0, id, 0}; }
inline Cell integer_cell(int32_t v) { return Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(v), 0}; }

// Appends a value to a block (growing it); may collect.
inline void append(NodeId block, const Cell& value) {
    series::Buffer* b = series::buffer(block);
    if (b->capacity - b->tail < series::cell_unit) b = series::expand_copy(block, 0);
    std::memcpy(b->tail_ptr(), &value, sizeof value);
    b->tail += series::cell_unit;
}

// A string of `n` units of `unit` bytes, filled from a seed.
inline NodeId make_text(uint32_t n, uint32_t unit, uint32_t seed) {
    NodeId id = series::alloc_units(n, unit);
    series::Buffer* b = series::buffer(id);
    for (uint32_t i = 0; i < n * unit; i++) b->data()[i] = static_cast<uint8_t>(seed * 31 + i * 7);
    b->tail = n * unit;
    return id;
}

inline Cell& cell_at(NodeId block, uint32_t i) { return series::buffer(block)->cells()[i]; }

inline uint32_t nodes_used() {
    uint32_t used = 0;
    for (memory::NodeFrame* f = memory::record().node_head; f; f = f->next) used += f->used;
    return used;
}

inline int count_node_frames() {
    int n = 0;
    for (memory::NodeFrame* f = memory::record().node_head; f; f = f->next) n++;
    return n;
}

inline int count_series_frames() {
    int n = 0;
    for (memory::SeriesFrame* f = memory::record().series_head; f; f = f->next) n++;
    return n;
}

// The content reachable from a series as bytes: unit, length and data of
// every buffer, cells by type with nested series followed instead of their
// node ids, so a copy that moved or was renumbered compares equal.
inline void deep_bytes(NodeId id, std::vector<uint8_t>& out, int depth = 0) {
    auto put = [&out](uint32_t v) {
        for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    series::Buffer* b = series::buffer(id);
    put(b->unit());
    put(b->tail - b->head);
    if (b->unit() != series::cell_unit) {
        out.insert(out.end(), b->head_ptr(), b->tail_ptr());
        return;
    }
    for (uint32_t i = 0; i < b->length(); i++) {
        Cell c = series::buffer(id)->cells()[i];
        put(c.header);
        if (is_series(type_of(c)) && depth < 64) {
            put(c.w1);
            deep_bytes(c.w2, out, depth + 1);
        } else {
            put(c.w1);
            put(c.w2);
            put(c.w3);
        }
    }
}

inline std::vector<uint8_t> deep_bytes(NodeId id) {
    std::vector<uint8_t> out;
    deep_bytes(id, out);
    return out;
}

}  // namespace qor::test
