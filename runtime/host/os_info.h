// The operating system's description that `os-info` answers: the fields
// name, arch, version and build, in that order.
//
// On Linux the fields are filled as follows:
//   name     the distribution's display name from os-release (PRETTY_NAME,
//            else NAME and VERSION_ID), else "Linux"; it plays the part of
//            a system name with its edition
//   arch     the processor architecture uname reports, as the architecture
//            words "x86-32", "ARM", "IA-64", "x86-64", "ARM64" or "Unknown"
//   version  the kernel release's first three numbers (6.1.0 for
//            "6.1.0-18-amd64"), each capped at 255 to fit a tuple byte
//   build    the kernel's build count, the number after "#" in the uname
//            version ("#1 SMP ..." gives 1); 0 when there is none
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qor::host {

struct OsInfo {
    std::string name;
    std::string arch;                 // spelling of the arch word
    std::array<uint8_t, 3> version;  // the version tuple's bytes
    int32_t build;
};

// The running system's description.
[[nodiscard]] OsInfo os_info();

// The architecture word for a uname machine name.
[[nodiscard]] std::string_view arch_word(std::string_view machine);

// The display name from the text of an os-release file; "Linux" when it
// names none.
[[nodiscard]] std::string distribution_name(std::string_view os_release);

// The version triple of a kernel release string.
[[nodiscard]] std::array<uint8_t, 3> kernel_version(std::string_view release);

// The build count of a kernel version string.
[[nodiscard]] int32_t kernel_build(std::string_view version);

}  // namespace qor::host
