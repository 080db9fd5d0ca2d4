// Huffman code lengths, canonical codes and bit reversal.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/compress/deflate_huffman.h"
#include "tests/unit/compress/deflate_test_util.h"

namespace qor::deflate {
namespace {

std::vector<std::uint8_t> lengths_for(const std::vector<std::uint32_t>& freqs, int max_len) {
    std::vector<std::uint8_t> lengths(freqs.size(), 0xEE);
    build_code_lengths(freqs, lengths, max_len);
    return lengths;
}

TEST(DeflateHuffman, CodeLengthsOfSmallCases) {
    struct Case {
        std::vector<std::uint32_t> freqs;
        int max_len;
        std::vector<std::uint8_t> want;
    };
    const Case cases[] = {
        {{1, 1, 2, 4}, 15, {3, 3, 2, 1}},
        {{1, 1, 2, 4}, 2, {2, 2, 2, 2}},  // the limiter flattens the tree
        {{0, 0, 0, 0, 7}, 15, {1, 0, 0, 0, 1}},  // one used symbol s > 1: symbols 0 and s
        {{0, 9, 0, 0}, 15, {1, 1, 0, 0}},
        {{0, 0, 0}, 15, {1, 1, 0}},  // nothing used: symbols 0 and 1
        {{5, 5, 5, 5}, 15, {2, 2, 2, 2}},
        // equal frequencies: the higher symbol sorts later and gets the shorter code
        {{3, 3, 3}, 15, {2, 2, 1}},
    };
    for (const Case& c : cases) EXPECT_EQ(lengths_for(c.freqs, c.max_len), c.want);
}

// Lengths must form a complete prefix code within the limit, and without a
// binding limit be optimal (the cost of a Huffman tree built the slow way).
TEST(DeflateHuffman, LengthsAreCompleteLimitedAndOptimal) {
    test::Rng rng(7);
    for (int round = 0; round < 400; ++round) {
        const int n = 2 + static_cast<int>(rng.below(287));
        const int max_len = round % 3 == 0 ? 7 + static_cast<int>(rng.below(9)) : 15;
        std::vector<std::uint32_t> freqs(n);
        for (auto& f : freqs) f = rng.below(4) == 0 ? 0 : 1 + rng.below(round % 2 ? 50 : 100000);
        if (round % 5 == 0) {  // Fibonacci-like frequencies force deep trees
            for (int i = 0; i < n; ++i) freqs[i] = i < 2 ? 1 : std::min<std::uint32_t>(freqs[i - 1] + freqs[i - 2], 1u << 20);
        }
        int used = 0;
        for (auto f : freqs) used += f > 0;
        if (used > (1 << max_len)) continue;
        const auto lengths = lengths_for(freqs, max_len);
        std::uint64_t kraft = 0, cost = 0;
        int coded = 0;
        for (int i = 0; i < n; ++i) {
            ASSERT_LE(lengths[i], max_len);
            if (freqs[i] > 0) {
                ASSERT_GT(lengths[i], 0) << "used symbol " << i << " has no code";
            }
            if (lengths[i]) {
                kraft += 1ull << (15 - lengths[i]);
                ++coded;
            }
            cost += static_cast<std::uint64_t>(freqs[i]) * lengths[i];
        }
        ASSERT_EQ(kraft, 1ull << 15) << "round " << round;
        ASSERT_GE(coded, 2);
        if (max_len == 15 && used >= 2) {
            // Reference cost: sum of all merged weights of a Huffman tree.
            std::vector<std::uint64_t> heap;
            for (auto f : freqs) {
                if (f) heap.push_back(f);
            }
            std::uint64_t want = 0;
            std::make_heap(heap.begin(), heap.end(), std::greater<>());
            while (heap.size() > 1) {
                std::pop_heap(heap.begin(), heap.end(), std::greater<>());
                auto a = heap.back();
                heap.pop_back();
                std::pop_heap(heap.begin(), heap.end(), std::greater<>());
                auto b = heap.back();
                heap.pop_back();
                want += a + b;
                heap.push_back(a + b);
                std::push_heap(heap.begin(), heap.end(), std::greater<>());
            }
            bool deep = false;  // an unlimited tree deeper than 15 makes the limit bind
            for (auto l : lengths) deep |= l == 15;
            if (!deep) {
                EXPECT_EQ(cost, want) << "round " << round;
            }
        }
    }
}

TEST(DeflateHuffman, CanonicalCodesAreBitReversed) {
    // The example of RFC 1951 section 3.2.2: lengths (3,3,3,3,3,2,4,4) give
    // codes 010 011 100 101 110 00 1110 1111.
    const std::vector<std::uint8_t> lengths = {3, 3, 3, 3, 3, 2, 4, 4, 0};
    std::vector<std::uint16_t> codes(lengths.size(), 0xFFFF);
    assign_codes(lengths, codes);
    const std::uint16_t msb_first[] = {2, 3, 4, 5, 6, 0, 14, 15, 0};
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        const unsigned l = lengths[i];
        EXPECT_EQ(codes[i], l ? reverse_bits16(msb_first[i]) >> (16 - l) : 0) << i;
    }
    EXPECT_EQ(reverse_bits16(0x0001), 0x8000u);
    EXPECT_EQ(reverse_bits16(0x1234), 0x2C48u);
}

TEST(DeflateHuffman, LengthAndDistanceCodesMatchTheBaseTables) {
    for (std::uint32_t len = 3; len <= 258; ++len) {
        const int c = length_code(len - 3);
        ASSERT_GE(len, kLengthBase[c]);
        ASSERT_LT(len - kLengthBase[c], 1u << kLengthExtra[c]) << len;
        if (len != 258) {
            ASSERT_NE(c, 28);
        }
    }
    for (std::uint32_t d = 1; d <= 32768; ++d) {
        const int c = distance_code(d - 1);
        ASSERT_GE(d, kDistanceBase[c]);
        ASSERT_LT(d - kDistanceBase[c], 1u << kDistanceExtra[c]) << d;
    }
}

}  // namespace
}  // namespace qor::deflate
