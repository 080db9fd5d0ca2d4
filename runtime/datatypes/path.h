// The path datatypes: path!, lit-path!, set-path! and get-path!. Each is a
// block of path elements; they differ from block! in making and in text.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"

namespace qor::path {

// Registration, parents first: path! (parent block!), then the three others
// (parent path!).
void init_path();
void init_lit_path();
void init_set_path();
void init_get_path();

}  // namespace qor::path
