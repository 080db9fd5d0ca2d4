// Reading standard input to its end: 0 at the end of the input, -1 when the
// descriptor cannot be read; a reader stops at either.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "runtime/platform/standard_streams.h"

namespace qor::platform {
namespace {

// Runs `body` in a child whose standard input is a pipe fed with `input`
// (or closed when `close_input`); the child's exit status is the answer.
template <class Body>
int with_stdin(const std::string& input, bool close_input, Body body) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[1]);
        if (close_input) {
            close(0);
        } else {
            dup2(fds[0], 0);
        }
        close(fds[0]);
        _exit(body());
    }
    close(fds[0]);
    if (!close_input) (void)!write(fds[1], input.data(), input.size());
    close(fds[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string read_all_stdin(int& last) {
    std::string got;
    uint8_t chunk[7];  // small, so the input takes many reads
    while ((last = static_cast<int>(read_stdin(chunk))) > 0) got.append(chunk, chunk + last);
    return got;
}

TEST(StandardInput, ReadsToTheEndOfAPipe) {
    std::string input = "first line\r\nsecond\n\xC3\xA9 no newline";
    EXPECT_EQ(with_stdin(input, false, [&] {
                  int last = 1;
                  return read_all_stdin(last) == input && last == 0 ? 0 : 1;
              }),
              0);
}

TEST(StandardInput, ClosedInputIsAFailedRead) {
    EXPECT_EQ(with_stdin("", true, [] {
                  int last = 1;
                  return read_all_stdin(last).empty() && last == -1 ? 0 : 1;
              }),
              0);
}

}  // namespace
}  // namespace qor::platform
