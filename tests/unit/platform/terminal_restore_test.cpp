// The terminal restore hook runs on every signal path that ends the process.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "runtime/platform/fault_signals.h"
#include "runtime/platform/standard_streams.h"
#include "runtime/platform/terminal_title.h"
#include "tests/support/child_process.h"

namespace qor {
namespace {

void say_restored() noexcept { platform::write_fd_raw(1, "restored\n", 9); }

TEST(TerminalRestore, HookRunsBeforeTheProcessEndsOnASignal) {
    for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGSEGV}) {
        auto result = test::run_in_child([&] {
            platform::install_fault_handlers(nullptr, nullptr);
            platform::set_terminal_restore_hook(&say_restored);
            raise(signal);
            platform::write_stdout("not reached\n");
        });
        EXPECT_EQ(result.output.substr(0, 9), "restored\n") << signal;
        EXPECT_EQ(result.output.find("not reached"), std::string::npos) << signal;
    }
}

TEST(TerminalRestore, TerminationKeepsItsDefaultEnd) {
    pid_t pid = fork();
    if (pid == 0) {
        platform::install_fault_handlers(nullptr, nullptr);
        raise(SIGTERM);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

TEST(TerminalTitle, NothingIsWrittenToAPipe) {
    auto result = test::run_in_child([] { platform::set_terminal_title("title"); });
    EXPECT_EQ(result.output, "");
}

}  // namespace
}  // namespace qor
