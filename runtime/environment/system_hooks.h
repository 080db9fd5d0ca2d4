// What the system object takes from the runtime when the library builds it:
// the global words as an object, the error catalogue and prototype, the
// command line, and the routines behind its fields and change handlers.
#pragma once

namespace qor::environment {

// Binds the hook words the library's system source reads (system-words-object,
// system-error-catalog, system-error-prototype, system-command-line,
// system-float-pretty, system-gc-active?, system-gc-series-cycles,
// system-gc-nodes-cycles), and lets forming and catching errors read
// system/state.
void define_system_hooks();

}  // namespace qor::environment
