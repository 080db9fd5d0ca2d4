// The system's identity from uname(2) and the os-release files.
#include "runtime/platform/system_identity.h"

#include <sys/utsname.h>

#include "runtime/platform/file_handle.h"

namespace qor::platform {

std::optional<KernelIdentity> kernel_identity() {
    utsname names{};
    if (uname(&names) != 0) return std::nullopt;
    return KernelIdentity{names.sysname, names.release, names.version, names.machine};
}

namespace {

// os-release is a few hundred bytes; anything past 64 KiB is not one.
constexpr size_t os_release_limit = 64 * 1024;

std::string read_small_file(const std::string& path) {
    File file = File::open(path, open_flag::read);
    if (!file.valid()) return {};
    std::string text(os_release_limit, '\0');
    int64_t n = file.read_full({reinterpret_cast<uint8_t*>(text.data()), text.size()});
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

}  // namespace

std::string os_release_text() {
    std::string text = read_small_file("/etc/os-release");
    if (text.empty()) text = read_small_file("/usr/lib/os-release");
    return text;
}

}  // namespace qor::platform
