// The calls on the call stack as words: what an error's `stack` field and
// `collect-calls` hold. A frame names its call by symbol and word context;
// the listing turns that back into the word.
#pragma once

#include <cstddef>

#include "runtime/memory/node.h"

namespace qor::stack {

// From the outermost frame up to the frame `end` (frames from the bottom),
// appends a word! for each named frame whose symbol has a function! value
// in its word context (any value when level > 1).
void collect_calls(int level, NodeId block, size_t end);

}  // namespace qor::stack
