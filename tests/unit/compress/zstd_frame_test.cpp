// The zstd encoder's frames: header forms by input size and window,
// raw and RLE blocks, the output bound and the level defaults.
#include <gtest/gtest.h>

#include "tests/unit/compress/zstd_test_util.h"

namespace qor::test {
namespace {

TEST(ZstdFrame, SmallInputsGiveExactFrames) {
    struct Case {
        Bytes input;
        Bytes frame;
    } cases[] = {
        // Empty: one last raw block of length 0.
        {{}, {0x28, 0xB5, 0x2F, 0xFD, 0x20, 0x00, 0x01, 0x00, 0x00}},
        // One byte: a block of at most 4 bytes is never parsed; equal bytes make RLE.
        {{'x'}, {0x28, 0xB5, 0x2F, 0xFD, 0x20, 0x01, 0x0B, 0x00, 0x00, 'x'}},
        {{'a', 'a', 'a', 'a'}, {0x28, 0xB5, 0x2F, 0xFD, 0x20, 0x04, 0x23, 0x00, 0x00, 'a'}},
        {{'a', 'b', 'c', 'd'}, {0x28, 0xB5, 0x2F, 0xFD, 0x20, 0x04, 0x21, 0x00, 0x00, 'a', 'b', 'c', 'd'}},
    };
    for (const Case& c : cases)
        for (int level : {1, 3, 9, 19}) EXPECT_EQ(hex(zstd_encode(c.input, level)), hex(c.frame)) << level;
}

TEST(ZstdFrame, RunOfOneByteIsAnRleBlock) {
    // 1,000 bytes: 2-byte content size 1000 - 256; RLE block header 1 | 1000 << 3 | 2.
    const Bytes run(1000, 'q');
    const Bytes expect = cat({kZstdMagic, {0x60}, le(1000 - 256, 2), le(1 | 1000 << 3 | 2, 3), {'q'}});
    for (int level = 1; level <= 19; ++level) EXPECT_EQ(hex(zstd_encode(run, level)), hex(expect)) << level;
    // Several blocks of one byte: each block is 4 bytes.
    const Bytes big(300000, 0);
    const Bytes frame = zstd_encode(big, 1);
    EXPECT_EQ(frame.size(), 4u + 1 + 4 + 3 * 4);
    EXPECT_EQ(zstd_decode(frame), big);
}

TEST(ZstdFrame, IncompressibleInputIsStoredRaw) {
    const Bytes noise = make_random(5000, 7);
    for (int level : {1, 5, 12, 19}) {
        const Bytes expect = cat({kZstdMagic, {0x60}, le(5000 - 256, 2), le(1 | 5000 << 3, 3), noise});
        EXPECT_EQ(zstd_encode(noise, level), expect) << level;
    }
}

TEST(ZstdFrame, ContentSizeTakesEveryForm) {
    struct Case {
        size_t length;
        Bytes header;  // after the magic
    } cases[] = {
        {255, {0x20, 0xFF}},
        {256, {0x60, 0x00, 0x00}},
        {65791, {0x60, 0xFF, 0xFF}},
        {65792, cat({{0xA0}, le(65792, 4)})},
        // Longer than the level-1 window of 2^19: window descriptor, 4-byte size.
        {600000, cat({{0x80, 0x48}, le(600000, 4)})},
    };
    for (const Case& c : cases) {
        const Bytes input = make_text(c.length, c.length);
        const Bytes frame = zstd_encode(input, 1);
        ASSERT_GE(frame.size(), 4 + c.header.size());
        EXPECT_EQ(hex(Bytes(frame.begin() + 4, frame.begin() + 4 + long(c.header.size()))), hex(c.header))
            << c.length;
        EXPECT_EQ(zstd_decode(frame), input) << c.length;
    }
}

TEST(ZstdFrame, MissingLevelMeansThree) {
    const Bytes input = make_mixed(100000, 5);
    const Bytes three = zstd_encode(input, 3);
    EXPECT_EQ(zstd_encode(input, -1), three);
    EXPECT_EQ(zstd_encode(input, 0), three);
    EXPECT_NE(zstd_encode(input, 1), three);
}

TEST(ZstdFrame, TooSmallOutputGetsTheBoundAndIsUntouched) {
    const Bytes input = make_text(300000, 9);
    // Bound: 3 bytes per 128 KiB block, the input, and 10.
    const int32_t bound = 3 * 3 + 300000 + 10;
    int32_t size = 0;
    EXPECT_EQ(zstd::compress(nullptr, &size, input.data(), int32_t(input.size()), 3), Result::OutputTooSmall);
    EXPECT_EQ(size, bound);
    Bytes out(bound, 0xEE);
    size = bound - 1;
    EXPECT_EQ(zstd::compress(out.data(), &size, input.data(), int32_t(input.size()), 3), Result::OutputTooSmall);
    EXPECT_EQ(size, bound);
    EXPECT_EQ(out, Bytes(bound, 0xEE));
    size = bound;
    EXPECT_EQ(zstd::compress(out.data(), &size, input.data(), int32_t(input.size()), 3), Result::Done);
    EXPECT_LT(size, 100000);
}

}  // namespace
}  // namespace qor::test
