// Registers the evaluator's roots with the collector.
#pragma once

namespace qor::interpreter {

// Marks, at every collection, the contexts of the call frames and the
// interpreter's own cells.
void install_roots();

}  // namespace qor::interpreter
