// The platform's digest service over OpenSSL's EVP interface.
#include "runtime/platform/digest.h"

#include <openssl/evp.h>

namespace qor::platform {

namespace {

struct FreeMd {
    void operator()(EVP_MD* md) const noexcept { EVP_MD_free(md); }
};
using MdHandle = std::unique_ptr<EVP_MD, FreeMd>;

constexpr const char* algorithm_names[] = {"MD5", "SHA1", "SHA256", "SHA384", "SHA512"};
constexpr size_t algorithm_count = std::size(algorithm_names);

// The algorithms are fetched from the provider once and kept for the life of
// the process, so a digest does not pay for a provider look-up each time. A
// null entry is an algorithm the library refuses (MD5 under a FIPS policy,
// say); digests with it fail.
const EVP_MD* fetch(DigestAlgorithm algorithm) noexcept {
    static const std::array<MdHandle, algorithm_count> fetched = [] {
        std::array<MdHandle, algorithm_count> mds;
        for (size_t i = 0; i < algorithm_count; i++)
            mds[i].reset(EVP_MD_fetch(nullptr, algorithm_names[i], nullptr));
        return mds;
    }();
    auto index = static_cast<size_t>(algorithm);
    return index < algorithm_count ? fetched[index].get() : nullptr;
}

}  // namespace

void DigestStream::FreeContext::operator()(evp_md_ctx_st* context) const noexcept {
    EVP_MD_CTX_free(context);
}

DigestStream::DigestStream(DigestAlgorithm algorithm) noexcept : context_(EVP_MD_CTX_new()) {
    const EVP_MD* md = fetch(algorithm);
    ok_ = context_ && md && EVP_DigestInit_ex(context_.get(), md, nullptr) == 1;
}

void DigestStream::update(std::span<const uint8_t> bytes) noexcept {
    if (ok_ && !bytes.empty()) ok_ = EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()) == 1;
}

std::optional<DigestBytes> DigestStream::finish() noexcept {
    if (!ok_) return std::nullopt;
    ok_ = false;
    DigestBytes out;
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context_.get(), out.bytes.data(), &size) != 1 || size == 0 ||
        size > max_digest_size)
        return std::nullopt;
    out.size = size;
    return out;
}

std::optional<DigestBytes> digest(DigestAlgorithm algorithm, std::span<const uint8_t> bytes) noexcept {
    DigestStream stream(algorithm);
    stream.update(bytes);
    return stream.finish();
}

}  // namespace qor::platform
