// Fatal faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL) caught on an alternate
// signal stack and turned into the runtime-error report, and the console
// interrupt (SIGINT) while code runs: it ends the process with status 130,
// or, once interrupts halt, is left as a request for the evaluator.
// Every handler that ends the process first puts the terminal back in the
// mode it had (through a hook the terminal layer registers), as do SIGTERM,
// SIGHUP and SIGQUIT, which otherwise keep their default action.
#pragma once

#include <signal.h>

#include <cstddef>

namespace qor::platform {

// Installs the handlers for the calling thread. [stack_low, stack_high) is
// that thread's native stack: a fault just below it is a stack overflow.
void install_fault_handlers(const void* stack_low, const void* stack_high);

// The terminal layer's restore routine (async-signal-safe), run before the
// process ends on a signal. Null for none.
using TerminalRestoreHook = void (*)() noexcept;
void set_terminal_restore_hook(TerminalRestoreHook hook) noexcept;

// The output layer's flush (it writes its buffer with write(2)), run before
// Ctrl-C ends the process, so that what was printed is not lost.
using OutputFlushHook = void (*)() noexcept;
void set_output_flush_hook(OutputFlushHook hook) noexcept;

// Set by Ctrl-C while interrupts halt; the evaluator clears it when it
// takes the request.
extern volatile sig_atomic_t interrupt_pending;

// Whether Ctrl-C becomes a request to halt the evaluation (an interactive
// console) rather than the end of the process with status 130.
void set_interrupts_halt(bool on) noexcept;

// Maps a fatal signal and its si_code to a runtime-error number.
[[nodiscard]] int fault_number(int signal, int code, bool stack_overflow) noexcept;

}  // namespace qor::platform
