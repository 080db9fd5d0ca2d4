// The running system's identity: the kernel's uname fields and the
// distribution's os-release text.
#pragma once

#include <optional>
#include <string>

namespace qor::platform {

struct KernelIdentity {
    std::string system;   // "Linux"
    std::string release;  // "6.1.0-18-amd64"
    std::string version;  // "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)"
    std::string machine;  // "x86_64"
};

// The uname fields; nothing when the call fails.
[[nodiscard]] std::optional<KernelIdentity> kernel_identity();

// The text of /etc/os-release, or of /usr/lib/os-release when the first is
// missing; empty when neither can be read.
[[nodiscard]] std::string os_release_text();

}  // namespace qor::platform
