// Series allocation against malloc/free of the same sizes.
//
// Allocates a million small series (strings of 1-64 units of 1, 2 or 4
// bytes, blocks of 1-8 cells) and drops them; does the same with
// malloc/free. There is no collector yet, so dropping is done the way a
// collection that finds nothing reachable would do it: every node goes back
// to its free list and every frame's heap back to its start, the frames
// staying mapped. Two figures: cold (the first round, fresh memory from the
// OS on both sides) and warm (best of five later rounds, memory reused).
// Prints rates and ratios.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "runtime/memory/memory_record.h"
#include "runtime/memory/node.h"
#include "runtime/memory/series.h"

namespace {

using namespace qor;
using Clock = std::chrono::steady_clock;

constexpr size_t count = 1'000'000;
constexpr int rounds = 6;

struct Request {
    uint32_t units;
    uint32_t unit;
};

std::vector<Request> make_requests() {
    std::vector<Request> requests(count);
    uint32_t seed = 7;
    for (Request& r : requests) {
        seed = seed * 1664525u + 1013904223u;
        uint32_t kind = (seed >> 24) % 4;
        r.unit = kind == 3 ? 16u : 1u << kind;
        r.units = r.unit == 16 ? 1 + (seed >> 8) % 8 : 1 + (seed >> 8) % 64;
    }
    return requests;
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Times {
    double cold_alloc = 0, cold_total = 0;
    double warm_alloc = 1e9, warm_total = 1e9;

    void add(int round, double alloc, double total) {
        if (round == 0) {
            cold_alloc = alloc;
            cold_total = total;
        } else {
            if (alloc < warm_alloc) warm_alloc = alloc;
            if (total < warm_total) warm_total = total;
        }
    }
};

// What a collection with no roots does to the heap.
void drop_everything(const std::vector<NodeId>& nodes) {
    for (NodeId id : nodes) node::free(id);
    memory::Memory& m = memory::record();
    for (memory::SeriesFrame* f = m.series_head; f; f = f->next) f->heap = f->data_start();
    m.series_current = m.series_head;
    m.node_current = m.node_head;
}

Times time_series(const std::vector<Request>& requests) {
    Times times;
    std::vector<NodeId> nodes(count);
    memory::init();
    for (int round = 0; round < rounds; round++) {
        auto start = Clock::now();
        for (size_t i = 0; i < count; i++) nodes[i] = series::alloc(requests[i].units, requests[i].unit);
        double alloc = seconds_since(start);
        drop_everything(nodes);
        times.add(round, alloc, seconds_since(start));
    }
    memory::release_all();
    return times;
}

Times time_malloc(const std::vector<Request>& requests) {
    Times times;
    std::vector<void*> blocks(count);
    for (int round = 0; round < rounds; round++) {
        auto start = Clock::now();
        for (size_t i = 0; i < count; i++) {
            blocks[i] = std::malloc(size_t{requests[i].units} * requests[i].unit);
            *static_cast<volatile char*>(blocks[i]) = 0;  // keep the call
        }
        double alloc = seconds_since(start);
        for (void* p : blocks) std::free(p);
        times.add(round, alloc, seconds_since(start));
    }
    return times;
}

void report(const char* what, double series_seconds, double malloc_seconds) {
    auto rate = [](double seconds) { return count / seconds / 1e6; };
    std::printf("  %-22s series %6.1f M/s   malloc %6.1f M/s   series is %.2fx malloc's rate\n", what,
                rate(series_seconds), rate(malloc_seconds), malloc_seconds / series_seconds);
}

}  // namespace

int main() {
    std::vector<Request> requests = make_requests();
    Times s = time_series(requests);
    Times m = time_malloc(requests);
    std::printf("1,000,000 small allocations (series: node + buffer)\n");
    report("cold, allocate:", s.cold_alloc, m.cold_alloc);
    report("cold, allocate + drop:", s.cold_total, m.cold_total);
    report("warm, allocate:", s.warm_alloc, m.warm_alloc);
    report("warm, allocate + drop:", s.warm_total, m.warm_total);
    std::printf("  (no collector yet: series are dropped as an empty collection would: nodes to\n"
                "   their free lists, frames reset, so only allocation compares like for like)\n");
    return 0;
}
