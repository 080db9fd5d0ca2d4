// The runtime-error report, quitting, catch levels and fatal faults.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>

#include <regex>

#include "runtime/platform/fault_signals.h"
#include "runtime/core/runtime_process.h"
#include "runtime/core/throw.h"
#include "tests/support/child_process.h"

namespace qor {
namespace {

using test::run_in_child;

TEST(RuntimeError, MessagesByNumber) {
    const std::pair<int, const char*> table[] = {
        {1, "access violation"},     {6, "float denormal operan"},
        {13, "integer divide by zero"}, {17, "illegal instruction"},
        {19, "stack error or overflow"}, {34, "Bus error"},
        {94, "out of memory"},       {95, "no CATCH for THROW"},
        {98, "assertion failed"},    {99, "unknown error"},
        {100, "no value matched in CASE"}, {101, "no value matched in SWITCH"},
        {0, "unknown error code!"},  {35, "unknown error code!"},
        {96, "unknown error code!"}, {-2, "unknown error code!"},
    };
    for (auto [number, message] : table) EXPECT_EQ(rt::runtime_error_message(number), message) << number;
}

TEST(RuntimeError, ReportLayout) {
    EXPECT_EQ(rt::runtime_error_report(1, 0x4A2F), "\n*** Runtime Error 1: access violation\n*** at: 00004A2Fh\n");
    EXPECT_EQ(rt::runtime_error_report(95, 0xDEADBEEF), "\n*** Runtime Error 95: no CATCH for THROW\n*** at: DEADBEEFh\n");
}

TEST(Quit, StatusZeroIsSilentAndOthersReport) {
    auto quiet = run_in_child([] { rt::quit(0); });
    EXPECT_EQ(quiet.exit_status, 0);
    EXPECT_EQ(quiet.output, "");

    auto loud = run_in_child([] { rt::quit(13, 0x10); });
    EXPECT_EQ(loud.exit_status, 13);
    EXPECT_EQ(loud.output, "\n*** Runtime Error 13: integer divide by zero\n*** at: 00000010h\n");

    // -2 (an error that no frame caught) reaches the shell as 254.
    auto error_exit = run_in_child([] { rt::quit(-2); });
    EXPECT_EQ(error_exit.exit_status, 254);
}

TEST(Quit, UncaughtThrows) {
    auto marker = run_in_child([] { rt::on_uncaught_throw(rt::throw_quit); });
    EXPECT_EQ(marker.exit_status, 0);
    EXPECT_EQ(marker.output, "");

    auto other = run_in_child([] { rt::on_uncaught_throw(12345); });
    EXPECT_EQ(other.exit_status, 95);
    EXPECT_TRUE(std::regex_match(other.output,
        std::regex("\n\\*\\*\\* Runtime Error 95: no CATCH for THROW\n\\*\\*\\* at: [0-9A-F]{8}h\n")))
        << other.output;
}

TEST(CatchLevel, AcceptsCodesUpToItsLevelUnsigned) {
    EXPECT_EQ(rt::catch_level(10, [] {}), 0u);
    EXPECT_EQ(rt::catch_level(10, [] { rt::throw_code(7); }), 7u);
    EXPECT_EQ(rt::catch_level(10, [] { rt::throw_code(10); }), 10u);
    EXPECT_EQ(rt::record().throw_value, 10u);
    // An inner level that is too low lets the throw pass to the outer one.
    uint32_t inner = 99, outer = rt::catch_level(0xFFFFFFFFu, [&] {
        inner = rt::catch_level(10, [] { rt::throw_code(0x80000000u); });
    });
    EXPECT_EQ(inner, 99u);
    EXPECT_EQ(outer, 0x80000000u);
}

const std::regex fault_report(int number, const char* message) {
    return std::regex("\n\\*\\*\\* Runtime Error " + std::to_string(number) + ": " + message +
                      "\n\\*\\*\\* at: [0-9A-F]{8}h\n");
}

void install_for_this_thread() {
    pthread_attr_t attributes;
    void* low = nullptr;
    size_t size = 0;
    pthread_getattr_np(pthread_self(), &attributes);
    pthread_attr_getstack(&attributes, &low, &size);
    pthread_attr_destroy(&attributes);
    platform::install_fault_handlers(low, static_cast<char*>(low) + size);
}

TEST(Fault, AccessViolationReportsAndExitsWithItsNumber) {
    auto result = run_in_child([] {
        install_for_this_thread();
        void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        *static_cast<volatile int*>(page) = 1;
    });
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_TRUE(std::regex_match(result.output, fault_report(1, "access violation"))) << result.output;
}

volatile bool keep_recursing = true;

[[gnu::noinline]] int recurse(int depth) {
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    if (!keep_recursing) return frame[0];
    return recurse(depth + 1) + frame[0];
}

TEST(Fault, NativeStackOverflowIsReportedAsSuch) {
    auto result = run_in_child([] {
        install_for_this_thread();
        (void)recurse(0);
    });
    EXPECT_EQ(result.exit_status, 19);
    EXPECT_TRUE(std::regex_match(result.output, fault_report(19, "stack error or overflow"))) << result.output;
}

TEST(Fault, SignalsMapToRuntimeErrorNumbers) {
    EXPECT_EQ(platform::fault_number(SIGSEGV, SEGV_MAPERR, false), 1);
    EXPECT_EQ(platform::fault_number(SIGSEGV, SEGV_MAPERR, true), 19);
    EXPECT_EQ(platform::fault_number(SIGFPE, FPE_INTDIV, false), 13);
    EXPECT_EQ(platform::fault_number(SIGILL, ILL_ILLOPC, false), 17);
    EXPECT_EQ(platform::fault_number(SIGBUS, BUS_ADRERR, false), 34);
}

TEST(Binary, BootsStartsTheConsoleAndEndsWithTheInput) {
    auto result = run_in_child([] {
        // Empty input: the console shows its banner, reads no command and
        // ends with status 0.
        const int none = open("/dev/null", O_RDONLY);
        dup2(none, 0);
        execl(QOR_BINARY, QOR_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    });
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.output.rfind("--== Qor ", 0), 0u) << result.output;
    EXPECT_EQ(result.output.find("*** "), std::string::npos) << result.output;
}

}  // namespace
}  // namespace qor
