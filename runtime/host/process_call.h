// Running a command for `call`: the command line split into arguments (or
// handed to /bin/sh -c), where the child's standard streams go, and the
// integer the call answers.
//
// Without the shell the command is split on spaces and tabs outside double
// quotes, the quotes themselves dropped, and the program is started
// directly, never through a shell. A program that is not found is tried once
// more through /bin/sh -c with the command as written.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/platform/process.h"

namespace qor::host {

// The arguments of a command line.
[[nodiscard]] std::vector<std::string> split_command(std::string_view command);

// One redirected stream of a call: a file or, for output, a capture; for
// input the bytes fed to the child.
struct CallStream {
    enum class Kind : uint8_t { none, file, data } kind = Kind::none;
    std::string path;                // the local path of a file
    std::span<const uint8_t> input;  // the data of a redirected input
};

struct CallOptions {
    bool wait = false;
    bool console = false;      // the child gets the console: the terminal in its normal mode, the call waits
    bool shell = false;        // the command runs through /bin/sh -c
    bool program_file = false; // the command is a program's path, one argument, never split
    CallStream in, out, err;
};

struct CallResult {
    int32_t answer = -1;  // -1 on failure, the exit code after a wait, else the process id
    std::vector<uint8_t> out, err;
};

// Runs the command. Any redirection, and /console, make the call wait. A
// stream that is not redirected goes to the null device, or with /console
// to the console itself. A child that ends before reading all of its input
// makes the answer -1; its output is still captured.
[[nodiscard]] CallResult run_call(std::string_view command, const CallOptions& options);

}  // namespace qor::host
