// MurmurHash3 (x86, 32-bit): the one hash function of the runtime.
//
// Every hash uses the same seed, so equal keys hash alike in every table
// and across runs. Strings hash per code point: each character is one
// 32-bit block, whatever the unit width the string is stored in, so a
// Latin-1 string and the same text widened to UCS-2 or UCS-4 hash equal.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor::hash {

inline constexpr uint32_t seed = 0x0056B60C;

// MurmurHash3_x86_32 of `length` bytes with the runtime's seed.
[[nodiscard]] uint32_t murmur3(const void* bytes, size_t length);

// The same with an explicit seed (for checking against published vectors).
[[nodiscard]] uint32_t murmur3_seeded(const void* bytes, size_t length, uint32_t seed);

// The MurmurHash3 finaliser: spreads every bit of a 32-bit value over the
// whole word. Hashes ids and node numbers.
[[nodiscard]] constexpr uint32_t mix32(uint32_t h) {
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

// Hash of `count` characters stored in units of `unit` bytes (1, 2 or 4):
// MurmurHash3 of their UTF-32LE form. Unless `case_sensitive`, each code
// point is first mapped to upper case, so texts that differ only in case
// hash alike.
[[nodiscard]] uint32_t string_units(const void* units, size_t count, int unit, bool case_sensitive);

}  // namespace qor::hash
