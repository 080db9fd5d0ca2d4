// The zstd encoder's section writers: when literals go raw, RLE or
// Huffman-coded, how the sequence count is written, and which table mode
// each sequence field takes.
#include <gtest/gtest.h>

#include <memory>

#include "runtime/compress/zstd_workspace.h"
#include "tests/unit/compress/zstd_test_util.h"

namespace qor::test {
namespace {

// A workspace with room for n sequences and their literals.
struct Store {
    std::unique_ptr<zstd::Workspace> w = std::make_unique<zstd::Workspace>();
    Bytes literals;
    std::vector<uint32_t> ll, ml, of;
    Bytes llc, mlc, ofc;
    explicit Store(size_t n) : ll(n), ml(n), of(n), llc(n), mlc(n), ofc(n) {}
    zstd::SeqStore seq(uint32_t count) {
        return zstd::SeqStore{literals.data(), uint32_t(literals.size()), ll.data(), ml.data(), of.data(),
                              count, llc.data(), mlc.data(), ofc.data()};
    }
};

TEST(ZstdEntropy, LiteralsRawRleOrHuffman) {
    struct Case {
        Bytes literals;
        Bytes prefix;  // expected first bytes of the section
        size_t size;   // expected section size, 0 when only smaller than the input
    } cases[] = {
        {Bytes(63, 'e'), {0xF4, 0x03, 'e'}, 65},  // below 64: raw
        {Bytes(64, 'e'), {0x05, 0x04, 'e'}, 3},   // 64 equal: RLE
        {Bytes(20, 'e'), {20 << 3, 'e'}, 21},     // 1-byte raw header
        {make_random(5000, 1), {0x8C, 0x38, 0x01}, 5003},  // 3-byte raw header
    };
    for (const Case& c : cases) {
        Store s(1);
        s.literals = c.literals;
        Bytes out(c.literals.size() + 64);
        const zstd::SeqStore seq = s.seq(0);
        const int n = zstd::write_literals(*s.w, seq, out.data(), int(out.size()));
        ASSERT_EQ(size_t(n), c.size);
        EXPECT_EQ(hex(Bytes(out.begin(), out.begin() + long(c.prefix.size()))), hex(c.prefix));
    }
    // Skewed text is Huffman-coded: 4 streams from 256 literals, 1 below.
    for (size_t n : {255, 256, 2000}) {
        Store s(1);
        s.literals = make_text(n, 3);
        Bytes out(n + 64);
        const zstd::SeqStore seq = s.seq(0);
        const int size = zstd::write_literals(*s.w, seq, out.data(), int(out.size()));
        EXPECT_LT(size_t(size), n * 3 / 4);
        EXPECT_EQ(out[0] & 3, 2);                        // compressed literals
        EXPECT_EQ(((out[0] >> 2) & 3) == 0, n < 256);  // one stream, or four
    }
}

TEST(ZstdEntropy, SequenceCountAndTableModes) {
    struct Case {
        uint32_t count;
        Bytes head;
    } cases[] = {{0, {0x00}}, {127, {0x7F}}, {128, {0x80, 0x80}}, {32512, {0xFF, 0x00, 0x00}}};
    for (const Case& c : cases) {
        Store s(c.count + 1);
        for (uint32_t i = 0; i < c.count; ++i) {
            s.ll[i] = i % 7;
            s.ml[i] = 4 + i % 11;
            s.of[i] = 4 + i % 300;
        }
        Bytes out(size_t(c.count) * 8 + 64);
        zstd::SeqStore seq = s.seq(c.count);
        const int n = zstd::write_sequences(*s.w, seq, out.data(), int(out.size()));
        ASSERT_GT(n, 0);
        EXPECT_EQ(hex(Bytes(out.begin(), out.begin() + long(c.head.size()))), hex(c.head));
        if (c.count == 0) {
            EXPECT_EQ(n, 1);
        } else if (c.count >= 128) {
            // Many varied codes: all three fields carry their own tables.
            EXPECT_EQ(out[c.head.size()], 2 << 6 | 2 << 4 | 2 << 2);
        }
    }
    // Few sequences keep the predefined tables; equal codes over more than
    // two sequences use RLE.
    Store s(40);
    for (uint32_t i = 0; i < 40; ++i) {
        s.ll[i] = i % 5;
        s.ml[i] = 4;
        s.of[i] = 4 + i;
    }
    Bytes out(1024);
    zstd::SeqStore seq = s.seq(40);
    ASSERT_GT(zstd::write_sequences(*s.w, seq, out.data(), int(out.size())), 0);
    EXPECT_EQ(out[1], 0 << 6 | 2 << 4 | 1 << 2);
}

}  // namespace
}  // namespace qor::test
