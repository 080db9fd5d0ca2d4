// The zstd decoder on hand-made frames: measuring and writing modes,
// skippable and concatenated frames, checksums, and malformed headers,
// blocks and sequences.
#include <gtest/gtest.h>

#include "runtime/compress/xxhash64.h"
#include "tests/unit/compress/zstd_test_util.h"

namespace qor::test {
namespace {

// A compressed block whose literals are "abcd" (raw) followed by one
// sequence with RLE tables: literal length 4, match length 4, and the
// offset value (code 2 or 3 with its extra bits in the one stream byte).
Bytes one_sequence_block(uint8_t of_code, uint8_t stream) {
    return Bytes{0x20, 'a', 'b', 'c', 'd', 0x01, 0x54, 0x04, of_code, 0x01, stream};
}

// A frame with a 1 KiB window and no content size, so that compressed
// blocks larger than their output are allowed.
Bytes frame_with_block(const Bytes& block) {
    return cat({kZstdMagic, {0x00, 0x00}, block_header(true, 2, uint32_t(block.size())), block});
}

Result decode_status(const Bytes& in) {
    Result r;
    (void)zstd_decode(in, &r);
    return r;
}

TEST(ZstdDecode, Xxh64OfEmptyInput) {
    EXPECT_EQ(compress::xxh64(nullptr, 0), 0xEF46DB3751D8E999ull);
}

TEST(ZstdDecode, MeasuresThenWrites) {
    const Bytes input = make_text(50000, 3);
    const Bytes frame = zstd_encode(input, 3);
    int32_t size = 0;
    EXPECT_EQ(zstd::decompress(nullptr, &size, frame.data(), int32_t(frame.size())), Result::OutputTooSmall);
    EXPECT_EQ(size, 50000);
    // Too small a buffer: the needed size comes back, nothing past the capacity changes.
    Bytes out(60000, 0xEE);
    size = 49999;
    EXPECT_EQ(zstd::decompress(out.data(), &size, frame.data(), int32_t(frame.size())), Result::OutputTooSmall);
    EXPECT_EQ(size, 50000);
    EXPECT_EQ(out[49999], 0xEE);
    size = 50000;
    EXPECT_EQ(zstd::decompress(out.data(), &size, frame.data(), int32_t(frame.size())), Result::Done);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 50000), input);
    // An empty frame measures as done.
    const Bytes empty = zstd_encode({}, 3);
    size = 0;
    EXPECT_EQ(zstd::decompress(nullptr, &size, empty.data(), int32_t(empty.size())), Result::Done);
    EXPECT_EQ(size, 0);
}

TEST(ZstdDecode, SkippableAndConcatenatedFrames) {
    const Bytes skippable = cat({{0x5A, 0x2A, 0x4D, 0x18}, le(3, 4), {1, 2, 3}});
    Result r;
    EXPECT_TRUE(zstd_decode(skippable, &r).empty());
    EXPECT_EQ(r, Result::Done);
    const Bytes a = make_text(1000, 1), b = make_binary(200000, 2);
    const Bytes both = cat({skippable, zstd_encode(a, 1), skippable, zstd_encode(b, 19), skippable});
    EXPECT_EQ(zstd_decode(both), cat({a, b}));
    // A skippable frame whose size runs past the input.
    EXPECT_EQ(decode_status(cat({{0x50, 0x2A, 0x4D, 0x18}, le(4, 4), {1, 2, 3}})), Result::Malformed);
}

TEST(ZstdDecode, OffsetMayReachTheFrameStartButNotBefore) {
    // Offset value 7 (code 2, extra 3): distance 4, exactly the bytes produced.
    EXPECT_EQ(zstd_decode(frame_with_block(one_sequence_block(2, 0x07))), Bytes({'a', 'b', 'c', 'd', 'a', 'b', 'c', 'd'}));
    // Offset value 8 (code 3, extra 0): distance 5.
    EXPECT_EQ(decode_status(frame_with_block(one_sequence_block(3, 0x08))), Result::Malformed);
}

TEST(ZstdDecode, ContentChecksumIsVerified) {
    const Bytes data = {'h', 'e', 'l', 'l', 'o'};
    const uint32_t sum = uint32_t(compress::xxh64(data.data(), data.size()));
    const Bytes good = cat({small_frame_header(5, 0x04), block_header(true, 0, 5), data, le(sum, 4)});
    EXPECT_EQ(zstd_decode(good), data);
    const Bytes bad = cat({small_frame_header(5, 0x04), block_header(true, 0, 5), data, le(sum ^ 1, 4)});
    EXPECT_EQ(decode_status(bad), Result::Malformed);
    // A missing checksum is malformed too.
    EXPECT_EQ(decode_status(cat({small_frame_header(5, 0x04), block_header(true, 0, 5), data})), Result::Malformed);
}

TEST(ZstdDecode, MalformedInputIsRefused) {
    const Bytes raw5 = cat({block_header(true, 0, 5), {1, 2, 3, 4, 5}});
    const Bytes cases[] = {
        {},                                                             // no frame at all
        {0x28, 0xB5, 0x2F},                                             // cut magic
        cat({{0x28, 0xB5, 0x2F, 0xFE, 0x20, 5}, raw5}),                 // wrong magic
        cat({{0x28, 0xB5, 0x2F, 0xFD, 0x21, 0x07, 5}, raw5}),           // dictionary id
        cat({{0x28, 0xB5, 0x2F, 0xFD, 0x28, 5}, raw5}),                 // reserved bit
        cat({{0x28, 0xB5, 0x2F, 0xFD, 0x00, 22 << 3}, raw5}),           // window log 32
        cat({small_frame_header(5), block_header(true, 3, 5), {1, 2, 3, 4, 5}}),  // block type 3
        cat({small_frame_header(6), raw5}),                             // size disagrees
        cat({small_frame_header(5), block_header(true, 0, 6), {1, 2, 3, 4, 5}}),  // block cut short
        cat({small_frame_header(5), block_header(false, 0, 5), {1, 2, 3, 4, 5}}), // no last block
        // Treeless literals and repeated sequence tables with nothing to repeat.
        frame_with_block({0x23, 0x00, 0x00, 0x00}),
        frame_with_block({0x20, 'a', 'b', 'c', 'd', 0x01, 0xFC, 0x07}),
        // A declared 100 MB behind one small raw block.
        cat({kZstdMagic, {0xA0}, le(100000000, 4), raw5}),
    };
    for (const Bytes& c : cases) {
        int32_t size = 0;
        Result measured = zstd::decompress(nullptr, &size, c.data(), int32_t(c.size()));
        Result full = decode_status(c);
        EXPECT_EQ(full, Result::Malformed) << hex(c) << " measured " << int(measured);
    }
}

TEST(ZstdDecode, ImplausibleDeclaredSizesAreCheckedByDecoding) {
    // 128 empty compressed blocks may give up to 16 MiB, which the frame
    // claims; the size is only believed after decoding it.
    Bytes frame = cat({kZstdMagic, {0x80, 0x38}, le(16777216, 4)});
    for (int i = 0; i < 128; ++i) frame = cat({frame, block_header(i == 127, 2, 2), {0x00, 0x00}});
    int32_t size = 0;
    EXPECT_EQ(zstd::decompress(nullptr, &size, frame.data(), int32_t(frame.size())), Result::Malformed);
}

}  // namespace
}  // namespace qor::test
