// What the system object takes from the runtime when the library builds it:
// the global words as an object, the error catalogue and prototype, the
// command line, the build date, and the routines behind its fields and
// change handlers.
#pragma once

namespace qor::environment {

// Binds the hook words the library's system source reads (system-words-object,
// system-error-catalog, system-error-prototype, system-command-line,
// system-build-date, system-float-pretty, system-gc-active?,
// system-gc-series-cycles, system-gc-nodes-cycles), lets forming and
// catching errors read system/state and the text form of dates read
// system/locale/months.
void define_system_hooks();

}  // namespace qor::environment
