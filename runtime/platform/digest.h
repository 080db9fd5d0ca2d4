// The platform's digest service: MD5, SHA-1, SHA-256, SHA-384 and SHA-512
// computed by OpenSSL's EVP interface. A digest is fed in pieces, so HMAC
// can hash a pad followed by the data without copying the data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

struct evp_md_ctx_st;  // OpenSSL's EVP_MD_CTX; the header keeps OpenSSL out

namespace qor::platform {

enum class DigestAlgorithm : uint8_t { md5, sha1, sha256, sha384, sha512 };

// The longest digest (SHA-512).
inline constexpr size_t max_digest_size = 64;

// A finished digest: room for the longest one, and how much of it is filled.
struct DigestBytes {
    std::array<uint8_t, max_digest_size> bytes{};
    size_t size = 0;

    [[nodiscard]] std::span<const uint8_t> view() const noexcept { return {bytes.data(), size}; }
};

// One digest computation. A failure of the library at any step is
// remembered, and finish() then answers nothing: a failed digest is never
// handed out as a result. finish() ends the computation; a later update or
// finish fails.
class DigestStream {
public:
    explicit DigestStream(DigestAlgorithm algorithm) noexcept;

    void update(std::span<const uint8_t> bytes) noexcept;
    [[nodiscard]] std::optional<DigestBytes> finish() noexcept;

private:
    struct FreeContext {
        void operator()(evp_md_ctx_st* context) const noexcept;
    };
    std::unique_ptr<evp_md_ctx_st, FreeContext> context_;
    bool ok_ = false;
};

// The digest of one byte range.
[[nodiscard]] std::optional<DigestBytes> digest(DigestAlgorithm algorithm,
                                                std::span<const uint8_t> bytes) noexcept;

}  // namespace qor::platform
