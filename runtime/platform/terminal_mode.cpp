// Raw terminal mode with termios. The saved mode lives in static storage so
// a signal handler can put it back without allocating.
#include "runtime/platform/terminal_mode.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

#include "runtime/platform/fault_signals.h"

namespace qor::platform {

namespace {

termios saved_mode{};
int saved_fd = -1;
volatile sig_atomic_t raw_on = 0;

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
    tcsetattr(saved_fd, TCSADRAIN, &saved_mode);
}

RawMode::RawMode(int fd) {
    if (raw_on || isatty(fd) != 1) return;
    termios mode{};
    if (tcgetattr(fd, &mode) != 0) return;
    register_restore();
    saved_mode = mode;
    saved_fd = fd;
    mode.c_iflag &= ~tcflag_t(BRKINT | ICRNL | INLCR | IGNCR | INPCK | ISTRIP | IXON);
    mode.c_lflag &= ~tcflag_t(ECHO | ICANON | ISIG | IEXTEN);
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

}  // namespace qor::platform
