// The raw deflate encoder and decoder: exact output bytes, edge inputs at
// every level, output-size negotiation and round trips.
#include <gtest/gtest.h>

#include <string>

#include "runtime/compress/deflate.h"
#include "tests/unit/compress/deflate_test_util.h"

namespace qor::test {
namespace {

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(DeflateEncode, ExactBytes) {
    EXPECT_EQ(hex(encode(deflate::compress, {}, -1)), "0300");
    EXPECT_EQ(hex(encode(deflate::compress, bytes_of("aaaaaaaaaa"), -1)), "4B840300");
    EXPECT_EQ(hex(encode(zlib::compress, {}, -1)), "7801030000000001");
}

TEST(DeflateEncode, ContainerHeadersFollowTheLevel) {
    const Bytes data = bytes_of("hello hello hello");
    const std::pair<int, int> zlib_flags[] = {{-1, 0x01}, {1, 0x01}, {2, 0x5E}, {5, 0x5E}, {6, 0x9C}, {7, 0xDA}, {9, 0xDA}};
    for (auto [level, flg] : zlib_flags) {
        const Bytes z = encode(zlib::compress, data, level);
        ASSERT_GE(z.size(), 6u);
        EXPECT_EQ(z[0], 0x78);
        EXPECT_EQ(z[1], flg) << "level " << level;
    }
    const std::pair<int, int> gzip_xfl[] = {{-1, 4}, {1, 4}, {2, 0}, {6, 0}, {8, 0}, {9, 2}};
    for (auto [level, xfl] : gzip_xfl) {
        const Bytes g = encode(gzip::compress, data, level);
        ASSERT_GE(g.size(), 18u);
        const Bytes head(g.begin(), g.begin() + 10);
        EXPECT_EQ(hex(head), "1F8B0800000000000" + std::to_string(xfl) + "04") << "level " << level;
    }
}

// Inputs at the edges of the match finder, at every level and in every
// container, must come back unchanged.
TEST(DeflateEncode, EdgeInputsRoundTripAtEveryLevel) {
    Bytes distinct(256);
    for (int i = 0; i < 256; ++i) distinct[i] = static_cast<std::uint8_t>(i);
    Bytes distinct_twice = distinct;
    distinct_twice.insert(distinct_twice.end(), distinct.begin(), distinct.end());
    const Bytes inputs[] = {{}, {0x41}, {0, 0}, {1, 2, 3}, Bytes(3, 'x'), Bytes(1000, 'r'), Bytes(70000, 0),
                            distinct, distinct_twice, bytes_of("abcabcabcabd")};
    struct Codec {
        Encoder enc;
        Decoder dec;
    };
    const Codec codecs[] = {{deflate::compress, inflate::decompress}, {zlib::compress, zlib::decompress},
                            {gzip::compress, gzip::decompress}};
    for (const Bytes& in : inputs)
        for (int level = -1; level <= 9; ++level)
            for (const Codec& c : codecs) {
                if (level == 0) continue;
                const Bytes packed = encode(c.enc, in, level);
                Result r;
                EXPECT_EQ(decode(c.dec, packed, &r), in) << "size " << in.size() << " level " << level;
                EXPECT_EQ(r, Result::Done);
            }
}

TEST(DeflateEncode, RunsBecomeDistanceOneMatches) {
    // A literal, then matches of distance 1: a few bytes for a long run.
    const Bytes packed = encode(deflate::compress, Bytes(100000, 'z'), 6);
    EXPECT_LT(packed.size(), 400u);
    // Incompressible data is stored: five bytes of overhead per block of
    // 16,384 symbols.
    const Bytes noise = make_random(70000);
    const Bytes stored = encode(deflate::compress, noise, 9);
    EXPECT_EQ(stored.size(), noise.size() + 5 * 5);
}

TEST(DeflateEncode, TooSmallOutputGivesTheExactSizeAndNothingBeyond) {
    const Bytes in = make_text(50000);
    const std::pair<Encoder, std::int32_t> encoders[] = {{deflate::compress, 0}, {zlib::compress, 6}, {gzip::compress, 18}};
    for (auto [enc, minimum] : encoders) {
        const Bytes want = encode(enc, in, 6);
        for (std::int32_t cap : {minimum, minimum + 1, 100, static_cast<std::int32_t>(want.size()) - 1}) {
            Bytes out(static_cast<std::size_t>(cap) + 64, 0xA5);
            std::int32_t size = cap;
            const Result r = enc(out.data(), &size, in.data(), static_cast<std::int32_t>(in.size()), 6);
            EXPECT_EQ(r, Result::OutputTooSmall) << cap;
            EXPECT_EQ(size, static_cast<std::int32_t>(want.size())) << cap;
            for (std::size_t i = static_cast<std::size_t>(cap); i < out.size(); ++i) ASSERT_EQ(out[i], 0xA5) << cap;
        }
        // Exactly the size needed succeeds with the same bytes.
        Bytes out(want.size());
        std::int32_t size = static_cast<std::int32_t>(want.size());
        ASSERT_EQ(enc(out.data(), &size, in.data(), static_cast<std::int32_t>(in.size()), 6), Result::Done);
        EXPECT_EQ(out, want);
    }
    // Below the container minimum the encoders answer 2 with length + overhead.
    std::uint8_t small[5];
    std::int32_t size = 5;
    EXPECT_EQ(zlib::compress(small, &size, in.data(), 100, 6), Result::Malformed);
    EXPECT_EQ(size, 106);
    size = 17;
    std::uint8_t small2[17];
    EXPECT_EQ(gzip::compress(small2, &size, in.data(), 100, 6), Result::Malformed);
    EXPECT_EQ(size, 118);
}

TEST(DeflateEncode, RoundTripsOfTextBinaryAndNoiseAtAllLevels) {
    const Bytes inputs[] = {make_text(300000), make_binary(300000), make_random(100000), make_mixed(400000)};
    for (const Bytes& in : inputs)
        for (int level = 1; level <= 9; ++level) {
            const Bytes packed = encode(deflate::compress, in, level);
            Result r;
            ASSERT_EQ(decode(inflate::decompress, packed, &r), in) << "level " << level;
            ASSERT_EQ(r, Result::Done);
        }
}

TEST(DeflateEncode, TenMegabytesRoundTrip) {
    const Bytes in = make_mixed(10 << 20);
    for (int level : {1, 6}) {
        const Bytes packed = encode(gzip::compress, in, level);
        EXPECT_LT(packed.size(), in.size());
        Result r;
        EXPECT_EQ(decode(gzip::decompress, packed, &r), in);
        EXPECT_EQ(r, Result::Done);
    }
}

TEST(DeflateEncode, HigherLevelsDoNotCompressWorse) {
    const Bytes in = make_text(200000);
    const auto l1 = encode(deflate::compress, in, 1).size();
    const auto l6 = encode(deflate::compress, in, 6).size();
    const auto l9 = encode(deflate::compress, in, 9).size();
    EXPECT_LE(l6, l1);
    EXPECT_LE(l9, l6);
}

TEST(DeflateEncode, MisuseIsRefusedWithoutTouchingMemory) {
    std::int32_t size = 10;
    std::uint8_t out[10];
    EXPECT_EQ(deflate::compress(out, &size, nullptr, 5, 6), Result::Malformed);
    size = 10;
    EXPECT_EQ(deflate::compress(out, &size, out, -1, 6), Result::Malformed);
    // A null output with a non-zero capacity only measures.
    size = 1000;
    EXPECT_EQ(deflate::compress(nullptr, &size, reinterpret_cast<const std::uint8_t*>("abc"), 3, 6),
              Result::OutputTooSmall);
    EXPECT_EQ(size, 5);
}

}  // namespace
}  // namespace qor::test
