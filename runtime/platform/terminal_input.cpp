// One-byte reads with poll, so a lone Esc can be told from the start of a
// key sequence by the silence after it.
#include "runtime/platform/terminal_input.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

namespace qor::platform {

int read_byte_within(int fd, int timeout_ms) {
    pollfd wait{fd, POLLIN, 0};
    int ready = poll(&wait, 1, timeout_ms);
    if (ready < 0) return errno == EINTR ? input_interrupted : input_end;
    if (ready == 0) return input_timeout;
    unsigned char byte = 0;
    ssize_t n = ::read(fd, &byte, 1);
    if (n == 1) return byte;
    if (n < 0 && errno == EINTR) return input_interrupted;
    return input_end;
}

}  // namespace qor::platform
