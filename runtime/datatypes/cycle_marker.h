// The marker that form and mold write for a value met again inside itself.
//
// The form and mold routines of block!, hash!, the path types, map! and
// object! call this before they descend into a value: when the value's
// series (an object's context) is already being written, the marker takes
// its place. A paren! gets no marker: a paren inside itself nests until the
// walk raises internal too-deep.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/core/cell.h"

namespace qor::cycle_marker {

// The marker for a value of this type when molding (`mold`) or forming;
// empty for a type that has none.
[[nodiscard]] std::string_view text(TypeId type, bool mold);

// When the value is already on the cycle stack, appends its marker to the
// buffer, lowers `remaining` by the marker's length and answers true;
// otherwise answers false and appends nothing.
bool write(const Cell& value, Cell& buffer, int32_t& remaining, bool mold);

}  // namespace qor::cycle_marker
