// MurmurHash3 against published vectors, and the per-code-point string hash.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/hash/murmur3.h"
#include "runtime/unicode/case_map.h"

namespace qor {
namespace {

TEST(Murmur3, PublishedVectors) {
    struct Case {
        std::string bytes;
        uint32_t seed, hash;
    } cases[] = {
        {"", 0, 0},
        {"", 1, 0x514E28B7},
        {"", 0xFFFFFFFF, 0x81F16F39},
        {std::string("\0\0\0\0", 4), 0, 0x2362F9DE},
        {"\xFF\xFF\xFF\xFF", 0, 0x76293B50},
        {"\x21\x43\x65\x87", 0, 0xF55B516B},
        {"\x21\x43\x65\x87", 0x5082EDEE, 0x2362F9DE},
        {"\x21\x43\x65", 0, 0x7E4A8634},
        {"\x21\x43", 0, 0xA0F7B07A},
        {"\x21", 0, 0x72661CF4},
        {std::string("\0\0\0", 3), 0, 0x85F0B427},
        {std::string("\0\0", 2), 0, 0x30F4C306},
        {std::string("\0", 1), 0, 0x514E28B7},
        {"aaaa", 0x9747B28C, 0x5A97808A},
        {"aaa", 0x9747B28C, 0x283E0130},
        {"aa", 0x9747B28C, 0x5D211726},
        {"a", 0x9747B28C, 0x7FA09EA6},
        {"abcd", 0x9747B28C, 0xF0478627},
        {"abc", 0x9747B28C, 0xC84A62DD},
        {"ab", 0x9747B28C, 0x74875592},
        {"Hello, world!", 0x9747B28C, 0x24884CBA},
        {"The quick brown fox jumps over the lazy dog", 0x9747B28C, 0x2FA826CD},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hash::murmur3_seeded(c.bytes.data(), c.bytes.size(), c.seed), c.hash) << c.bytes;
    }
}

TEST(Murmur3, RuntimeSeedAndEmptyInput) {
    EXPECT_EQ(hash::seed, 0x0056B60Cu);
    EXPECT_EQ(hash::murmur3("", 0), hash::mix32(hash::seed));
    EXPECT_EQ(hash::murmur3("abc", 3), hash::murmur3_seeded("abc", 3, 0x0056B60C));
    EXPECT_EQ(hash::mix32(0), 0u);
    EXPECT_NE(hash::mix32(1), hash::mix32(2));
}

TEST(StringHash, IsTheHashOfTheUtf32FormWhateverTheUnitWidth) {
    const uint32_t text[] = {'a', 0xE9, 'Z'};
    std::vector<uint8_t> utf32;
    for (uint32_t cp : text) {
        for (int k = 0; k < 4; k++) utf32.push_back(static_cast<uint8_t>(cp >> (8 * k)));
    }
    uint32_t want = hash::murmur3(utf32.data(), utf32.size());
    const uint8_t latin1[] = {'a', 0xE9, 'Z'};
    const uint16_t ucs2[] = {'a', 0xE9, 'Z'};
    EXPECT_EQ(hash::string_units(latin1, 3, 1, true), want);
    EXPECT_EQ(hash::string_units(ucs2, 3, 2, true), want);
    EXPECT_EQ(hash::string_units(text, 3, 4, true), want);
    EXPECT_EQ(hash::string_units(nullptr, 0, 1, true), hash::murmur3("", 0));
}

TEST(StringHash, CaseInsensitiveHashIsTheHashOfTheUpperCaseForm) {
    const uint32_t lower[] = {'a', 'b', 'c', 0x3B1, 0x10428};
    uint32_t upper[5];
    for (int i = 0; i < 5; i++) upper[i] = unicode::to_upper(lower[i]);
    EXPECT_EQ(hash::string_units(lower, 5, 4, false), hash::string_units(upper, 5, 4, true));
    EXPECT_EQ(hash::string_units(lower, 5, 4, false), hash::string_units(upper, 5, 4, false));
    EXPECT_NE(hash::string_units(lower, 5, 4, true), hash::string_units(upper, 5, 4, true));
    const uint8_t abc[] = {'a', 'b', 'c'}, ABC[] = {'A', 'B', 'C'};
    EXPECT_EQ(hash::string_units(abc, 3, 1, false), hash::string_units(ABC, 3, 1, false));
    EXPECT_NE(hash::string_units(abc, 3, 1, true), hash::string_units(ABC, 3, 1, true));
}

}  // namespace
}  // namespace qor
