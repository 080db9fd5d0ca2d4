// Terminal size with TIOCGWINSZ; changes noticed through SIGWINCH.
#include "runtime/platform/terminal_size.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qor::platform {

namespace {

volatile sig_atomic_t size_changed = 0;

void on_size_change(int) { size_changed = 1; }

std::optional<TerminalSize> size_of(int fd) {
    winsize ws{};
    if (ioctl(fd, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) return std::nullopt;
    return TerminalSize{ws.ws_col, ws.ws_row > 0 ? ws.ws_row : 1};
}

}  // namespace

std::optional<TerminalSize> terminal_size() {
    if (auto size = size_of(1)) return size;
    return size_of(0);
}

void watch_terminal_size() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action{};
    action.sa_handler = on_size_change;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked read returns to look at the size
    sigaction(SIGWINCH, &action, nullptr);
}

bool take_size_change() noexcept {
    if (!size_changed) return false;
    size_changed = 0;
    return true;
}

}  // namespace qor::platform
