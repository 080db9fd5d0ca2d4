// Registration of every datatype at boot, in the one order in which each
// parent precedes its children.
#pragma once

namespace qor::datatypes {

// Clears the tables and registers the datatypes.
void register_all();

}  // namespace qor::datatypes
