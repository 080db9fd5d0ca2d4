// The OS description from uname and os-release.
#include "runtime/host/os_info.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "runtime/platform/system_identity.h"

namespace qor::host {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads a decimal number at `pos`, stopping at `cap` so it cannot overflow.
int64_t read_number(std::string_view s, size_t& pos, int64_t cap) {
    int64_t value = 0;
    while (pos < s.size() && is_digit(s[pos])) {
        value = std::min<int64_t>(value * 10 + (s[pos] - '0'), cap);
        ++pos;
    }
    return value;
}

// One os-release value: unquoted, or in double quotes (where a backslash
// makes the next character literal) or single quotes.
std::string unquote(std::string_view raw) {
    if (raw.size() >= 2 && raw.front() == '\'' && raw.back() == '\'') return std::string(raw.substr(1, raw.size() - 2));
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return std::string(raw);
    std::string value;
    for (size_t i = 1; i + 1 < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 2 < raw.size()) ++i;
        value += raw[i];
    }
    return value;
}

// The value of KEY in os-release text; empty when absent.
std::string os_release_field(std::string_view text, std::string_view key) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=')
            return unquote(line.substr(key.size() + 1));
        start = end + 1;
    }
    return {};
}

}  // namespace

std::string_view arch_word(std::string_view machine) {
    static constexpr std::pair<std::string_view, std::string_view> table[] = {
        {"x86_64", "x86-64"}, {"amd64", "x86-64"}, {"i386", "x86-32"}, {"i486", "x86-32"},
        {"i586", "x86-32"},   {"i686", "x86-32"},  {"aarch64", "ARM64"}, {"arm64", "ARM64"},
        {"ia64", "IA-64"},
    };
    for (const auto& [name, word] : table)
        if (machine == name) return word;
    if (machine.substr(0, 3) == "arm") return "ARM";
    return "Unknown";
}

std::string distribution_name(std::string_view os_release) {
    std::string name = os_release_field(os_release, "PRETTY_NAME");
    if (!name.empty()) return name;
    name = os_release_field(os_release, "NAME");
    if (name.empty()) return "Linux";
    std::string version = os_release_field(os_release, "VERSION_ID");
    return version.empty() ? name : name + " " + version;
}

std::array<uint8_t, 3> kernel_version(std::string_view release) {
    std::array<uint8_t, 3> version{0, 0, 0};
    size_t pos = 0;
    for (size_t i = 0; i < 3; ++i) {
        if (pos >= release.size() || !is_digit(release[pos])) break;
        version[i] = static_cast<uint8_t>(read_number(release, pos, 255));
        if (pos >= release.size() || release[pos] != '.') break;
        ++pos;
    }
    return version;
}

int32_t kernel_build(std::string_view version) {
    size_t pos = version.find('#');
    if (pos == std::string_view::npos) return 0;
    ++pos;
    return static_cast<int32_t>(read_number(version, pos, INT32_MAX));
}

OsInfo os_info() {
    OsInfo info{distribution_name(platform::os_release_text()), "Unknown", {0, 0, 0}, 0};
    if (auto kernel = platform::kernel_identity()) {
        info.arch = arch_word(kernel->machine);
        info.version = kernel_version(kernel->release);
        info.build = kernel_build(kernel->version);
    }
    return info;
}

}  // namespace qor::host
