// The secure random source over getrandom.
#include "runtime/platform/secure_random.h"

#include <sys/random.h>

#include <cerrno>

namespace qor::platform {

// getrandom may answer fewer bytes than asked for large requests or when a
// signal arrives, so it is called until the buffer is full; any other
// failure is reported.
bool secure_random_bytes(std::span<uint8_t> buffer) noexcept {
    size_t filled = 0;
    while (filled < buffer.size()) {
        ssize_t got = getrandom(buffer.data() + filled, buffer.size() - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) return false;  // no progress: give up rather than spin
        filled += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace qor::platform
