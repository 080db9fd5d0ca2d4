// The process's standard streams as file descriptors 0, 1 and 2.
#pragma once

#include <cstddef>
#include <string_view>

namespace qor::platform {

[[nodiscard]] bool stdin_is_terminal();
[[nodiscard]] bool stdout_is_terminal();

// Writes all bytes to standard output (or error), retrying short writes and
// interrupted calls. A failed write (a closed pipe) loses the text silently,
// as a console program's output does.
void write_stdout(std::string_view bytes);
void write_stderr(std::string_view bytes);

// Async-signal-safe: a single write loop with no allocation.
void write_fd_raw(int fd, const char* bytes, size_t length) noexcept;

}  // namespace qor::platform
