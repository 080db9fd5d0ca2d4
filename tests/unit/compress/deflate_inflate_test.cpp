// The raw deflate decoder on hand-made streams: block kinds, size
// measuring, every malformed-input answer, and streams that would expand
// past what a series can hold.
#include <gtest/gtest.h>

#include <string>

#include "runtime/compress/deflate.h"
#include "tests/unit/compress/deflate_test_util.h"

namespace qor::test {
namespace {

// One symbol with the fixed literal/length code.
void put_fixed(Bits& b, unsigned sym) {
    if (sym < 144) b.put_code(0x30 + sym, 8);
    else if (sym < 256) b.put_code(0x190 + sym - 144, 9);
    else if (sym < 280) b.put_code(sym - 256, 7);
    else b.put_code(0xC0 + sym - 280, 8);
}

struct Decoded {
    Result result;
    std::int32_t size;
    Bytes out;
};

Decoded inflate_with(const Bytes& in, std::int32_t capacity) {
    Decoded d{Result::Done, capacity, Bytes(static_cast<std::size_t>(capacity))};
    d.result = inflate::decompress(capacity ? d.out.data() : nullptr, &d.size, in.data(), static_cast<std::int32_t>(in.size()));
    return d;
}

TEST(Inflate, EmptyFixedBlockAndMeasuring) {
    Decoded d = inflate_with({0x03, 0x00}, 0);
    EXPECT_EQ(d.result, Result::Done);
    EXPECT_EQ(d.size, 0);
    // A measuring call on real content answers 1 with the exact size.
    const Bytes packed = encode(deflate::compress, make_text(5000), 6);
    d = inflate_with(packed, 0);
    EXPECT_EQ(d.result, Result::OutputTooSmall);
    EXPECT_EQ(d.size, 5000);
    // A capacity one short is refused with the same size, and nothing written beyond.
    Bytes out(5000, 0x5A);
    std::int32_t size = 4999;
    EXPECT_EQ(inflate::decompress(out.data(), &size, packed.data(), static_cast<std::int32_t>(packed.size())),
              Result::OutputTooSmall);
    EXPECT_EQ(size, 5000);
    EXPECT_EQ(out[4999], 0x5A);
}

TEST(Inflate, StoredBlocks) {
    // Non-final stored block with LEN 0 and an NLEN that does not match,
    // then a final stored block "hi" whose NLEN is also wrong.
    const Bytes in = {0x00, 0x00, 0x00, 0x34, 0x12, 0x01, 0x02, 0x00, 0x00, 0x00, 'h', 'i'};
    Decoded d = inflate_with(in, 16);
    EXPECT_EQ(d.result, Result::Done);
    d.out.resize(static_cast<std::size_t>(d.size));
    EXPECT_EQ(d.out, (Bytes{'h', 'i'}));
    // LEN beyond the input: 3.
    const Bytes overrun = {0x01, 0x05, 0x00, 0xFA, 0xFF, 'a', 'b'};
    d = inflate_with(overrun, 16);
    EXPECT_EQ(d.result, Result::StoredOverrun);
}

TEST(Inflate, LongestMatchAtDistanceOneRepeatsTheLastByte) {
    Bits b;
    b.put(1, 1);
    b.put(1, 2);  // final, fixed
    put_fixed(b, 'x');
    put_fixed(b, 285);  // length 258, no extra bits
    b.put_code(0, 5);   // distance code 0: distance 1
    put_fixed(b, 256);
    Decoded d = inflate_with(b.bytes, 300);
    ASSERT_EQ(d.result, Result::Done);
    EXPECT_EQ(d.size, 259);
    EXPECT_EQ(Bytes(d.out.begin(), d.out.begin() + 259), Bytes(259, 'x'));
}

// Long matches 9, 8 and 3 bytes back, decoded into an output of exactly
// their size: the copies far from the end go in pieces of 8 bytes, those
// near it byte by byte, and all give what a byte-by-byte copy gives.
TEST(Inflate, LongMatchesNearAndFarFromTheEndOfTheOutput) {
    Bits b;
    b.put(1, 1);
    b.put(1, 2);  // final, fixed
    Bytes expected;
    for (char c : std::string("abcdefghi")) {
        put_fixed(b, static_cast<unsigned>(c));
        expected.push_back(static_cast<std::uint8_t>(c));
    }
    // (distance code, extra bits, their value, distance)
    const unsigned matches[][4] = {{6, 2, 0, 9}, {5, 1, 1, 8}, {2, 0, 0, 3}, {6, 2, 0, 9}};
    for (const auto& m : matches) {
        put_fixed(b, 285);  // length 258
        b.put_code(m[0], 5);
        if (m[1]) b.put(m[2], m[1]);
        for (int k = 0; k < 258; ++k) expected.push_back(expected[expected.size() - m[3]]);
    }
    put_fixed(b, 256);
    const auto size = static_cast<std::int32_t>(expected.size());
    Decoded d = inflate_with(b.bytes, size);
    ASSERT_EQ(d.result, Result::Done);
    EXPECT_EQ(d.size, size);
    EXPECT_EQ(d.out, expected);
}

TEST(Inflate, StreamCutShortAfterANonFinalBlockKeepsWhatWasDecoded) {
    Bits b;
    b.put(0, 1);
    b.put(1, 2);  // not final, fixed
    put_fixed(b, 'o');
    put_fixed(b, 'k');
    put_fixed(b, 256);
    Decoded d = inflate_with(b.bytes, 8);
    EXPECT_EQ(d.result, Result::Done);
    EXPECT_EQ(d.size, 2);
    EXPECT_EQ(d.out[0], 'o');
    EXPECT_EQ(d.out[1], 'k');
}

// Each malformed stream, and the answer it must get.
TEST(Inflate, MalformedStreams) {
    struct Case {
        const char* name;
        Result want;
        void (*make)(Bits&);
    };
    const Case cases[] = {
        {"block type 3", Result::BadBlockType, [](Bits& b) { b.put(7, 3); }},
        {"distance before the start", Result::DistanceTooFar,
         [](Bits& b) {
             b.put(3, 3);
             put_fixed(b, 'a');
             put_fixed(b, 257);
             b.put_code(1, 5);  // distance 2, only 1 byte out
         }},
        {"literal/length symbol 286", Result::Malformed,
         [](Bits& b) {
             b.put(3, 3);
             put_fixed(b, 286);
         }},
        {"distance code 30", Result::Malformed,
         [](Bits& b) {
             b.put(3, 3);
             put_fixed(b, 'a');
             put_fixed(b, 257);
             b.put_code(30, 5);
         }},
        {"repeat with no previous length", Result::Malformed,
         [](Bits& b) {
             b.put(5, 3);  // final, dynamic
             b.put(0, 5);
             b.put(0, 5);
             b.put(0, 4);  // HLIT 257, HDIST 1, HCLEN 4: lengths of 16, 17, 18, 0
             b.put(1, 3);  // 16: length 1
             b.put(0, 3);
             b.put(0, 3);
             b.put(1, 3);  // 0: length 1
             b.put_code(1, 1);  // symbol 16 first
             b.put(0, 2);
         }},
        {"repeat past the end of the lengths", Result::Malformed,
         [](Bits& b) {
             b.put(5, 3);
             b.put(0, 5);
             b.put(0, 5);
             b.put(0, 4);
             b.put(0, 3);
             b.put(0, 3);
             b.put(1, 3);  // 18: length 1
             b.put(1, 3);  // 0: length 1
             b.put_code(1, 1);
             b.put(127, 7);  // 138 zeros
             b.put_code(1, 1);
             b.put(127, 7);  // 138 more: 276 > 258
         }},
        {"no literal/length code at all", Result::Malformed,
         [](Bits& b) {
             b.put(5, 3);
             b.put(0, 5);
             b.put(0, 5);
             b.put(0, 4);
             b.put(0, 3);
             b.put(0, 3);
             b.put(1, 3);  // 18: length 1
             b.put(1, 3);  // 0: length 1
             b.put_code(1, 1);
             b.put(127, 7);  // 138 zeros
             b.put_code(1, 1);
             b.put(109, 7);  // 120 zeros: all 258 lengths are 0
             for (int i = 0; i < 64; ++i) b.put(0, 8);  // more input that would decode forever
         }},
    };
    for (const Case& c : cases) {
        Bits b;
        c.make(b);
        Decoded d = inflate_with(b.bytes, 64);
        EXPECT_EQ(d.result, c.want) << c.name;
        EXPECT_LE(d.size, 1) << c.name;
    }
}

// A dynamic block where a length-258 match at distance 1 costs 2 bits: about
// 2 MB of input would expand past the 2 GiB a series can hold. The count
// must be refused, never wrapped to a small or negative size.
TEST(Inflate, ExpansionPastTheSeriesLimitIsRefused) {
    Bits b;
    b.put(5, 3);   // final, dynamic
    b.put(29, 5);  // HLIT 286
    b.put(0, 5);   // HDIST 1
    b.put(14, 4);  // HCLEN 18
    // Code-length code lengths in transmission order 16 17 18 0 8 7 9 6 10 5
    // 11 4 12 3 13 2 14 1: symbols 0, 1, 2 and 18 get length 2.
    const int cl_order_lengths[18] = {0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2};
    for (int l : cl_order_lengths) b.put(static_cast<std::uint32_t>(l), 3);
    // Canonical code-length codes: 0 -> 00, 1 -> 01, 2 -> 10, 18 -> 11.
    auto zeros = [&](int n) {
        b.put_code(3, 2);
        b.put(static_cast<std::uint32_t>(n - 11), 7);
    };
    b.put_code(2, 2);  // literal 0: length 2
    zeros(138);
    zeros(117);        // literals 1..255
    b.put_code(2, 2);  // 256: length 2
    zeros(28);         // 257..284
    b.put_code(1, 2);  // 285: length 1
    b.put_code(1, 2);  // distance code 0: length 1
    // Codes: 285 -> 0, literal 0 -> 10, 256 -> 11; distance 0 -> 0.
    b.put_code(2, 2);
    const std::size_t matches = (std::size_t{1} << 31) / 258 + 16;
    b.bytes.resize(b.bytes.size() + matches * 2 / 8 + 1, 0);  // each match is bits 0 0
    Decoded d = inflate_with(b.bytes, 0);
    EXPECT_EQ(d.result, Result::Malformed);
    EXPECT_GT(d.size, 0);
    // Cut much shorter, the same stream measures exactly.
    b.bytes.resize(1000);
    d = inflate_with(b.bytes, 0);
    EXPECT_EQ(d.result, Result::OutputTooSmall);
    EXPECT_GT(d.size, 1 + 258 * 3000);
}

// Decoding into a growing buffer answers what a buffer of the right size
// would: the same result, size and bytes, on whole, cut and damaged
// streams, raw and inside the zlib container.
TEST(Inflate, GrowingBufferDecodesAsAFixedOne) {
    using Fixed = compress::Result (*)(std::uint8_t*, std::int32_t*, const std::uint8_t*, std::int32_t);
    using Growing = compress::Result (*)(compress::GrowingBuffer&, std::int32_t*, const std::uint8_t*, std::int32_t);
    struct Codec {
        const char* name;
        Encoder encode;
        Fixed fixed;
        Growing growing;
    };
    const Codec codecs[] = {{"deflate", deflate::compress, inflate::decompress, inflate::decompress_growing},
                            {"zlib", zlib::compress, zlib::decompress, zlib::decompress_growing}};
    std::uint64_t seed = 7;
    for (const Codec& c : codecs) {
        for (const Bytes& data : {make_text(300000), make_mixed(200000), Bytes(500000, 'z'), Bytes{}}) {
            const Bytes packed = encode(c.encode, data, 6);
            for (int variant = 0; variant < 12; variant++) {
                SCOPED_TRACE(std::string(c.name) + " variant " + std::to_string(variant));
                Bytes in = packed;
                if (variant > 0 && !in.empty()) {
                    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
                    const std::size_t at = static_cast<std::size_t>(seed >> 33) % in.size();
                    if (variant % 3 == 0) in.resize(at);            // cut short
                    else in[at] ^= static_cast<std::uint8_t>(seed >> 24 | 1);  // one damaged byte
                }
                // The fixed buffer: measured first, then decoded at the size measured.
                const auto n = static_cast<std::int32_t>(in.size());
                std::int32_t fixed_size = 0;
                Result fixed = c.fixed(nullptr, &fixed_size, in.data(), n);
                Bytes fixed_out(static_cast<std::size_t>(fixed_size) + 1);
                if (fixed == Result::OutputTooSmall || fixed == Result::Done)
                    fixed = c.fixed(fixed_out.data(), &fixed_size, in.data(), n);
                compress::GrowingBuffer grown(compress::kMaxSeriesBytes);
                std::int32_t grown_size = 0;
                const Result growing = c.growing(grown, &grown_size, in.data(), n);
                ASSERT_EQ(growing, fixed);
                ASSERT_EQ(grown_size, fixed_size);
                if (fixed == Result::Done) {
                    ASSERT_TRUE(std::equal(fixed_out.begin(), fixed_out.begin() + fixed_size, grown.data()));
                }
            }
        }
    }
}

TEST(Inflate, GrowingBufferCountsPastItsLimit) {
    const Bytes data = make_text(5000);
    const Bytes packed = encode(zlib::compress, data, 6);
    compress::GrowingBuffer grown(1000);
    std::int32_t size = 0;
    EXPECT_EQ(zlib::decompress_growing(grown, &size, packed.data(), static_cast<std::int32_t>(packed.size())),
              Result::OutputTooSmall);
    EXPECT_EQ(size, 5000);
    EXPECT_LE(grown.capacity(), 1000u);
}

TEST(Inflate, MisuseIsRefused) {
    std::int32_t size = 4;
    std::uint8_t out[4];
    EXPECT_EQ(inflate::decompress(out, &size, nullptr, 3), Result::Malformed);
    size = 4;
    const std::uint8_t in[2] = {3, 0};
    EXPECT_EQ(inflate::decompress(out, &size, in, -2), Result::Malformed);
    EXPECT_EQ(inflate::decompress(out, nullptr, in, 2), Result::Malformed);
}

}  // namespace
}  // namespace qor::test
