// Runs the real `qor` on a script file in a given directory, HOME pointing
// there too, and answers its output, exit status and peak memory (the
// child's maximum resident set, from the kernel's accounting).
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace qor::test {

struct ScriptRun {
    int status = -1;  // -1 when qor did not exit normally
    std::string output;
    int64_t peak_kb = 0;
};

inline ScriptRun run_qor_script(const std::string& dir, const std::string& script) {
    int out[2];
    ScriptRun run;
    if (pipe(out) != 0) return run;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]), close(out[1]);
        if (chdir(dir.c_str()) != 0) _exit(126);
        setenv("HOME", dir.c_str(), 1);
        execl(QOR_BINARY, QOR_BINARY, script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char chunk[4096];
    ssize_t n;
    while ((n = read(out[0], chunk, sizeof chunk)) > 0) run.output.append(chunk, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    run.peak_kb = usage.ru_maxrss;
    return run;
}

}  // namespace qor::test
