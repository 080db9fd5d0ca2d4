// The terminal's size in character cells, and notice of its changes.
#pragma once

#include <optional>

namespace qor::platform {

struct TerminalSize {
    int columns;
    int rows;
};

// The size of the terminal on standard output (or, when that is redirected,
// on standard input); nothing when neither is a terminal or the size is
// unknown (0 columns).
[[nodiscard]] std::optional<TerminalSize> terminal_size();

// Starts watching for size changes (SIGWINCH). A change interrupts a
// blocked key read, so the editor can redraw for the new width.
void watch_terminal_size();

// True once after each change since the last call.
[[nodiscard]] bool take_size_change() noexcept;

}  // namespace qor::platform
