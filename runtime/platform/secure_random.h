// The platform's cryptographically secure random source (the kernel's
// getrandom).
#pragma once

#include <cstdint>
#include <span>

namespace qor::platform {

// Fills the buffer with secure random bytes. False when the source fails;
// the buffer's content must then not be used.
[[nodiscard]] bool secure_random_bytes(std::span<uint8_t> buffer) noexcept;

}  // namespace qor::platform
