// zstd round trips at every level over text, binary, random and mixed
// data, sized to reach each source-size class, plus inputs of 10 MB at the
// fast levels.
#include <gtest/gtest.h>

#include "tests/unit/compress/zstd_test_util.h"

namespace qor::test {
namespace {

TEST(ZstdRoundTrip, EveryLevelOnEverySizeClass) {
    // Classes: up to 16 KiB, up to 128 KiB, up to 256 KiB, above.
    const Bytes inputs[] = {
        make_text(3000, 11),   make_binary(12000, 12),  make_mixed(16384, 13),
        make_text(100000, 14), make_mixed(131072, 15),  make_binary(200000, 16),
        make_mixed(270000, 17), make_random(20000, 18), make_text(70, 19),
    };
    for (int level = 1; level <= 19; ++level) {
        for (const Bytes& in : inputs) {
            const Bytes frame = zstd_encode(in, level);
            ASSERT_EQ(zstd_decode(frame), in) << "level " << level << " size " << in.size();
            EXPECT_LE(frame.size(), in.size() + 3 * (in.size() / 131072 + 1) + 10);
        }
    }
}

TEST(ZstdRoundTrip, HigherLevelsCompressBetter) {
    const Bytes in = make_mixed(400000, 21);
    const size_t l1 = zstd_encode(in, 1).size(), l9 = zstd_encode(in, 9).size(), l19 = zstd_encode(in, 19).size();
    EXPECT_LT(l9, l1);
    EXPECT_LE(l19, l9);
}

TEST(ZstdRoundTrip, TenMegabytes) {
    // Level 19 on 10 MB takes seconds; the fast levels cover the size.
    const Bytes text = make_text(10 << 20, 31);
    const Bytes noise = make_random(10 << 20, 32);
    for (int level : {1, 3}) {
        EXPECT_EQ(zstd_decode(zstd_encode(text, level)), text) << level;
        const Bytes frame = zstd_encode(noise, level);
        EXPECT_LE(frame.size(), noise.size() + 3 * 80 + 10);
        EXPECT_EQ(zstd_decode(frame), noise) << level;
    }
}

TEST(ZstdRoundTrip, LongMatchesAndRunsAcrossBlocks) {
    // A 100 KB random chunk repeated: matches reach back into earlier
    // blocks, and the optimal levels take matches longer than their target.
    const Bytes chunk = make_random(100000, 41);
    Bytes in;
    for (int i = 0; i < 5; ++i) in.insert(in.end(), chunk.begin(), chunk.end());
    in.insert(in.end(), 70000, 'z');
    for (int level : {1, 4, 7, 13, 17, 19}) {
        const Bytes frame = zstd_encode(in, level);
        EXPECT_LT(frame.size(), 110000u) << level;
        EXPECT_EQ(zstd_decode(frame), in) << level;
    }
}

TEST(ZstdRoundTrip, ShortPeriodsRepeatExactly) {
    // Runs that repeat their first 1 to 40 bytes, of lengths around the
    // decoder's copy steps (8, 16, 32), each after a few random bytes: the
    // matches overlap themselves at every short distance. The last runs
    // end the frame, where copies must not write past the output.
    const Bytes noise = make_random(4096, 51);
    Bytes in;
    size_t taken = 0;
    for (uint32_t period = 1; period <= 40; ++period)
        for (uint32_t length : {3u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 33u, 64u, 200u}) {
            in.insert(in.end(), noise.begin() + long(taken % 4000), noise.begin() + long(taken % 4000) + 5);
            const size_t start = in.size();
            for (uint32_t i = 0; i < period; ++i) in.push_back(noise[(taken + 7 * i) % noise.size()]);
            for (uint32_t i = 0; i < length; ++i) in.push_back(in[start + i]);
            taken += 13;
        }
    for (int level : {1, 3, 9, 19}) {
        const Bytes frame = zstd_encode(in, level);
        EXPECT_LT(frame.size(), in.size() / 2) << level;
        EXPECT_EQ(zstd_decode(frame), in) << level;
    }
}

}  // namespace
}  // namespace qor::test
