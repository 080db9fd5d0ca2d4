// MurmurHash3 (x86, 32-bit) over bytes and over code points.
#include "runtime/hash/murmur3.h"

#include <bit>
#include <cstring>

#include "runtime/core/runtime_process.h"
#include "runtime/unicode/case_map.h"

namespace qor::hash {

namespace {

constexpr uint32_t c1 = 0xCC9E2D51u;
constexpr uint32_t c2 = 0x1B873593u;

// Scrambles one 32-bit block before it enters the hash.
constexpr uint32_t scramble(uint32_t k) {
    k *= c1;
    k = std::rotl(k, 15);
    return k * c2;
}

// Mixes one full block into the running hash.
constexpr uint32_t mix_block(uint32_t h, uint32_t k) {
    h ^= scramble(k);
    h = std::rotl(h, 13);
    return h * 5 + 0xE6546B64u;
}

template <class Unit>
uint32_t hash_code_points(const unsigned char* p, size_t count, bool case_sensitive) {
    uint32_t h = seed;
    for (size_t i = 0; i < count; i++) {
        Unit u;
        std::memcpy(&u, p + i * sizeof(Unit), sizeof(Unit));
        uint32_t cp = u;
        if (!case_sensitive) cp = unicode::to_upper(cp);
        h = mix_block(h, cp);
    }
    return mix32(h ^ static_cast<uint32_t>(count * 4));
}

}  // namespace

uint32_t murmur3_seeded(const void* bytes, size_t length, uint32_t h) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    size_t blocks = length / 4;
    for (size_t i = 0; i < blocks; i++) {
        uint32_t k;
        std::memcpy(&k, p + i * 4, 4);  // little-endian on x86-64
        h = mix_block(h, k);
    }
    const unsigned char* tail = p + blocks * 4;
    uint32_t k = 0;
    switch (length & 3) {
        case 3: k ^= uint32_t(tail[2]) << 16; [[fallthrough]];
        case 2: k ^= uint32_t(tail[1]) << 8; [[fallthrough]];
        case 1: k ^= tail[0]; h ^= scramble(k);
    }
    return mix32(h ^ static_cast<uint32_t>(length));
}

uint32_t murmur3(const void* bytes, size_t length) { return murmur3_seeded(bytes, length, seed); }

uint32_t string_units(const void* units, size_t count, int unit, bool case_sensitive) {
    const auto* p = static_cast<const unsigned char*>(units);
    switch (unit) {
        case 1: return hash_code_points<uint8_t>(p, count, case_sensitive);
        case 2: return hash_code_points<uint16_t>(p, count, case_sensitive);
        case 4: return hash_code_points<uint32_t>(p, count, case_sensitive);
        default: rt::quit(101);  // a unit no string buffer can have
    }
}

}  // namespace qor::hash
