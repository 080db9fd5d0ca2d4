// Starting other programs: posix_spawn with an argument vector, the child's
// three standard streams each inherited, sent to the null device, taken
// from or appended to a file, or connected to a pipe of the parent.
//
// With pipes the parent feeds the input and captures output and error
// together in one poll loop, writing input in chunks, so any amount of data
// in every direction completes whatever order the child reads and writes
// in. A child that stops reading its input early ends the feeding with a
// broken pipe; SIGPIPE never reaches the parent. Every descriptor the run
// opens is closed before it answers, on every path.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qor::platform {

// Where one standard stream of the child goes.
enum class StreamKind : uint8_t {
    inherit,  // the parent's own descriptor
    null,     // the null device
    file,     // a file: read from for input; opened for appending (created when missing) for output
    pipe,     // input: the bytes given are written to it; output: captured
};

struct StreamSpec {
    StreamKind kind = StreamKind::null;
    std::string path;  // the file of StreamKind::file
};

struct RunOptions {
    StreamSpec in, out, err;
    std::span<const uint8_t> input;  // what a piped input receives
    bool wait = true;                // without: answer at once; the child is reaped when it ends
    bool search_path = true;         // look the program up in PATH when it has no "/"
    bool foreground = false;         // the child has the terminal: Ctrl-C and Ctrl-\ reach it, not the parent
};

enum class RunStatus : uint8_t {
    ok,            // started (and ended, when waited for)
    not_found,     // the program does not exist: nothing was started
    cannot_start,  // the input file, a pipe or the start itself failed: nothing runs
    broken_input,  // the child ended before it read all its input
};

struct RunResult {
    RunStatus status = RunStatus::cannot_start;
    pid_t pid = 0;
    int exit_code = -1;        // after a wait: the exit status, or 128 + the signal that ended it
    std::vector<uint8_t> out;  // captured standard output
    std::vector<uint8_t> err;  // captured standard error
};

// Runs argv[0] with the arguments. An output or error file that cannot be
// opened leaves that stream on the null device and the run goes on. The
// child starts with the default handling of every signal and the parent's
// environment and directory.
[[nodiscard]] RunResult run_process(std::span<const std::string> argv, const RunOptions& options);

}  // namespace qor::platform
