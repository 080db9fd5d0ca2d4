// The process's environment as name and value pairs, for `list-env`.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qor::host {

struct EnvVariable {
    std::string name;
    std::string value;
};

// Every variable, in the order the environment holds them.
[[nodiscard]] std::vector<EnvVariable> list_env();

// Splits one "name=value" entry at the first "=" that is not its first
// character, so a name may begin with "="; an entry without one is a name
// with an empty value.
[[nodiscard]] EnvVariable split_env_entry(std::string_view entry);

}  // namespace qor::host
