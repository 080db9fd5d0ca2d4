// Raw key input on a terminal: no line buffering, no echo, no signal keys,
// so the line editor sees every key (Ctrl-C included) as it is pressed.
#pragma once

#include <cstddef>

namespace qor::platform {

// Switches the terminal on `fd` to raw input for as long as the object
// lives and puts back the saved mode when it ends. Output processing is
// kept, so a line feed written still starts a new line. Does nothing when
// `fd` is not a terminal, or when raw mode is already on.
//
// With `keep_interrupt`, Ctrl-C still interrupts the process (the other
// signal keys stay off), for full-screen interfaces that read keys for
// longer than one line.
class RawMode {
public:
    explicit RawMode(int fd = 0, bool keep_interrupt = false);
    ~RawMode();
    RawMode(const RawMode&) = delete;
    RawMode& operator=(const RawMode&) = delete;

    [[nodiscard]] bool active() const { return owner_; }

private:
    bool owner_ = false;
};

// Hands the terminal to another program in its normal mode for as long as
// the object lives: when raw mode is on, the saved mode is put back, and
// the raw mode in force comes back when the object ends. Does nothing when
// raw mode is off.
class NormalMode {
public:
    NormalMode();
    ~NormalMode();
    NormalMode(const NormalMode&) = delete;
    NormalMode& operator=(const NormalMode&) = delete;

private:
    bool suspended_ = false;
};

// Puts the saved terminal mode back if raw mode is on, after writing the
// restore sequence if one is set. Async-signal-safe: the signal handlers
// call it before the process ends, and it also runs at exit, so no way out
// leaves the terminal raw.
void restore_terminal() noexcept;

// Bytes that hand the terminal back in its usual state (mouse reporting
// off, the cursor shown, the main screen), written to `fd` by
// restore_terminal while raw mode is on. At most 255 bytes are kept; an
// empty sequence writes nothing. Safe against a signal arriving meanwhile.
void set_restore_sequence(int fd, const char* bytes, size_t length) noexcept;

}  // namespace qor::platform
