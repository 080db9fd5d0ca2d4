// XXH64: the 64-bit xxHash of a byte range (seed 0 by default), used as the
// content checksum of zstd frames.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::compress {

[[nodiscard]] uint64_t xxh64(const uint8_t* data, size_t length, uint64_t seed = 0);

}  // namespace qor::compress
