// xdg-open started through two forks, so that it outlives nothing it should
// not and leaves no zombie behind (see desktop_open.h).
#include "runtime/platform/desktop_open.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace qor::platform {

void open_in_desktop(const std::string& target) {
    const pid_t child = fork();
    if (child < 0) return;
    if (child == 0) {
        // The child starts the opener and ends; the opener is adopted by init.
        if (fork() == 0) {
            const int null = open("/dev/null", O_RDONLY);
            if (null >= 0) dup2(null, 0);
            char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(target.c_str()), nullptr};
            execvp("xdg-open", argv);
            _exit(127);
        }
        _exit(0);
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace qor::platform
