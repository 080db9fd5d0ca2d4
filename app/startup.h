// The process from its first instruction to its exit status.
//
// `start_up` moves the runtime onto a native stack large enough for the
// deepest call stack the evaluator allows, sets up the process (fault
// handlers, the argument vector, the outermost catch level), boots the
// runtime, runs the environment's top level and the console, and ends the
// process through `quit`.
#pragma once

#include "runtime/core/runtime_process.h"

namespace qor::rt {

// The whole life of the process; never returns (ends through `quit`).
[[noreturn]] void start_up(int argc, char** argv);

// The runtime boot: every table, in its fixed order.
void boot();

// Ends the boot: the collector runs on its own from here.
void finish_boot();

}  // namespace qor::rt
