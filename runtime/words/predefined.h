// The words that exist before any script runs.
//
// The runtime interns its symbols first and in a fixed order (symbol_ids.h),
// so their ids and the global indexes of its words are constants; these
// routines make them at boot and check that they came out as declared:
//   init_type_names  the word of every datatype name, in type-id order
//   init_runtime     the runtime's symbols, its global-indexed words and its
//                    words (change notifications, events, error categories)
//   init_keywords    the unbound refinements /local /extern /compare /part
//                    /skip /with
//   init_issue       the issue #ooo
#pragma once

#include "runtime/core/cell.h"
#include "runtime/core/symbol_ids.h"

namespace qor::words {

void init_type_names();
void init_runtime();
void init_keywords();
void init_issue();

// All four, in order (the boot's step after the symbol index exists).
void init_all();

// The keyword refinement of one of the six keyword symbols.
[[nodiscard]] const Cell& keyword(Sym sym);

// The issue #ooo.
[[nodiscard]] const Cell& issue_ooo();

}  // namespace qor::words
