// Environment variables of the process.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qor::platform {

// The variable's value, or nothing when it is not set.
[[nodiscard]] std::optional<std::string> get_env(const std::string& name);

// Sets the variable, or removes it when value is empty (nullopt); true on success.
bool set_env(const std::string& name, const std::optional<std::string>& value);

// The process's environment entries ("name=value"), in the order the
// environment holds them. The views are valid until the environment changes.
[[nodiscard]] std::vector<std::string_view> environment_entries();

}  // namespace qor::platform
