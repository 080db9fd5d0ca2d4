// Fatal-signal handling on an alternate stack.
#include "runtime/platform/fault_signals.h"

#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "runtime/core/runtime_process.h"

namespace qor::platform {

namespace {

// The handler runs on its own stack, so a native stack overflow can still be
// reported.
constexpr size_t alternate_stack_size = 64 * 1024;
alignas(16) char alternate_stack[alternate_stack_size];

uintptr_t guarded_low = 0;   // lowest address of the runtime's native stack
uintptr_t guarded_high = 0;

// A fault within this distance below the stack (or inside its lowest page)
// is the stack running over its end.
constexpr uintptr_t overflow_margin = 1 << 20;

std::atomic<TerminalRestoreHook> terminal_restore{nullptr};
std::atomic<OutputFlushHook> output_flush{nullptr};

void restore_terminal_mode() noexcept {
    if (TerminalRestoreHook hook = terminal_restore.load(std::memory_order_relaxed)) hook();
}

bool is_stack_overflow(uintptr_t fault_address) {
    if (guarded_low == 0) return false;
    return fault_address + overflow_margin >= guarded_low && fault_address < guarded_low + 4096;
}

void on_fault(int signal, siginfo_t* info, void* context) {
    auto* uc = static_cast<ucontext_t*>(context);
    const void* pc = nullptr;
#if defined(__x86_64__)
    pc = reinterpret_cast<const void*>(uc->uc_mcontext.gregs[REG_RIP]);
#else
    (void)uc;
#endif
    restore_terminal_mode();
    bool overflow = (signal == SIGSEGV || signal == SIGBUS) &&
                    is_stack_overflow(reinterpret_cast<uintptr_t>(info->si_addr));
    rt::fatal_report_and_exit(fault_number(signal, info->si_code, overflow), rt::report_address(pc));
}

volatile sig_atomic_t interrupts_halt = 0;

// Ctrl-C while code runs: a request the evaluator takes at its next step when
// a user at the console can be returned to the prompt; otherwise (a script
// or piped run) the process ends with the shell's status for an interrupt.
void on_interrupt(int) {
    if (interrupts_halt) {
        interrupt_pending = 1;
        return;
    }
    if (OutputFlushHook hook = output_flush.load(std::memory_order_relaxed)) hook();
    restore_terminal_mode();
    _exit(130);
}

// Termination requests keep their default action, after the terminal mode
// is put back.
void on_termination(int signal) {
    restore_terminal_mode();
    struct sigaction fallback{};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

}  // namespace

volatile sig_atomic_t interrupt_pending = 0;

void set_interrupts_halt(bool on) noexcept { interrupts_halt = on ? 1 : 0; }

void set_output_flush_hook(OutputFlushHook hook) noexcept {
    output_flush.store(hook, std::memory_order_relaxed);
}

void set_terminal_restore_hook(TerminalRestoreHook hook) noexcept {
    terminal_restore.store(hook, std::memory_order_relaxed);
}

int fault_number(int signal, int code, bool stack_overflow) noexcept {
    if (stack_overflow) return 19;  // stack error or overflow
    switch (signal) {
        case SIGSEGV: return 1;     // access violation
        case SIGBUS: return code == BUS_ADRALN ? 2 : 34;
        case SIGILL: return code == ILL_PRVOPC ? 15 : 17;
        case SIGFPE:
            switch (code) {
                case FPE_INTDIV: return 13;
                case FPE_INTOVF: return 14;
                case FPE_FLTDIV: return 7;
                case FPE_FLTOVF: return 10;
                case FPE_FLTUND: return 12;
                case FPE_FLTRES: return 8;
                case FPE_FLTINV: return 9;
                case FPE_FLTSUB: return 5;
                default: return 33;  // FPU error
            }
        default: return 99;
    }
}

void install_fault_handlers(const void* stack_low, const void* stack_high) {
    guarded_low = reinterpret_cast<uintptr_t>(stack_low);
    guarded_high = reinterpret_cast<uintptr_t>(stack_high);

    stack_t alt{};
    alt.ss_sp = alternate_stack;
    alt.ss_size = alternate_stack_size;
    sigaltstack(&alt, nullptr);

    struct sigaction action{};
    action.sa_sigaction = on_fault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) sigaction(signal, &action, nullptr);

    struct sigaction interrupt{};
    interrupt.sa_handler = on_interrupt;
    interrupt.sa_flags = SA_RESTART;
    sigemptyset(&interrupt.sa_mask);
    sigaction(SIGINT, &interrupt, nullptr);

    struct sigaction termination{};
    termination.sa_handler = on_termination;
    sigemptyset(&termination.sa_mask);
    for (int signal : {SIGTERM, SIGHUP, SIGQUIT}) sigaction(signal, &termination, nullptr);
}

}  // namespace qor::platform
