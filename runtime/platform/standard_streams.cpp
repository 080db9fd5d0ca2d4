// Standard streams on file descriptors, with full-write loops.
#include "runtime/platform/standard_streams.h"

#include <unistd.h>

#include <cerrno>

#include "runtime/platform/file_handle.h"

namespace qor::platform {

bool stdin_is_terminal() { return isatty(0) == 1; }
bool stdout_is_terminal() { return isatty(1) == 1; }

void write_fd_raw(int fd, const char* bytes, size_t length) noexcept {
    while (length > 0) {
        ssize_t n = ::write(fd, bytes, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bytes += n;
        length -= static_cast<size_t>(n);
    }
}

int64_t read_stdin(std::span<uint8_t> buffer) { return read_fd(0, buffer); }

void write_stdout(std::string_view bytes) { write_fd_raw(1, bytes.data(), bytes.size()); }

}  // namespace qor::platform
