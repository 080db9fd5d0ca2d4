// The allocator's entry into the collector: the switch, the installed cycle
// and the cycle count.
#include "runtime/memory/collector_hook.h"

namespace qor::collector {

namespace {

bool switch_on = false;
CycleFunction installed = nullptr;
uint32_t cycles = 0;
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
