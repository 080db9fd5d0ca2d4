// One value loaded from the text of a string: what `to` of a text gives for
// the datatypes whose values are read as source ("3x4", "1.2.3", "50%").
#pragma once

#include "runtime/core/cell.h"

namespace qor::lexer {

// The characters of a string value from its index, loaded as source: true
// with the value in `out` when the text holds exactly one value; false when
// it holds none, several, or is not valid source (the syntax error is not
// raised: the caller raises its own conversion error).
[[nodiscard]] bool load_one(const Cell& string, Cell& out);

}  // namespace qor::lexer
