// symbol! and context!: the internal datatypes of symbol-table entries and
// contexts, which scripts never see as values.
#pragma once

namespace qor::internal_types {

// Registers symbol! (only `compare`, by spelling).
void init_symbol();
// Registers context! (no actions).
void init_context();

}  // namespace qor::internal_types
