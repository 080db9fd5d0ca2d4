// The allocator's entry into the collector.
//
// Allocation asks for a collection when no series frame has room and before
// a big buffer is made. The collector switch starts off (no collection runs
// during the boot) and is turned on once the environment starts. The
// collector installs its cycle here; until one is installed, asking for a
// collection does nothing.
#pragma once

#include <cstdint>

namespace qor::collector {

using CycleFunction = void (*)();

// Runs a collection when the switch is on and a cycle is installed; answers
// whether one ran.
bool collect_when_enabled();

// The trigger of automatic collections. Every series allocation counts its
// footprint; an allocation that finds no room (or makes a big buffer)
// collects only once the bytes allocated since the last collection reach
// the budget. A cycle sets the budget from the bytes that survived it, so
// a large live set is not marked again after every few frames of garbage.
void count_allocation(uint64_t bytes);
[[nodiscard]] bool collection_due();
[[nodiscard]] uint64_t allocated_since_collection();
// Called at the end of each cycle with the bytes still in use.
void set_budget_from_survivors(uint64_t survivors);
[[nodiscard]] uint64_t budget();
// The smallest budget, whatever survived.
inline constexpr uint64_t min_budget = uint64_t{1} << 20;
// Tests of the allocator's own policy set the budget directly.
void set_budget(uint64_t bytes);

[[nodiscard]] bool enabled();
void set_enabled(bool on);

// Installs the collection cycle (nullptr removes it).
void install_cycle(CycleFunction cycle);

// Builds with QOR_GC_STRESS collect at every series allocation while the
// switch is on. Tests of the allocator's own policy turn that off; in other
// builds it is always off.
[[nodiscard]] bool stress();
void set_stress(bool on);

// Completed collections: the stamp of new node frames.
[[nodiscard]] uint32_t cycle_count();
void count_cycle();

}  // namespace qor::collector
