// The platform's console I/O set-up, run once by the runtime boot.
#pragma once

namespace qor::platform {

// Tests once whether standard output is a terminal; the answer never changes
// while the process runs.
void init_console_io();

}  // namespace qor::platform
