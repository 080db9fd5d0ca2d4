// CRC-32, the Internet checksum and Adler-32: check values, and long inputs
// against plain reference implementations written here.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

#include "runtime/hash/checksum.h"

namespace qor {
namespace {

std::span<const uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::vector<uint8_t> random_bytes(size_t size, uint32_t seed) {
    std::mt19937 engine(seed);
    std::vector<uint8_t> out(size);
    for (auto& b : out) b = uint8_t(engine());
    return out;
}

// Adler-32 reduced after every byte: slow, but with nothing to overflow.
uint32_t reference_adler32(std::span<const uint8_t> data) {
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

// Ones' complement sum with the end-around carry added at every word.
uint16_t reference_internet_checksum(std::span<const uint8_t> data) {
    uint32_t sum = 0;
    for (size_t i = 0; i < data.size(); i += 2) {
        uint32_t word = uint32_t(data[i]) << 8;
        if (i + 1 < data.size()) word |= data[i + 1];
        sum += word;
        if (sum > 0xFFFF) sum -= 0xFFFF;
    }
    return uint16_t(~sum);
}

// CRC-32 bit by bit, without a table.
uint32_t reference_crc32(std::span<const uint8_t> data) {
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// CRC-32 and Adler-32 values are the published check values (the same as
// Python's zlib gives); the Internet checksums were worked out by hand-folded
// sums in Python and are also compared with the reference above.
TEST(Checksum, CheckValues) {
    struct Case {
        std::string_view text;
        uint32_t crc32, adler32;
        uint16_t tcp;
    };
    const Case cases[] = {
        {"", 0, 1, 0xFFFF},
        {"123456789", 0xCBF43926, 0x091E01DE, 0xF62A},
        {"abc", 0x352441C2, 38600999, 0x3B9D},
        {"Wikipedia", 0xADAAC02E, 0x11E60398, 0x075E},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339, 0x5BDC0FDA, 0x72A4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(checksum::crc32(bytes_of(c.text)), c.crc32);
        EXPECT_EQ(checksum::adler32(bytes_of(c.text)), c.adler32);
        EXPECT_EQ(checksum::tcp(bytes_of(c.text)), c.tcp);
        EXPECT_EQ(checksum::tcp(bytes_of(c.text)), reference_internet_checksum(bytes_of(c.text)));
    }
}

TEST(Checksum, InternetChecksumOfTheRfc1071Example) {
    // The worked example of RFC 1071: the words sum to 0xDDF2.
    const uint8_t data[] = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
    EXPECT_EQ(checksum::tcp(data), uint16_t(~0xDDF2));
    // An odd final byte is the high byte of a zero-padded word.
    const uint8_t odd[] = {0x12, 0x34, 0x56};
    EXPECT_EQ(checksum::tcp(odd), uint16_t(~(0x1234 + 0x5600)));
}

TEST(Checksum, LongInputsMatchTheReferences) {
    // Lengths around the Adler-32 block of 3,854 bytes and zlib's 5,552,
    // then a megabyte; all-0xFF data drives a and b as high as they go.
    const size_t lengths[] = {15, 16, 17, 3853, 3854, 3855, 3854 * 2 + 15, 5552, 5553, 1 << 20};
    for (size_t length : lengths) {
        SCOPED_TRACE(length);
        const std::vector<uint8_t> ones(length, 0xFF);
        const auto mixed = random_bytes(length, uint32_t(length));
        for (const auto& data : {ones, mixed}) {
            EXPECT_EQ(checksum::adler32(data), reference_adler32(data));
            EXPECT_EQ(checksum::crc32(data), reference_crc32(data));
            EXPECT_EQ(checksum::tcp(data), reference_internet_checksum(data));
        }
    }
}

TEST(Checksum, BothCrc32PathsAgreeAtEveryLengthAndAlignment) {
    // Folding takes 64 bytes at a time, then 16, and leaves the rest to the
    // tables; every split of a buffer into those runs, at every alignment,
    // must give the bit-by-bit value, and so must the table path alone.
    const auto data = random_bytes(4096 + 64, 11);
    for (size_t offset = 0; offset < 16; offset++) {
        for (size_t length = 0; length <= 300; length++) {
            const std::span<const uint8_t> piece(data.data() + offset, length);
            const uint32_t expected = reference_crc32(piece);
            ASSERT_EQ(checksum::crc32(piece), expected) << "offset " << offset << ", length " << length;
            ASSERT_EQ(checksum::detail::crc32_sliced(piece), expected) << "offset " << offset << ", length " << length;
        }
    }
    const std::span<const uint8_t> long_piece(data.data() + 3, 4096 + 17);
    EXPECT_EQ(checksum::crc32(long_piece), reference_crc32(long_piece));
}

TEST(Checksum, InternetChecksumKeepsCarriesPast128KiB) {
    // 0xFFFF words sum past 2^32 here; every carry must still come back in.
    const std::vector<uint8_t> ones(300'000, 0xFF);
    EXPECT_EQ(checksum::tcp(ones), 0);
    auto data = random_bytes(3'000'001, 7);
    for (size_t i = 0; i < data.size(); i += 3) data[i] = 0xFF;
    EXPECT_EQ(checksum::tcp(data), reference_internet_checksum(data));
}

}  // namespace
}  // namespace qor
