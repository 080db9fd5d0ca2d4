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
