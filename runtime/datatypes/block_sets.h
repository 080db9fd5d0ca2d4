// The block side of the set natives: unique, union, intersect, exclude and
// difference over blocks (and hash!, paren!, the path types).
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"

namespace qor::block {

// The natives' operation codes.
enum class SetOp : uint8_t { unique = 8, union_ = 9, intersect = 10, exclude = 11, difference = 12 };

// Works on the current frame: the first argument holds the first series and
// the second the other one (unused by unique). The first argument becomes
// the result, a new series of the first's datatype, and is answered. `skip`
// (nullptr or none when not given) is the record size; its key is the
// record's first cell. With case_sensitive keys compare strictly.
Cell* set_operation(bool case_sensitive, const Cell* skip, SetOp op);

}  // namespace qor::block
