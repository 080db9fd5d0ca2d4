// Runs a piece of code in a forked child with its standard output captured,
// for tests of code that ends the process.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace qor::test {

struct ChildResult {
    int exit_status = -1;  // -1 when the child did not exit normally
    std::string output;
};

template <class Body>
ChildResult run_in_child(Body&& body) {
    int fds[2];
    if (pipe(fds) != 0) std::abort();
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 1);
        close(fds[1]);
        body();
        _exit(0);
    }
    close(fds[1]);
    ChildResult result;
    char chunk[4096];
    ssize_t n;
    while ((n = read(fds[0], chunk, sizeof chunk)) > 0) result.output.append(chunk, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    return result;
}

}  // namespace qor::test
