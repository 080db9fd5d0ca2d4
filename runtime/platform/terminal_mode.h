// Raw key input on a terminal: no line buffering, no echo, no signal keys,
// so the line editor sees every key (Ctrl-C included) as it is pressed.
#pragma once

namespace qor::platform {

// Switches the terminal on `fd` to raw input for as long as the object
// lives and puts back the saved mode when it ends. Output processing is
// kept, so a line feed written still starts a new line. Does nothing when
// `fd` is not a terminal, or when raw mode is already on.
class RawMode {
public:
    explicit RawMode(int fd = 0);
    ~RawMode();
    RawMode(const RawMode&) = delete;
    RawMode& operator=(const RawMode&) = delete;

    [[nodiscard]] bool active() const { return owner_; }

private:
    bool owner_ = false;
};

// Puts the saved terminal mode back if raw mode is on. Async-signal-safe:
// the signal handlers call it before the process ends, and it also runs at
// exit, so no way out leaves the terminal raw.
void restore_terminal() noexcept;

}  // namespace qor::platform
