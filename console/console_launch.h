// Starting the console once the environment library exists: the console's
// built-in routines get their words, then `cli-console-ctx/launch` runs.
#pragma once

namespace qor::console {

// Gives the console's routines their words (the global ones, and
// system/console/init when the console object exists).
void define_routines();

// Runs the console; returns when it ends without quitting (a script run
// without "--catch"). A script that ended in an error ends the process with
// status 1, one that Ctrl-C halted with 130. An error that nothing caught is
// printed and ends the process with status -2.
void launch();

}  // namespace qor::console
