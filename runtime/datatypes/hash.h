// hash!: a block whose every cell is indexed, so find and select cost one
// probe sequence instead of a scan. The block routines it inherits keep
// the index in step with each change; it brings its own make, to, mold,
// copy, sort and trim.
#pragma once

#include "runtime/core/cell.h"

namespace qor::hash_type {

// Registers hash! (parent block!).
void init();

}  // namespace qor::hash_type
