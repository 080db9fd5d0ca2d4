// The process's current directory, as UTF-8 POSIX paths.
#pragma once

#include <string>

namespace qor::platform {

// The current directory; empty when it cannot be read (removed, say).
[[nodiscard]] std::string get_current_dir();

// Changes the current directory; true on success.
[[nodiscard]] bool set_current_dir(const std::string& path);

}  // namespace qor::platform
