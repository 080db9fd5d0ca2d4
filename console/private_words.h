// The console's own code reads the library through words of its own: a
// user who redefines `set`, `try`, `print` or any other global word at the
// prompt changes what their commands do, never the loop that runs them.
#pragma once

namespace qor::console {

// Rebinds the bodies of the console's functions (system/console,
// cli-console-ctx and its settings, ask, input, quit, _save-cfg) from the
// global context to a private context holding the values the global words
// have now, and so on through the library functions those bodies call.
// Run once, when every library word and console routine exists.
void take_private_words();

}  // namespace qor::console
