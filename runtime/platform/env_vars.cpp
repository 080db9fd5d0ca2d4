// Environment variables through getenv/setenv/unsetenv.
#include "runtime/platform/env_vars.h"

#include <cstdlib>

extern char** environ;

namespace qor::platform {

std::optional<std::string> get_env(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool set_env(const std::string& name, const std::optional<std::string>& value) {
    // POSIX refuses names that are empty or hold "="; so do we, without asking.
    if (name.empty() || name.find('=') != std::string::npos) return false;
    if (!value) return unsetenv(name.c_str()) == 0;
    return setenv(name.c_str(), value->c_str(), 1) == 0;
}

std::vector<std::string_view> environment_entries() {
    std::vector<std::string_view> entries;
    if (environ == nullptr) return entries;
    for (char** entry = environ; *entry != nullptr; ++entry) entries.emplace_back(*entry);
    return entries;
}

}  // namespace qor::platform
