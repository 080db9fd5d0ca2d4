// Changing the case of a char! or of a string's characters in place: the
// body of `uppercase` and `lowercase`.
#pragma once

#include "runtime/core/cell.h"
#include "runtime/unicode/case_map.h"

namespace qor::unicode {

// A char! value's code point is converted in place. A string value's
// characters from its index (an index past the tail counts as the tail) are
// converted in place: all of them, or as many as `part` says: an integer!
// count, or a position in the same string (its index minus the value's).
// A negative count converts nothing. The string widens first when a
// converted character needs wider units. A part of another series or type
// raises script/invalid-refine-arg.
void change_case(Cell& value, CaseDirection direction, const Cell* part);

}  // namespace qor::unicode
