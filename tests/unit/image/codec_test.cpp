// The codec layer on its own: the signature test, every encoder's output
// decoding back to the pixels it was given, and the size checks that keep a
// declared size from taking memory it should not.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/image/codecs.h"

namespace qor::image {
namespace {

TEST(Sniff, SignaturesTellTheFormat) {
    struct Case {
        std::vector<uint8_t> bytes;
        Format format;
    };
    const Case cases[] = {
        {{0x89, 0x50, 0x4E, 0x47, 0x0D}, Format::png},
        {{0xFF, 0xD8, 0xFF, 0xE0}, Format::jpeg},
        {{0xFF, 0xD8}, Format::unknown},
        {{0x42, 0x4D}, Format::bmp},
        {{0x47, 0x49, 0x46, 0x38, 0x37, 0x61}, Format::gif},
        {{0x47, 0x49, 0x46, 0x38, 0x39, 0x61}, Format::gif},
        {{0x47, 0x49, 0x46, 0x38, 0x38, 0x61}, Format::unknown},  // version 88a does not exist
        {{0x47, 0x49, 0x46, 0x38, 0x39}, Format::unknown},
        {{0x49, 0x49, 0x2A, 0x00}, Format::tiff},
        {{0x4D, 0x4D, 0x00, 0x2A}, Format::tiff},
        {{0x49, 0x49, 0x00, 0x2A}, Format::unknown},
        {{}, Format::unknown},
    };
    for (const Case& c : cases) EXPECT_EQ(sniff(c.bytes), c.format) << ::testing::PrintToString(c.bytes);
    Pixels px;
    EXPECT_EQ(decode(std::vector<uint8_t>{1, 2, 3}, px), Status::bad_media);
}

Pixels pattern(uint32_t w, uint32_t h, bool translucent) {
    Pixels px;
    EXPECT_EQ(allocate(px, w, h), Status::ok);
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++)
            px.row(y)[x] = make_pixel(uint8_t(x * 29 + y), uint8_t(y * 71), uint8_t(x ^ y),
                                      translucent ? uint8_t((x * 13 + y * 7) % 256) : 255);
    return px;
}

// Lossless formats give back every pixel word, translucent or not, at odd
// widths (BMP pads rows) and at a width of one.
TEST(Codecs, LosslessEncodesDecodeBackExactly) {
    for (Format f : {Format::png, Format::bmp, Format::tiff})
        for (bool translucent : {false, true})
            for (auto [w, h] : {std::pair{1u, 1u}, {5u, 3u}, {33u, 17u}, {1u, 40u}}) {
                const Pixels in = pattern(w, h, translucent);
                std::vector<uint8_t> bytes;
                ASSERT_TRUE(encode(f, in, bytes));
                EXPECT_EQ(sniff(bytes), f);
                Pixels out;
                ASSERT_EQ(decode(bytes, out), Status::ok) << int(f) << " " << w << "x" << h;
                ASSERT_EQ(out.width, w);
                ASSERT_EQ(out.height, h);
                EXPECT_EQ(std::memcmp(in.data.get(), out.data.get(), in.count() * 4), 0)
                    << int(f) << " " << w << "x" << h << " translucent " << translucent;
            }
}

// GIF keeps up to 256 colours exactly and all-or-nothing opacity; more
// colours go through the quantiser, which keeps every colour close.
TEST(Codecs, GifGoesThroughAPalette) {
    Pixels few = pattern(16, 16, false);
    for (uint64_t i = 0; i < few.count(); i++) few.data[i] &= 0xFFF0F0F0u;  // at most 16 × 16 colours
    few.data[3] &= 0x00FFFFFFu;  // fully transparent
    few.data[5] = (few.data[5] & 0x00FFFFFFu) | 0x40000000u;  // mostly transparent
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(encode(Format::gif, few, bytes));
    Pixels out;
    ASSERT_EQ(decode(bytes, out), Status::ok);
    for (uint64_t i = 0; i < few.count(); i++) {
        if (i == 3 || i == 5) EXPECT_EQ(opacity(out.data[i]), 0) << i;
        else EXPECT_EQ(out.data[i], few.data[i]) << i;
    }

    const Pixels many = pattern(64, 64, false);
    ASSERT_TRUE(encode(Format::gif, many, bytes));
    ASSERT_EQ(decode(bytes, out), Status::ok);
    int worst = 0;
    for (uint64_t i = 0; i < many.count(); i++)
        for (int s = 0; s < 24; s += 8)
            worst = std::max(worst, std::abs(int((many.data[i] >> s) & 0xFF) - int((out.data[i] >> s) & 0xFF)));
    EXPECT_LE(worst, 48);
}

// A BMP header is easy to write by hand: sizes beyond the size word are bad
// media, sizes beyond the pixel limit no-memory, and neither takes memory.
std::vector<uint8_t> bmp_header(int32_t width, int32_t height, uint16_t bits) {
    std::vector<uint8_t> b(54, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++) b[at + i] = uint8_t(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    b[26] = 1;
    b[28] = uint8_t(bits);
    return b;
}

TEST(Codecs, DeclaredSizesAreCheckedBeforeMemoryIsTaken) {
    Pixels px;
    EXPECT_EQ(decode(bmp_header(70000, 1, 24), px), Status::bad_media);
    EXPECT_EQ(decode(bmp_header(1, -70000, 24), px), Status::bad_media);
    EXPECT_EQ(decode(bmp_header(65535, 65535, 24), px), Status::no_memory);
    EXPECT_EQ(decode(bmp_header(4, 4, 24), px), Status::bad_media);  // no pixel data follows
    EXPECT_EQ(decode(bmp_header(1, 1, 7), px), Status::bad_media);

    const uint64_t saved = byte_limit();
    set_byte_limit(1024);
    EXPECT_EQ(check_size(16, 16), Status::ok);
    EXPECT_EQ(check_size(16, 17), Status::no_memory);
    std::vector<uint8_t> bytes;
    set_byte_limit(saved);
    for (Format f : {Format::png, Format::bmp, Format::tiff, Format::gif, Format::jpeg}) {
        ASSERT_TRUE(encode(f, pattern(20, 20, false), bytes)) << int(f);
        set_byte_limit(1024);
        EXPECT_EQ(decode(bytes, px), Status::no_memory) << int(f);
        set_byte_limit(saved);
    }
    EXPECT_EQ(check_size(65535, 65535), Status::no_memory);
    EXPECT_EQ(check_size(65536, 1), Status::bad_media);
}

// Every cut of a valid file is refused or decoded, never read past.
TEST(Codecs, TruncatedFilesAreRefusedOrDecoded) {
    for (Format f : {Format::png, Format::bmp, Format::tiff, Format::gif, Format::jpeg}) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(encode(f, pattern(9, 7, f != Format::jpeg), bytes));
        for (size_t n = 0; n < bytes.size(); n += 3) {
            Pixels px;
            const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + long(n));
            const Status s = decode(cut, px);
            EXPECT_NE(s, Status::no_memory) << int(f) << " cut at " << n;
            if (s == Status::ok) {
                EXPECT_EQ(px.width, 9u);
                EXPECT_EQ(px.height, 7u);
            }
        }
    }
}

}  // namespace
}  // namespace qor::image
