// The hook through which sort calls a function! comparator: the evaluator
// installs it (strings sort with the same calling rule as blocks).
#pragma once

#include "runtime/cell.h"

namespace qor::string_type {

// Calls the function with the two values and answers its result.
using ComparatorCall = Cell (*)(const Cell& function, const Cell& a, const Cell& b);
void install_comparator_call(ComparatorCall call);

}  // namespace qor::string_type
