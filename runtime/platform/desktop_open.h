// Opening a URL or a file with the desktop's associated application:
// `xdg-open` with the text as its one argument, never through a shell.
#pragma once

#include <string>

namespace qor::platform {

// Starts `xdg-open target` in the background (standard input from
// /dev/null) and returns at once; nothing is reported when it cannot run.
void open_in_desktop(const std::string& target);

}  // namespace qor::platform
