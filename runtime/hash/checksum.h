// Checksums over byte ranges: CRC-32, the Internet (TCP) checksum and
// Adler-32. The compression containers use CRC-32 (gzip) and Adler-32 (zlib);
// the `checksum` native offers all three.
#pragma once

#include <cstdint>
#include <span>

namespace qor::checksum {

// Reflected CRC-32 of IEEE 802.3 (polynomial 0xEDB88320), initial value
// 0xFFFFFFFF, result complemented.
[[nodiscard]] uint32_t crc32(std::span<const uint8_t> bytes) noexcept;

namespace detail {
// The table-driven CRC-32 that runs where the processor cannot multiply
// without carries (and on the bytes around a folded run): the same
// checksum, exposed so that tests can hold the two paths to each other.
[[nodiscard]] uint32_t crc32_sliced(std::span<const uint8_t> bytes) noexcept;
}  // namespace detail

// Internet checksum (RFC 1071): ones' complement of the folded sum of
// big-endian 16-bit words.
[[nodiscard]] uint16_t tcp(std::span<const uint8_t> bytes) noexcept;

// Adler-32 (RFC 1950), summed in blocks of at most 3,854 bytes.
[[nodiscard]] uint32_t adler32(std::span<const uint8_t> bytes) noexcept;

}  // namespace qor::checksum
