// XXH64 written from the published algorithm: four 64-bit lanes over
// 32-byte stripes, then the tail in 8-, 4- and 1-byte steps and a final
// avalanche. All arithmetic wraps modulo 2^64.
#include "runtime/compress/xxhash64.h"

#include <cstring>

namespace qor::compress {
namespace {

constexpr uint64_t kP1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t kP2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t kP3 = 0x165667B19E3779F9ULL;
constexpr uint64_t kP4 = 0x85EBCA77C2B2AE63ULL;
constexpr uint64_t kP5 = 0x27D4EB2F165667C5ULL;

inline uint64_t rotl(uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

inline uint64_t read64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;  // x86-64 is little-endian, as the algorithm reads
}

inline uint32_t read32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint64_t round(uint64_t acc, uint64_t input) {
    acc += input * kP2;
    return rotl(acc, 31) * kP1;
}

inline uint64_t merge(uint64_t acc, uint64_t lane) {
    acc ^= round(0, lane);
    return acc * kP1 + kP4;
}

}  // namespace

uint64_t xxh64(const uint8_t* data, size_t length, uint64_t seed) {
    const uint8_t* p = data;
    const uint8_t* end = data + length;
    uint64_t h;
    if (length >= 32) {
        uint64_t v1 = seed + kP1 + kP2, v2 = seed + kP2, v3 = seed, v4 = seed - kP1;
        const uint8_t* limit = end - 32;
        do {
            v1 = round(v1, read64(p));
            v2 = round(v2, read64(p + 8));
            v3 = round(v3, read64(p + 16));
            v4 = round(v4, read64(p + 24));
            p += 32;
        } while (p <= limit);
        h = rotl(v1, 1) + rotl(v2, 7) + rotl(v3, 12) + rotl(v4, 18);
        h = merge(h, v1);
        h = merge(h, v2);
        h = merge(h, v3);
        h = merge(h, v4);
    } else {
        h = seed + kP5;
    }
    h += static_cast<uint64_t>(length);
    for (; p + 8 <= end; p += 8) {
        h ^= round(0, read64(p));
        h = rotl(h, 27) * kP1 + kP4;
    }
    if (p + 4 <= end) {
        h ^= static_cast<uint64_t>(read32(p)) * kP1;
        h = rotl(h, 23) * kP2 + kP3;
        p += 4;
    }
    for (; p < end; ++p) {
        h ^= static_cast<uint64_t>(*p) * kP5;
        h = rotl(h, 11) * kP1;
    }
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    h ^= h >> 32;
    return h;
}

}  // namespace qor::compress
