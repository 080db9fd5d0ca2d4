// Raw terminal mode with termios. The saved mode lives in static storage so
// a signal handler can put it back without allocating.
#include "runtime/platform/terminal_mode.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "runtime/platform/fault_signals.h"
#include "runtime/platform/standard_streams.h"

namespace qor::platform {

namespace {

termios saved_mode{};
int saved_fd = -1;
volatile sig_atomic_t raw_on = 0;

// The restore sequence: two buffers, so one is filled while a signal
// handler may read the other; `published` names the one in use.
struct Sequence {
    char bytes[255];
    unsigned char length = 0;
    int fd = 1;
};
Sequence sequences[2];
std::atomic<int> published{0};

// Registers the restore with the signal handlers and with exit once.
void register_restore() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    set_terminal_restore_hook(&restore_terminal);
    std::atexit([] { restore_terminal(); });
}

}  // namespace

void restore_terminal() noexcept {
    if (!raw_on) return;
    raw_on = 0;
    const Sequence& s = sequences[published.load()];
    if (s.length > 0) write_fd_raw(s.fd, s.bytes, s.length);
    tcsetattr(saved_fd, TCSADRAIN, &saved_mode);
}

void set_restore_sequence(int fd, const char* bytes, size_t length) noexcept {
    const int next = 1 - published.load();
    Sequence& s = sequences[next];
    if (length > sizeof s.bytes) length = sizeof s.bytes;
    std::memcpy(s.bytes, bytes, length);
    s.length = static_cast<unsigned char>(length);
    s.fd = fd;
    published.store(next);
}

RawMode::RawMode(int fd, bool keep_interrupt) {
    if (raw_on || isatty(fd) != 1) return;
    termios mode{};
    if (tcgetattr(fd, &mode) != 0) return;
    register_restore();
    saved_mode = mode;
    saved_fd = fd;
    mode.c_iflag &= ~tcflag_t(BRKINT | ICRNL | INLCR | IGNCR | INPCK | ISTRIP | IXON);
    mode.c_lflag &= ~tcflag_t(ECHO | ICANON | IEXTEN | (keep_interrupt ? 0 : ISIG));
    if (keep_interrupt) {
        // Only Ctrl-C: a suspended or quit raw terminal would be left raw.
        mode.c_cc[VSUSP] = _POSIX_VDISABLE;
        mode.c_cc[VQUIT] = _POSIX_VDISABLE;
    }
    mode.c_cflag |= CS8;
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    // Saved before the switch: a signal between the two finds it ready.
    raw_on = 1;
    if (tcsetattr(fd, TCSADRAIN, &mode) != 0) {
        raw_on = 0;
        return;
    }
    owner_ = true;
}

RawMode::~RawMode() {
    if (owner_) restore_terminal();
}

namespace {
termios suspended_raw{};
}

NormalMode::NormalMode() {
    if (!raw_on || tcgetattr(saved_fd, &suspended_raw) != 0) return;
    raw_on = 0;
    tcsetattr(saved_fd, TCSADRAIN, &saved_mode);
    suspended_ = true;
}

NormalMode::~NormalMode() {
    if (!suspended_) return;
    raw_on = 1;
    if (tcsetattr(saved_fd, TCSADRAIN, &suspended_raw) != 0) raw_on = 0;
}

}  // namespace qor::platform
