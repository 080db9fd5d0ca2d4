// Checksums over byte ranges: CRC-32, the Internet checksum and Adler-32.
#include "runtime/eval/checksum.h"

#include <array>

namespace qor::checksum {

namespace {

// Entry n is n shifted right eight times, xoring the polynomial after each
// shift that drops a 1 bit. Built at compile time, so there is no first-use
// initialisation to get wrong.
constexpr std::array<uint32_t, 256> make_crc_table() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr auto crc_table = make_crc_table();

// The largest block over which a and b cannot overflow before the modulo.
constexpr size_t adler_block = 3854;
constexpr uint32_t adler_base = 65521;

}  // namespace

uint32_t crc32(std::span<const uint8_t> bytes) noexcept {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes) crc = (crc >> 8) ^ crc_table[(crc ^ b) & 0xFF];
    return ~crc;
}

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
