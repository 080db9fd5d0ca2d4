// The roots of the runtime core's tables, in the collector's root slots.
//
// A hash table is a record series whose words name further series (the
// bucket flags and slots, the indexed block, a hash!'s position index and
// duplicate lists, the keys of record tables); the table marker marks each
// of them, scanning the ones that hold cells. Those ids are read from the
// record, not from a place the marker could rewrite, which is one reason
// node-frame compaction stays off while such tables exist.
#include "runtime/words/core_roots.h"

#include "runtime/memory/cell_pool.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/roots.h"
#include "runtime/words/ownership.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"

namespace qor::collector {

namespace {

void mark_inner(NodeId node, void*) {
    uint32_t place = node;
    mark_block(&place);
}

void mark_hash_table(uint32_t* place) {
    if (!mark_node(place)) return;
    hashtable::for_each_node(*place, mark_inner, nullptr);
}

// The table node as a place of its own: the owning module keeps the id.
void mark_table_id(NodeId table) {
    uint32_t place = table;
    mark_table(&place);
}

void mark_symbols() {
    uint32_t block = symbol::block();
    mark_block(&block);
    mark_table_id(symbol::index());
}

// The ownership table holds its series weakly: only its own storage is
// marked here; the records are the weak pass's and the sweep's work
// (ownership.cpp), so an owned series lives only as long as its owner
// reaches it.
void mark_ownership() {
    uint32_t table = ownership::table();
    if (table == 0 || !mark_node(&table)) return;
    const hashtable::Record& r = hashtable::record(table);
    uint32_t parts[] = {static_cast<uint32_t>(r.flags), static_cast<uint32_t>(r.slots),
                        static_cast<uint32_t>(r.block)};
    for (uint32_t& part : parts) mark_node(&part);
}

void mark_global() {
    uint32_t global = context::global();
    mark_context(&global);
}

void mark_pool() {
    uint32_t pool = cell_pool::block();
    mark_block(&pool);
}

}  // namespace

void install_core_roots() {
    set_table_marker(mark_hash_table);
    set_root_marker(Root::symbol_table, mark_symbols);
    set_root_marker(Root::ownership_table, mark_ownership);
    set_root_marker(Root::global_context, mark_global);
    set_root_marker(Root::cell_pool, mark_pool);
}

}  // namespace qor::collector
