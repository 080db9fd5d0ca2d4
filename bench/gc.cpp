// The collector under a workload that builds and drops a 100 MB tree of
// blocks and strings, round after round.
//
// Each round builds a root block of 1,000 blocks of 100 strings of 1,000
// bytes (about 100 MB live), keeps it in a guard while it is built, then
// drops it. Collections run where allocation asks for them, as in the
// running system. Prints the time per round, the collections run and the
// peak resident memory; gc.sh runs the same program in Python and Lua under
// /usr/bin/time and prints the ratios.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "runtime/memory/call_stack.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/handle_table.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/memstats.h"
#include "runtime/memory/node.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"

namespace {

using namespace qor;

constexpr uint32_t branches = 1000;
constexpr uint32_t leaves = 100;
constexpr uint32_t leaf_bytes = 1000;
constexpr int rounds = 10;

void append(NodeId block, Cell value) {
    series::Buffer* b = series::buffer(block);
    if (b->capacity - b->tail < series::cell_unit) b = series::expand_copy(block, 0);
    std::memcpy(b->tail_ptr(), &value, sizeof value);
    b->tail += series::cell_unit;
}

// One round's tree; answers a checksum so nothing is optimised away.
uint64_t build_tree(uint32_t round) {
    NodeId root = series::alloc_cells(branches);
    collector::NodeGuard root_guard(root);
    uint64_t sum = 0;
    for (uint32_t i = 0; i < branches; i++) {
        Cell branch{to_int(TypeId::block), 0, series::alloc_cells(leaves), 0};
        collector::RootGuard branch_guard(branch);
        for (uint32_t j = 0; j < leaves; j++) {
            NodeId leaf = series::alloc_bytes(leaf_bytes);
            series::Buffer* b = series::buffer(leaf);
            std::memset(b->data(), static_cast<int>((round + i + j) & 0xFF), leaf_bytes);
            b->tail = leaf_bytes;
            append(branch.w2, Cell{to_int(TypeId::string), 0, leaf, 0});
        }
        append(root, branch);
    }
    for (uint32_t i = 0; i < branches; i += 97) {
        NodeId branch = reinterpret_cast<Cell*>(series::buffer(root)->head_ptr())[i].w2;
        NodeId leaf = reinterpret_cast<Cell*>(series::buffer(branch)->head_ptr())[i % leaves].w2;
        sum += series::buffer(leaf)->data()[i % leaf_bytes];
    }
    return sum;
}

}  // namespace

int main() {
    memory::init();
    stack::init();
    handle::init();
    node::alloc_frame();
    series::alloc_frame();
    collector::init();
    // No datatype is registered here: the tree's two types get the markers
    // their registration would give them, the series node in word 2.
    for (TypeId t : {TypeId::block, TypeId::string})
        collector::set_value_marker(static_cast<uint8_t>(to_int(t)), [](Cell& c) { collector::mark_series(&c.w2); });
    collector::set_enabled(true);

    auto start = std::chrono::steady_clock::now();
    uint64_t sum = 0;
    for (int r = 0; r < rounds; r++) sum += build_tree(static_cast<uint32_t>(r));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    uint64_t left = collector::recycle();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("qor: %d rounds of a %u x %u x %u-byte tree in %.2f s (%.3f s per round), %u collections\n",
                rounds, branches, leaves, leaf_bytes, seconds, seconds / rounds, collector::cycle_count());
    std::printf("qor: %llu bytes in use after the last recycle, peak resident %ld MB (checksum %llu)\n",
                static_cast<unsigned long long>(left), usage.ru_maxrss / 1024, static_cast<unsigned long long>(sum));
    memory::release_all();
    return 0;
}
