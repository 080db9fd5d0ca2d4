// The terminal window's title.
#pragma once

#include <string_view>

namespace qor::platform {

// Sets the title with the terminal's title sequence, only when standard
// output is a terminal (a pipe or file never receives the sequence).
// Control characters in the title are left out, so it cannot end the
// sequence early or smuggle in another one.
void set_terminal_title(std::string_view title);

}  // namespace qor::platform
