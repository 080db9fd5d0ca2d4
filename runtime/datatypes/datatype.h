// datatype!: the values that name a datatype (`integer!`). The payload's
// first word holds the type id named.
#pragma once

#include "runtime/core/cell.h"

namespace qor::datatype {

// A datatype! value naming the type (as an error argument, for example).
[[nodiscard]] constexpr Cell value(TypeId named) { return Cell{to_int(TypeId::datatype), to_int(named), 0, 0}; }

// The type a datatype! cell names.
[[nodiscard]] inline TypeId named(const Cell& c) { return static_cast<TypeId>(c.w1); }

Cell* make_at(Cell& cell, TypeId named);
Cell* push(TypeId named);
Cell* make_in(Cell& block, TypeId named);

void init();  // registers datatype!

}  // namespace qor::datatype
