// Digests and HMAC (RFC 2104) for the `checksum` native.
#include "runtime/hash/digest_methods.h"

#include <optional>

namespace qor::checksum {

namespace {

constexpr size_t max_hmac_block = 128;

static_assert([] {
    for (const MethodInfo& info : methods)
        if (info.hmac_block > max_hmac_block) return false;
    return true;
}());

// The platform algorithm of a digest method; nothing for the checksums.
std::optional<platform::DigestAlgorithm> algorithm_of(Method method) noexcept {
    switch (method) {
        case Method::md5: return platform::DigestAlgorithm::md5;
        case Method::sha1: return platform::DigestAlgorithm::sha1;
        case Method::sha256: return platform::DigestAlgorithm::sha256;
        case Method::sha384: return platform::DigestAlgorithm::sha384;
        case Method::sha512: return platform::DigestAlgorithm::sha512;
        default: return std::nullopt;
    }
}

DigestResult answer(std::optional<platform::DigestBytes> bytes) noexcept {
    if (!bytes) return {DigestStatus::failed, {}};
    return {DigestStatus::ok, *bytes};
}

// One HMAC half: the digest of the key pad (key xor pad byte, zero-padded
// to the block size) followed by the message.
std::optional<platform::DigestBytes> padded_digest(platform::DigestAlgorithm algorithm,
                                                   std::span<const uint8_t> key, size_t block,
                                                   uint8_t pad_byte,
                                                   std::span<const uint8_t> message) noexcept {
    std::array<uint8_t, max_hmac_block> pad;
    for (size_t i = 0; i < block; i++) pad[i] = uint8_t((i < key.size() ? key[i] : 0) ^ pad_byte);
    platform::DigestStream stream(algorithm);
    stream.update({pad.data(), block});
    stream.update(message);
    return stream.finish();
}

}  // namespace

DigestResult digest(Method method, std::span<const uint8_t> data) noexcept {
    auto algorithm = algorithm_of(method);
    if (!algorithm) return {DigestStatus::not_a_digest, {}};
    return answer(platform::digest(*algorithm, data));
}

DigestResult hmac(Method method, std::span<const uint8_t> data, std::span<const uint8_t> key) noexcept {
    auto algorithm = algorithm_of(method);
    if (!algorithm) return {DigestStatus::no_hmac, {}};
    const size_t block = method_info(method).hmac_block;

    // A key longer than the block is replaced by its digest.
    platform::DigestBytes hashed_key;
    if (key.size() > block) {
        auto hashed = platform::digest(*algorithm, key);
        if (!hashed) return {DigestStatus::failed, {}};
        hashed_key = *hashed;
        key = hashed_key.view();
    }

    auto inner = padded_digest(*algorithm, key, block, 0x36, data);
    if (!inner) return {DigestStatus::failed, {}};
    return answer(padded_digest(*algorithm, key, block, 0x5C, inner->view()));
}

}  // namespace qor::checksum
