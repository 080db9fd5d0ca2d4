// The method words of the `checksum` native, their digest codes and sizes,
// and the digests and HMACs (RFC 2104) over the platform's digest service.
//
// A digest or HMAC that the platform fails to compute is answered as a
// failure, never as unset bytes: the native turns DigestStatus::failed into
// an error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/platform/digest.h"

namespace qor::checksum {

// The method words, in the order they are created at start-up.
enum class Method : uint8_t { tcp, md5, sha1, crc32, adler32, sha256, sha384, sha512, hash };

inline constexpr size_t method_count = 9;

struct MethodInfo {
    std::string_view name;  // spelling of the method word
    int8_t code;            // digest code; -1 where the method has none
    uint8_t digest_size;    // bytes of the digest; 0 for the checksums
    uint8_t hmac_block;     // HMAC block size in bytes
};

inline constexpr std::array<MethodInfo, method_count> methods = {{
    {"tcp", 0, 0, 64},
    {"md5", 2, 16, 64},
    {"sha1", 3, 20, 64},
    {"crc32", 1, 0, 64},
    {"adler32", -1, 0, 64},
    {"sha256", 4, 32, 64},
    {"sha384", 5, 48, 128},
    {"sha512", 6, 64, 128},
    {"hash", -1, 0, 64},
}};

[[nodiscard]] constexpr const MethodInfo& method_info(Method method) noexcept {
    return methods[static_cast<size_t>(method)];
}

// True for the methods that answer a digest (and so support HMAC).
[[nodiscard]] constexpr bool is_digest(Method method) noexcept {
    return method_info(method).digest_size != 0;
}

// Printed by the native, which then answers none, for an HMAC asked of a
// method without a digest.
inline constexpr std::string_view no_hmac_message =
    "The selected algorithm doesn't support HMAC calculation";

// Printed by the native, which then answers 0, for `hash` with a table size.
inline constexpr std::string_view hash_with_size_message =
    "** /hash support not yet implemented; algorithm TBD.";

enum class DigestStatus : uint8_t {
    ok,
    not_a_digest,  // digest of a checksum method: the native raises invalid-arg
    no_hmac,       // HMAC of a checksum method: the native prints no_hmac_message
    failed,        // the platform could not compute it: the native raises an error
};

struct [[nodiscard]] DigestResult {
    DigestStatus status = DigestStatus::failed;
    platform::DigestBytes digest;  // filled when status is ok

    explicit operator bool() const noexcept { return status == DigestStatus::ok; }
    [[nodiscard]] std::span<const uint8_t> bytes() const noexcept { return digest.view(); }
};

// The digest of the bytes by a digest method.
DigestResult digest(Method method, std::span<const uint8_t> data) noexcept;

// HMAC of the data under the key by a digest method.
DigestResult hmac(Method method, std::span<const uint8_t> data, std::span<const uint8_t> key) noexcept;

}  // namespace qor::checksum
