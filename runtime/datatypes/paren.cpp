// paren!: its mold, and its registration over block!'s routines.
#include "runtime/datatypes/paren.h"

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/memory/data_stack.h"

namespace qor::paren {

namespace {

// The items between parentheses. No cycle marker of its own: a paren inside
// itself nests until the cycle stack is full and raises too-deep.
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent) {
    if (!only) {
        text_buffer::append_ascii(*buffer, "(");
        limit--;
    }
    limit = block::mold_items(value, buffer, only, all, flat, part, limit, indent);
    if (!only) {
        text_buffer::append_ascii(*buffer, ")");
        limit--;
    }
    return limit;
}

}  // namespace

void init() {
    // Everything of block! but trim (the slots block! leaves empty stay empty).
    datatype::ActionRow row;
    for (int n = 1; n <= action_count; n++)
        if (Action(n) != Action::trim) row.inherit(Action(n));
    row.own<Action::mold>(&mold);
    datatype::register_type(TypeId::paren, TypeId::block, row);
}

}  // namespace qor::paren
