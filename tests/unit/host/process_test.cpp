// Child processes: data through all three pipes at once, a child that
// stops reading, exit codes, descriptors closed on every path, no zombie
// left by a child nobody waits for, and command lines split into arguments.
#include "runtime/platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "runtime/host/process_call.h"
#include "tests/support/temp_dir.h"

namespace qor::platform {
namespace {

std::string text(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// Descriptors this process has open.
int open_descriptors() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
    return n - 1;  // the directory's own descriptor
}

RunResult run(std::vector<std::string> argv, RunOptions options) { return run_process(argv, options); }

RunOptions piped(std::span<const uint8_t> input = {}) {
    RunOptions o;
    o.in.kind = input.empty() ? StreamKind::null : StreamKind::pipe;
    o.input = input;
    o.out.kind = StreamKind::pipe;
    o.err.kind = StreamKind::pipe;
    return o;
}

TEST(Process, LargeDataThroughAllThreePipesAtOnce) {
    // The child writes every byte it reads to both outputs as it goes: a
    // parent that fed all input first, or read one output to its end
    // first, would wait forever on a full pipe.
    std::vector<uint8_t> input(4 << 20);
    for (size_t i = 0; i < input.size(); i++) input[i] = static_cast<uint8_t>(i * 31 + (i >> 12));
    const RunResult r = run({"sh", "-c", "tee /dev/stderr"}, piped(input));
    EXPECT_EQ(r.status, RunStatus::ok);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.out == input);
    EXPECT_TRUE(r.err == input);
}

TEST(Process, ChildThatStopsReadingIsABrokenInputNotASignal) {
    std::vector<uint8_t> input(1 << 20, 'x');
    for (const char* program : {"true", "head"}) {
        std::vector<std::string> argv{program};
        if (std::string(program) == "head") argv.insert(argv.end(), {"-c", "5"});
        const RunResult r = run(argv, piped(input));
        EXPECT_EQ(r.status, RunStatus::broken_input) << program;
        EXPECT_EQ(r.exit_code, 0) << program;  // it was still waited for
        EXPECT_EQ(text(r.out), std::string(program) == "head" ? "xxxxx" : "") << program;
    }
    sigset_t pending;
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
}

TEST(Process, ExitCodesAndSignals) {
    EXPECT_EQ(run({"sh", "-c", "exit 3"}, {}).exit_code, 3);
    EXPECT_EQ(run({"sh", "-c", "kill -TERM $$"}, {}).exit_code, 128 + SIGTERM);
    const RunResult missing = run({"no-such-program-for-qor"}, {});
    EXPECT_EQ(missing.status, RunStatus::not_found);
    EXPECT_EQ(missing.pid, 0);
}

TEST(Process, EveryDescriptorIsClosedOnEveryPath) {
    const int before = open_descriptors();
    std::vector<uint8_t> input(1 << 20, 'y');
    (void)run({"cat"}, piped(input));                   // completes
    (void)run({"true"}, piped(input));                  // broken input
    (void)run({"no-such-program-for-qor"}, piped(input));  // cannot start
    RunOptions from_missing_file = piped();
    from_missing_file.in = {StreamKind::file, "/no/such/input/file"};
    EXPECT_EQ(run({"cat"}, from_missing_file).status, RunStatus::cannot_start);
    EXPECT_EQ(open_descriptors(), before);
}

TEST(Process, TheChildGetsOnlyItsStreamsAndDefaultSignals) {
    const int stray = dup(1);  // inheritable: no close-on-exec
    struct sigaction ignore{}, old_usr1{}, old_pipe{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGUSR1, &ignore, &old_usr1);
    sigaction(SIGPIPE, &ignore, &old_pipe);
    const std::string script = "test -e /proc/$$/fd/" + std::to_string(stray) +
                               " && echo leaked || echo clean; sed -n 's/^SigIgn:\t//p' /proc/self/status";
    const RunResult r = run({"sh", "-c", script}, piped());
    sigaction(SIGUSR1, &old_usr1, nullptr);
    sigaction(SIGPIPE, &old_pipe, nullptr);
    close(stray);
    const std::string out = text(r.out);
    ASSERT_EQ(out.substr(0, 6), "clean\n");
    // The signals the parent ignores are back at their default in the child.
    const unsigned long long ignored = std::stoull(out.substr(6), nullptr, 16);
    EXPECT_EQ(ignored & (1ULL << (SIGUSR1 - 1)), 0u);
    EXPECT_EQ(ignored & (1ULL << (SIGPIPE - 1)), 0u);
}

TEST(Process, ChildNobodyWaitsForIsReaped) {
    RunOptions detached;
    detached.wait = false;
    const RunResult r = run({"sh", "-c", "exit 0"}, detached);
    ASSERT_EQ(r.status, RunStatus::ok);
    ASSERT_GT(r.pid, 0);
    // A zombie keeps its /proc entry; a reaped child loses it.
    const std::string entry = "/proc/" + std::to_string(r.pid);
    bool gone = false;
    for (int i = 0; i < 200 && !gone; i++) {
        gone = access(entry.c_str(), F_OK) != 0;
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone);
}

class ProcessFiles : public test::TempDirTest {};

TEST_F(ProcessFiles, OutputFilesAreAppendedAndInputFilesRead) {
    put("log", "first\n");
    RunOptions o;
    o.out = {StreamKind::file, path("log")};
    o.err = {StreamKind::file, path("log")};
    EXPECT_EQ(run({"sh", "-c", "echo out; echo err >&2"}, o).exit_code, 0);
    EXPECT_EQ(get("log"), "first\nout\nerr\n");
    RunOptions from_file = piped();
    from_file.in = {StreamKind::file, path("log")};
    EXPECT_EQ(text(run({"wc", "-l"}, from_file).out), "3\n");
}

}  // namespace
}  // namespace qor::platform

namespace qor::host {
namespace {

TEST(SplitCommand, SpacesAndTabsOutsideDoubleQuotesSeparate) {
    const struct {
        const char* line;
        std::vector<std::string> args;
    } cases[] = {
        {"", {}},
        {"  \t ", {}},
        {"ls -l  /tmp", {"ls", "-l", "/tmp"}},
        {"sh -c \"exit 3\"", {"sh", "-c", "exit 3"}},
        {"a\"b c\"d e", {"ab cd", "e"}},
        {"printf \"\" x", {"printf", "", "x"}},
        {"x 'single quotes' stay", {"x", "'single", "quotes'", "stay"}},
        {"\tlead\ttrail\t", {"lead", "trail"}},
        {"open \"unterminated quote", {"open", "unterminated quote"}},
    };
    for (const auto& c : cases) EXPECT_EQ(split_command(c.line), c.args) << c.line;
}

}  // namespace
}  // namespace qor::host
