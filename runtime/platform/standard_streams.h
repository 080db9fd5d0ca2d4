// The process's standard streams as file descriptors 0, 1 and 2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace qor::platform {

[[nodiscard]] bool stdin_is_terminal();
[[nodiscard]] bool stdout_is_terminal();

// Writes all bytes to standard output (or error), retrying short writes and
// interrupted calls. A failed write (a closed pipe) loses the text silently,
// as a console program's output does.
void write_stdout(std::string_view bytes);

// One read of standard input: the count read, 0 at the end of the input,
// -1 when the read fails (a broken pipe, a closed descriptor). A reader of
// standard input stops at either. Interrupted reads are retried.
[[nodiscard]] int64_t read_stdin(std::span<uint8_t> buffer);

// Async-signal-safe: a single write loop with no allocation.
void write_fd_raw(int fd, const char* bytes, size_t length) noexcept;

}  // namespace qor::platform
