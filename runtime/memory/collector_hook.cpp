// The allocator's entry into the collector: the switch, the installed cycle
// and the cycle count.
#include "runtime/memory/collector_hook.h"

namespace qor::collector {

namespace {

bool switch_on = false;
CycleFunction installed = nullptr;
uint32_t cycles = 0;
uint64_t allocated = 0;
uint64_t budget_bytes = min_budget;
#ifdef QOR_GC_STRESS
bool stress_on = true;
#else
constexpr bool stress_on = false;
#endif

}  // namespace

bool collect_when_enabled() {
    if (!switch_on || installed == nullptr) return false;
    installed();
    return true;
}

void count_allocation(uint64_t bytes) { allocated += bytes; }
bool collection_due() { return allocated >= budget_bytes; }
uint64_t allocated_since_collection() { return allocated; }
uint64_t budget() { return budget_bytes; }
void set_budget(uint64_t bytes) { budget_bytes = bytes; }

// As much again as survived: the heap grows to about twice its live size
// between collections, so the work of marking stays proportional to the
// work of allocating.
void set_budget_from_survivors(uint64_t survivors) {
    allocated = 0;
    budget_bytes = survivors > min_budget ? survivors : min_budget;
}

bool enabled() { return switch_on; }
void set_enabled(bool on) { switch_on = on; }
void install_cycle(CycleFunction cycle) { installed = cycle; }
bool stress() { return stress_on; }
void set_stress([[maybe_unused]] bool on) {
#ifdef QOR_GC_STRESS
    stress_on = on;
#endif
}
uint32_t cycle_count() { return cycles; }
void count_cycle() { cycles++; }

}  // namespace qor::collector
