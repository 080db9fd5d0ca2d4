// The path datatypes: path!, lit-path!, set-path! and get-path!. Each is a
// block of path elements; they differ from block! in making and in text.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"

namespace qor::path {

// Retypes the cell as the path type and pushes a copy of it.
Cell* push(Cell& cell, TypeId type);

// Makes the cell an empty path! with room for n cells.
Cell* make_at(Cell& cell, int32_t n);

// Registration, parents first: path! (parent block!), then the three others
// (parent path!).
void init_path();
void init_lit_path();
void init_set_path();
void init_get_path();

}  // namespace qor::path
