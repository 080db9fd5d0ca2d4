// The environment list from the process's environment entries.
#include "runtime/host/env_list.h"

#include "runtime/platform/env_vars.h"

namespace qor::host {

EnvVariable split_env_entry(std::string_view entry) {
    size_t equals = entry.empty() ? std::string_view::npos : entry.find('=', 1);
    if (equals == std::string_view::npos) return {std::string(entry), {}};
    return {std::string(entry.substr(0, equals)), std::string(entry.substr(equals + 1))};
}

std::vector<EnvVariable> list_env() {
    std::vector<EnvVariable> variables;
    auto entries = platform::environment_entries();
    variables.reserve(entries.size());
    for (std::string_view entry : entries) variables.push_back(split_env_entry(entry));
    return variables;
}

}  // namespace qor::host
