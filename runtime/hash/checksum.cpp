// Checksums over byte ranges: CRC-32, the Internet checksum and Adler-32.
//
// CRC-32 runs two ways. Where the processor multiplies without carries
// (PCLMULQDQ, asked at run time), 64-byte runs are folded: four 128-bit
// lanes are each multiplied forward by x^512 modulo the polynomial and
// combined with the next block, then folded into one lane, whose 16 bytes
// are left with the same remainder as everything before them. Elsewhere,
// and for the bytes around the folded run, eight tables take eight bytes a
// step ("slicing by eight").
#include "runtime/hash/checksum.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace qor::checksum {

namespace {

constexpr uint32_t crc_polynomial = 0xEDB88320u;  // reflected

// tables[0][n] is the CRC register after shifting the byte n through it;
// tables[k][n] continues that for k more zero bytes, so eight bytes can be
// looked up independently and combined. Built at compile time, so there is
// no first-use initialisation to get wrong.
constexpr std::array<std::array<uint32_t, 256>, 8> make_crc_tables() {
    std::array<std::array<uint32_t, 256>, 8> tables{};
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++) c = (c & 1) ? (c >> 1) ^ crc_polynomial : c >> 1;
        tables[0][n] = c;
    }
    for (size_t k = 1; k < 8; k++)
        for (size_t n = 0; n < 256; n++) tables[k][n] = (tables[k - 1][n] >> 8) ^ tables[0][tables[k - 1][n] & 0xFF];
    return tables;
}

constexpr auto crc_tables = make_crc_tables();

uint32_t crc_bytes(uint32_t crc, const uint8_t* p, size_t n) {
    for (; n > 0; n--, p++) crc = (crc >> 8) ^ crc_tables[0][(crc ^ *p) & 0xFF];
    return crc;
}

uint32_t crc_sliced(uint32_t crc, const uint8_t* p, size_t n) {
    for (; n >= 8; n -= 8, p += 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);  // little-endian: byte 0 is the lowest
        v ^= crc;
        crc = crc_tables[7][v & 0xFF] ^ crc_tables[6][(v >> 8) & 0xFF] ^ crc_tables[5][(v >> 16) & 0xFF] ^
              crc_tables[4][(v >> 24) & 0xFF] ^ crc_tables[3][(v >> 32) & 0xFF] ^ crc_tables[2][(v >> 40) & 0xFF] ^
              crc_tables[1][(v >> 48) & 0xFF] ^ crc_tables[0][v >> 56];
    }
    return crc_bytes(crc, p, n);
}

#if defined(__x86_64__)

// x^e modulo the (unreflected) polynomial 0x104C11DB7.
constexpr uint32_t x_power_mod(unsigned e) {
    uint32_t r = 1;
    for (unsigned i = 0; i < e; i++) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
    return r;
}

constexpr uint32_t reflect32(uint32_t v) {
    uint32_t r = 0;
    for (int i = 0; i < 32; i++)
        if ((v >> i) & 1) r |= 1u << (31 - i);
    return r;
}

// The multiplier that moves a 64-bit half of a lane `distance` bits
// forward: x^(distance + 32) for the lower half (which holds the earlier,
// higher-order bits), x^(distance - 32) for the upper one, reflected and
// shifted left by one, since a carry-less product of reflected operands
// comes out one bit low.
constexpr uint64_t fold_constant(unsigned exponent) { return uint64_t{reflect32(x_power_mod(exponent))} << 1; }

constexpr uint64_t fold512_low = fold_constant(512 + 32), fold512_high = fold_constant(512 - 32);
constexpr uint64_t fold128_low = fold_constant(128 + 32), fold128_high = fold_constant(128 - 32);

[[gnu::target("pclmul")]] inline __m128i load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The lane multiplied forward by the constants' distance, plus `next`.
[[gnu::target("pclmul")]] inline __m128i fold(__m128i lane, __m128i constants, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(lane, constants, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// Folds the longest run of whole 16-byte blocks from p (n >= 64): answers
// the CRC register after them, starting from `crc`, and sets *done to the
// run's length.
[[gnu::target("pclmul")]] uint32_t crc_folded(uint32_t crc, const uint8_t* p, size_t n, size_t* done) {
    const __m128i by512 = _mm_set_epi64x(static_cast<long long>(fold512_high), static_cast<long long>(fold512_low));
    const __m128i by128 = _mm_set_epi64x(static_cast<long long>(fold128_high), static_cast<long long>(fold128_low));
    const uint8_t* const start = p;
    // The register enters as the first 32 bits of the message.
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
    p += 64;
    n -= 64;
    for (; n >= 64; n -= 64, p += 64) {
        x0 = fold(x0, by512, load(p));
        x1 = fold(x1, by512, load(p + 16));
        x2 = fold(x2, by512, load(p + 32));
        x3 = fold(x3, by512, load(p + 48));
    }
    x1 = fold(x0, by128, x1);
    x2 = fold(x1, by128, x2);
    x3 = fold(x2, by128, x3);
    for (; n >= 16; n -= 16, p += 16) x3 = fold(x3, by128, load(p));
    uint8_t rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), x3);
    *done = static_cast<size_t>(p - start);
    return crc_sliced(0, rest, 16);
}

bool have_clmul() {
    static const bool yes = __builtin_cpu_supports("pclmul");
    return yes;
}

#endif

// The largest block over which a and b cannot overflow before the modulo.
constexpr size_t adler_block = 3854;
constexpr uint32_t adler_base = 65521;

}  // namespace

uint32_t crc32(std::span<const uint8_t> bytes) noexcept {
    uint32_t crc = 0xFFFFFFFFu;
    const uint8_t* p = bytes.data();
    size_t n = bytes.size();
#if defined(__x86_64__)
    if (n >= 64 && have_clmul()) {
        size_t done = 0;
        crc = crc_folded(crc, p, n, &done);
        p += done;
        n -= done;
    }
#endif
    return ~crc_sliced(crc, p, n);
}

namespace detail {

uint32_t crc32_sliced(std::span<const uint8_t> bytes) noexcept {
    return ~crc_sliced(0xFFFFFFFFu, bytes.data(), bytes.size());
}

}  // namespace detail

// The words are summed in 64 bits: a 32-bit sum would drop carries once the
// data passes 128 KiB. Folding the carries back in until none is left gives
// the same result as two folds of a sum that did not overflow.
uint16_t tcp(std::span<const uint8_t> bytes) noexcept {
    uint64_t sum = 0;
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) sum += (uint32_t(bytes[i]) << 8) | bytes[i + 1];
    if (i < bytes.size()) sum += uint32_t(bytes[i]) << 8;
    while (sum >> 16) sum = (sum >> 16) + (sum & 0xFFFF);
    return uint16_t(~sum & 0xFFFF);
}

uint32_t adler32(std::span<const uint8_t> bytes) noexcept {
    uint32_t a = 1, b = 0;
    const uint8_t* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        size_t block = left < adler_block ? left : adler_block;
        left -= block;
        for (; block >= 16; block -= 16, p += 16)
            for (int k = 0; k < 16; k++) { a += p[k]; b += a; }
        for (; block > 0; block--, p++) { a += *p; b += a; }
        a %= adler_base;
        b %= adler_base;
    }
    return (b << 16) | a;
}

}  // namespace qor::checksum
