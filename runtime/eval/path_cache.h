// A cache of object field positions for path evaluation: for an element of
// a path (its node and offset), the object context it last reached and the
// index of the field there, so `o/x` does not search the object's words by
// symbol on every step.
//
// An entry is only a hint: it is used only when the context is the same
// and the context's word at the index is still the element's word, so a
// reused node, a grown object or a different object never gives a wrong
// field. Entries hold ids, never references, so the collector ignores them.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"

namespace qor::path_cache {

// Binds the element (a word of the path at `offset`) to the field of
// context `ctx` the cache remembers for it; answers false on a miss.
[[nodiscard]] bool bind(NodeId path, uint32_t offset, NodeId ctx, Cell& element);

// Remembers the field the element was bound to in `ctx` by the object's
// path action.
void remember(NodeId path, uint32_t offset, NodeId ctx, const Cell& element);

}  // namespace qor::path_cache
