// paren!: a block that the evaluator runs where it meets it. As data it is
// a block in every respect but its text, which uses parentheses.
#pragma once

#include "runtime/core/cell.h"

namespace qor::paren {

// Registers paren! (parent block!).
void init();

}  // namespace qor::paren
