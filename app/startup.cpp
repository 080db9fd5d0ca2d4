// Process start-up, the outermost catch level, quitting and the
// runtime-error report.
#include "app/startup.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cfenv>
#include <cstdio>
#include <new>
#include <utility>

#include "runtime/environment/environment.h"
#include "console/console_launch.h"
#include "runtime/output/output.h"
#include "runtime/platform/fault_signals.h"
#include "runtime/platform/memory_region.h"
#include "runtime/platform/standard_streams.h"
#include "runtime/platform/terminal_mode.h"
#include "runtime/core/throw.h"

extern "C" char __executable_start;  // provided by the linker
extern "C" char etext;

namespace qor::rt {

namespace {

RuntimeRecord the_record;

// The evaluator's deepest call stack must fit on the native stack, so the
// runtime gets a stack of its own, reserved (not committed) up front.
constexpr size_t runtime_stack_size = size_t(1) << 30;

struct StartArguments {
    int argc;
    char** argv;
};

// Messages of the runtime-error numbers; numbers without one are "unknown
// error code!".
constexpr std::array<std::pair<int, std::string_view>, 41> messages{{
    {1, "access violation"},
    {2, "invalid alignment"},
    {3, "breakpoint"},
    {4, "single step"},
    {5, "bounds exceeded"},
    {6, "float denormal operan"},
    {7, "float divide by zero"},
    {8, "float inexact result"},
    {9, "float invalid operation"},
    {10, "float overflow"},
    {11, "float stack check"},
    {12, "float underflow"},
    {13, "integer divide by zero"},
    {14, "integer overflow"},
    {15, "privileged instruction"},
    {16, "invalid virtual address"},
    {17, "illegal instruction"},
    {18, "non-continuable exception"},
    {19, "stack error or overflow"},
    {20, "invalid disposition"},
    {21, "guard page"},
    {22, "invalid handle"},
    {23, "illegal operand"},
    {24, "illegal addressing mode"},
    {25, "illegal trap"},
    {26, "coprocessor error"},
    {27, "non-existent physical address"},
    {28, "object specific hardware error"},
    {29, "hardware memory error consumed AR"},
    {30, "hardware memory error consumed AO"},
    {31, "privileged register"},
    {32, "segmentation fault"},
    {33, "FPU error"},
    {34, "Bus error"},
    {94, "out of memory"},
    {95, "no CATCH for THROW"},
    {98, "assertion failed"},
    {99, "unknown error"},
    {100, "no value matched in CASE"},
    {101, "no value matched in SWITCH"},
    {-1, "unknown error code!"},
}};

// Appends without allocating, so that a signal handler can use it.
struct FixedText {
    char bytes[256];
    size_t length = 0;

    void add(std::string_view s) {
        for (char c : s)
            if (length < sizeof bytes) bytes[length++] = c;
    }
    void add_decimal(int n) {
        char digits[12];
        int count = 0;
        unsigned magnitude = n < 0 ? 0u - static_cast<unsigned>(n) : static_cast<unsigned>(n);
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (n < 0) add("-");
        while (count > 0) add(std::string_view(&digits[--count], 1));
    }
    void add_hex8(uint32_t n) {
        for (int shift = 28; shift >= 0; shift -= 4)
            add(std::string_view(&"0123456789ABCDEF"[(n >> shift) & 0xF], 1));
    }
};

FixedText format_report(int number, uint32_t address) noexcept {
    FixedText text;
    text.add("\n*** Runtime Error ");
    text.add_decimal(number);
    text.add(": ");
    text.add(runtime_error_message(number));
    text.add("\n*** at: ");
    text.add_hex8(address);
    text.add("h\n");
    return text;
}

// Everything after the low-level set-up, under the outermost catch level.
void main_body() {
    boot();
    finish_boot();
    environment::run();
    console::launch();
}

void* runtime_thread(void* raw) {
    auto* start = static_cast<StartArguments*>(raw);

    // Ctrl-C's signal comes to this thread, so that it cuts a wait short.
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_UNBLOCK, &interrupt, nullptr);

    // Plain IEEE doubles, round to nearest, every exception masked.
    std::feclearexcept(FE_ALL_EXCEPT);
    std::fesetround(FE_TONEAREST);

    const platform::StackRange stack = platform::thread_stack();
    platform::install_fault_handlers(stack.low, stack.low + stack.size);
    platform::set_output_flush_hook([]() noexcept { output::flush(); });

    the_record.args.assign(start->argv, start->argv + start->argc);

    uint32_t code = 0;
    try {
        code = catch_level(0xFFFFFFFFu, main_body);
    } catch (const std::bad_alloc&) {
        quit(94);
    }
    if (code != 0) on_uncaught_throw(code);
    quit(0);
}

}  // namespace

RuntimeRecord& record() { return the_record; }

std::string_view runtime_error_message(int number) {
    for (const auto& [n, message] : messages)
        if (n == number) return message;
    return messages.back().second;
}

std::string runtime_error_report(int number, uint32_t address) {
    FixedText text = format_report(number, address);
    return std::string(text.bytes, text.length);
}

uint32_t report_address(const void* address) noexcept {
    auto a = reinterpret_cast<uintptr_t>(address);
    auto base = reinterpret_cast<uintptr_t>(&__executable_start);
    auto end = reinterpret_cast<uintptr_t>(&etext);
    if (a >= base && a < end) return static_cast<uint32_t>(a - base);
    return static_cast<uint32_t>(a);
}

void fatal_report_and_exit(int number, uint32_t address) noexcept {
    // No allocation and no locks: this runs inside a signal handler.
    FixedText text = format_report(number, address);
    output::flush();
    platform::write_fd_raw(1, text.bytes, text.length);
    _exit(number);
}

void quit(int status, uint32_t address) {
    if (status != 0) {
        std::string report = runtime_error_report(status, address);
        output::print({std::string_view(report)});
    }
    output::flush();
    std::fflush(nullptr);
    platform::restore_terminal();
    _exit(status);
}

void on_uncaught_throw(uint32_t code) {
    if (code == throw_quit) quit(0);
    quit(95, report_address(reinterpret_cast<const void*>(&on_uncaught_throw)));
}

void throw_code(uint32_t code) {
    the_record.throw_value = code;
    throw Throw{code};
}

void start_up(int argc, char** argv) {
    static StartArguments start{argc, argv};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, runtime_stack_size);
    pthread_t thread;
    // The starting thread only waits: it takes no interrupt.
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
    if (pthread_create(&thread, &attributes, runtime_thread, &start) != 0) {
        // No room for the large stack: run on this one and accept its depth.
        runtime_thread(&start);
    }
    pthread_attr_destroy(&attributes);
    pthread_join(thread, nullptr);
    quit(0);
}

}  // namespace qor::rt
