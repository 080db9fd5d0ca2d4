// The current directory through getcwd/chdir.
#include "runtime/platform/current_dir.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace qor::platform {

std::string get_current_dir() {
    // getcwd wants a buffer large enough; grow until it is.
    std::vector<char> buffer(256);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return {};
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

bool set_current_dir(const std::string& path) {
    return chdir(path.c_str()) == 0;
}

}  // namespace qor::platform
