// The roots of the runtime core's own tables: the symbol table, the
// ownership table, the global context and the cell pool, and the marker
// that walks a hash table's inner series.
#pragma once

namespace qor::collector {

// Installs them in their root slots; called by the boot after the tables
// exist.
void install_core_roots();

}  // namespace qor::collector
