// `do` of a file or URL: the environment library's do-file runs the script.
#pragma once

#include "runtime/cell.h"

namespace qor::natives::impl {

// Calls the global do-file with the file or URL, the trace callback (or
// none) and the /args value (or none), and leaves its value in the result
// slot. A throw passing through stays pending.
void do_file(const Cell& file, const Cell& callback, const Cell& args);

}  // namespace qor::natives::impl
