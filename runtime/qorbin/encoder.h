// The QORBIN encoder: one value (and everything it reaches) into a whole
// container, in the fixed or the compact encoding.
//
// A series, context or function met a second time is written as a
// reference to the path of its first occurrence, so shared and cyclic
// structures keep their shape. Words bound to an object or function carry
// their owner (written in full once, then referenced). The symbol table
// lists each spelling once, in the order first met. The walk allocates
// nothing in the heap of values, so no collection can run during it.
//
// Refused (access error no-codec with the value): routine!, triple!,
// handle!, port!, event!, an op! of a routine, an error! whose code is not
// an integer. A tree nested deeper than max_depth raises internal too-deep.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/core/cell.h"

namespace qor::qorbin {

enum class Encoding : uint8_t { fixed, compact };

// The bytes of a container holding the value.
[[nodiscard]] std::vector<uint8_t> encode(const Cell& value, Encoding encoding);

// The same as a new binary! on the data stack; answers it.
Cell* push_encoded(const Cell& value, Encoding encoding);

}  // namespace qor::qorbin
