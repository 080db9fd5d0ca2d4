// Console I/O set-up. Linux needs no graphics or component start-up, and the
// digest library initialises itself, so what remains is the one-time test of
// standard output.
#include "runtime/platform/console_io.h"

#include "runtime/platform/standard_streams.h"

namespace qor::platform {

namespace {
bool output_is_terminal = false;
}

void init_console_io() { output_is_terminal = stdout_is_terminal(); }

}  // namespace qor::platform
