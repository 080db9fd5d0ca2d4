// Calling a language function from the object and port datatypes: change
// handlers and port actors run with arguments the runtime supplies, not
// collected from code.
#pragma once

#include <cstdint>
#include <span>

#include "runtime/core/cell.h"

namespace qor::object {

// Calls a function! in a call frame named by the symbol `name`, with the
// given arguments for its first arguments (none for any it takes beyond
// them), its refinements off and its locals at their defaults. The result
// goes into `result` when given. Answers false when a non-local exit (a
// throw, a break) passes through the call: it stays pending and the stacks
// are already unwound for it.
bool call_function(const Cell& fn, uint32_t name, std::span<const Cell> args, Cell* result);

// The number of locals a function's interface block declares (0 for other values).
[[nodiscard]] uint32_t count_locals(const Cell& fn);

}  // namespace qor::object
