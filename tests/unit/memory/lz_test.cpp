// The LZ decoder against streams written by a small encoder here: empty,
// short and long data, the corner items, and corrupt streams (refused, and
// never read out of bounds: every input sits in a buffer of exactly its size).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/compress/lz.h"

namespace qor {
namespace {

using Bytes = std::vector<uint8_t>;

void put_u32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Writes fields least significant bit first.
struct BitWriter {
    Bytes& out;
    uint64_t bits = 0;
    int count = 0;

    void put(uint32_t value, int n) {
        bits |= uint64_t{value} << count;
        count += n;
        while (count >= 8) {
            out.push_back(static_cast<uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    }
    void align() {
        if (count > 0) out.push_back(static_cast<uint8_t>(bits));
        bits = 0;
        count = 0;
    }
    void literal(uint8_t byte) {
        put(0, 1);
        put(byte, 8);
    }
    // A copy of `length` (3-566) bytes from `distance` (1-262,144) back.
    void match(uint32_t length, uint32_t distance) {
        put(1, 1);
        uint32_t n = length - 3;
        static const int widths[6] = {2, 2, 2, 3, 5, 9};
        static const uint32_t bases[6] = {0, 4, 8, 12, 20, 52};
        int zeros = n < 4 ? 0 : n < 8 ? 1 : n < 12 ? 2 : n < 20 ? 3 : n < 52 ? 4 : 5;
        put(0, zeros);
        if (zeros < 5) put(1, 1);
        put(n - bases[zeros], widths[zeros]);
        uint32_t d = distance - 1;
        if (d < 8) {
            put(0, 4);
            put(d, 3);
        } else {
            int k = 31 - __builtin_clz(d);
            put(static_cast<uint32_t>(k - 2), 4);
            put(d - (1u << k), k);
        }
    }
};

// Header and chunk framing around chunk bodies written by `body`.
struct StreamWriter {
    Bytes out = Bytes(8, 0);
    uint32_t total = 0;

    template <class Body>
    void chunk(uint32_t length, Body&& body) {
        put_u32(out, length);
        BitWriter bits{out};
        body(bits);
        bits.align();
        total += length;
    }
    Bytes finish() {
        Bytes result = out;
        uint32_t s = static_cast<uint32_t>(result.size() - 8);
        std::memcpy(result.data(), &s, 4);
        std::memcpy(result.data() + 4, &total, 4);
        return result;
    }
};

// A greedy encoder: per chunk, a hash of three bytes finds the latest
// earlier position; matches are extended as far as the format allows.
Bytes encode(const Bytes& data, uint32_t chunk_size = lz::max_chunk) {
    StreamWriter stream;
    for (size_t start = 0; start < data.size(); start += chunk_size) {
        auto length = static_cast<uint32_t>(std::min<size_t>(chunk_size, data.size() - start));
        const uint8_t* in = data.data() + start;
        stream.chunk(length, [&](BitWriter& bits) {
            std::vector<int64_t> last(1 << 16, -1);
            uint32_t pos = 0;
            while (pos < length) {
                uint32_t best = 0, from = 0;
                if (pos + 3 <= length) {
                    uint32_t h = (in[pos] * 506832829u ^ in[pos + 1] * 2654435761u ^ in[pos + 2] * 97u) >> 16;
                    int64_t candidate = last[h];
                    last[h] = pos;
                    if (candidate >= 0 && pos - candidate <= 262144) {
                        uint32_t c = static_cast<uint32_t>(candidate);
                        while (best < 566 && pos + best < length && in[c + best] == in[pos + best]) best++;
                        from = c;
                    }
                }
                if (best >= 3) {
                    bits.match(best, pos - from);
                    pos += best;
                } else {
                    bits.literal(in[pos++]);
                }
            }
        });
    }
    return stream.finish();
}

// Decodes from a heap copy of exactly the input's size, so ASan catches any
// read past it.
std::optional<Bytes> decode(const Bytes& stream) {
    auto exact = std::make_unique<uint8_t[]>(stream.size());
    if (!stream.empty()) std::memcpy(exact.get(), stream.data(), stream.size());
    return lz::decompress({exact.get(), stream.size()});
}

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Lz, EmptyAndShortRoundTrips) {
    const std::string texts[] = {"", "a", "ab", "abc", "aaaa", "abcabcabcabcabcabcabcab",
                                 "the quick brown fox jumps over the lazy dog; the quick brown fox!"};
    for (const std::string& text : texts) {
        Bytes stream = encode(bytes_of(text));
        auto decoded = decode(stream);
        ASSERT_TRUE(decoded.has_value()) << text;
        EXPECT_EQ(*decoded, bytes_of(text));
    }
    // The empty stream: S = 0 and a valid, empty result.
    auto empty = decode(Bytes(8, 0));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
}

TEST(Lz, LongDataOverManyChunksRoundTrips) {
    std::mt19937 random(12345);
    Bytes data;
    // Runs, repeats at far distances and incompressible stretches.
    while (data.size() < 3'200'000) {
        switch (random() % 4) {
            case 0: data.insert(data.end(), random() % 2000, static_cast<uint8_t>(random())); break;
            case 1:
                if (data.size() > 300000) {
                    size_t from = data.size() - 1 - random() % 262000;
                    size_t n = random() % 3000;
                    for (size_t i = 0; i < n; i++) data.push_back(data[from + i]);
                }
                break;
            default:
                for (int i = random() % 3000; i > 0; i--) data.push_back(static_cast<uint8_t>(random()));
        }
    }
    Bytes stream = encode(data);
    EXPECT_LT(stream.size(), data.size());
    auto decoded = decode(stream);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_TRUE(*decoded == data);
    // Many small chunks too.
    Bytes part(data.begin(), data.begin() + 200000);
    auto small = decode(encode(part, 777));
    ASSERT_TRUE(small.has_value());
    EXPECT_TRUE(*small == part);
}

TEST(Lz, CornerItems) {
    // One literal in a chunk of one byte.
    StreamWriter one;
    one.chunk(1, [](BitWriter& b) { b.literal('Q'); });
    EXPECT_EQ(decode(one.finish()), bytes_of("Q"));

    // A match one byte back repeats the byte: the copy overlaps itself.
    StreamWriter run;
    run.chunk(1 + 566, [](BitWriter& b) {
        b.literal('z');
        b.match(566, 1);
    });
    EXPECT_EQ(decode(run.finish()), Bytes(567, 'z'));

    // The farthest distance: e = 15 reads 17 more bits and adds 131,072.
    StreamWriter far;
    const uint32_t lead = 262144;
    far.chunk(lead + 5, [&](BitWriter& b) {
        for (uint32_t i = 0; i < lead; i++) b.literal(static_cast<uint8_t>(i * 7 + (i >> 9)));
        b.match(5, lead);
    });
    auto decoded = decode(far.finish());
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->size(), lead + 5);
    for (uint32_t i = 0; i < 5; i++) EXPECT_EQ((*decoded)[lead + i], (*decoded)[i]);

    // Every length class, each at a distance of the 3-bit kind.
    for (uint32_t length : {3u, 6u, 7u, 10u, 11u, 14u, 15u, 22u, 23u, 54u, 55u, 566u}) {
        StreamWriter s;
        s.chunk(8 + length, [&](BitWriter& b) {
            for (uint8_t c : bytes_of("01234567")) b.literal(c);
            b.match(length, 8);
        });
        auto d = decode(s.finish());
        ASSERT_TRUE(d.has_value()) << length;
        for (uint32_t i = 0; i < 8 + length; i++) ASSERT_EQ((*d)[i], '0' + i % 8) << length;
    }
}

// A valid two-chunk stream to corrupt; the second chunk copies from its own start.
Bytes two_chunks() {
    StreamWriter s;
    s.chunk(4, [](BitWriter& b) {
        for (uint8_t c : bytes_of("abcd")) b.literal(c);
    });
    s.chunk(9, [](BitWriter& b) {
        for (uint8_t c : bytes_of("xyz")) b.literal(c);
        b.match(6, 3);
    });
    return s.finish();
}

TEST(Lz, CorruptStreamsAreRefused) {
    ASSERT_EQ(decode(two_chunks()), bytes_of("abcdxyzxyzxyz"));

    auto with = [](auto change) {
        Bytes s = two_chunks();
        change(s);
        return s;
    };
    auto set_u32 = [](Bytes& s, size_t at, uint32_t v) { std::memcpy(s.data() + at, &v, 4); };
    const std::pair<const char*, Bytes> refused[] = {
        {"shorter than a header", Bytes(7, 0)},
        {"S past the input", with([&](Bytes& s) { set_u32(s, 0, static_cast<uint32_t>(s.size() - 7)); })},
        {"S huge", with([&](Bytes& s) { set_u32(s, 0, 0xFFFFFFFF); })},
        {"S inside a length word", with([&](Bytes& s) { set_u32(s, 0, 2); })},
        {"S ends inside the bits", with([&](Bytes& s) { set_u32(s, 0, static_cast<uint32_t>(s.size() - 9)); })},
        {"U below the output", with([&](Bytes& s) { set_u32(s, 4, 12); })},
        {"chunk length 0", with([&](Bytes& s) { set_u32(s, 8, 0); })},
        {"chunk length above 1 MB", with([&](Bytes& s) {
             set_u32(s, 8, lz::max_chunk + 1);
             set_u32(s, 4, 0xFFFFFFFF);
         })},
        {"match reaching the previous chunk", [] {
             StreamWriter s;
             s.chunk(4, [](BitWriter& b) {
                 for (uint8_t c : bytes_of("abcd")) b.literal(c);
             });
             s.chunk(4, [](BitWriter& b) {
                 b.literal('x');
                 b.match(3, 2);
             });
             return s.finish();
         }()},
        {"match past the chunk end", [] {
             StreamWriter s;
             s.chunk(5, [](BitWriter& b) {
                 b.literal('x');
                 b.match(5, 1);
             });
             return s.finish();
         }()},
        {"match in an empty chunk", [] {
             StreamWriter s;
             s.chunk(3, [](BitWriter& b) { b.match(3, 1); });
             return s.finish();
         }()},
    };
    for (const auto& [why, stream] : refused) EXPECT_FALSE(decode(stream).has_value()) << why;

    // Every truncation is refused (S then runs past the input).
    Bytes whole = encode(bytes_of("truncate me, truncate me, truncate me: all of it"));
    for (size_t n = 0; n < whole.size(); n++)
        EXPECT_FALSE(decode(Bytes(whole.begin(), whole.begin() + n)).has_value()) << n;
}

TEST(Lz, RandomDamageNeverReadsOutOfBounds) {
    std::mt19937 random(99);
    Bytes original;
    for (int i = 0; i < 4000; i++) original.push_back(static_cast<uint8_t>("abcdefgh"[random() % 8]));
    Bytes stream = encode(original, 1000);
    int refused = 0;
    for (int round = 0; round < 3000; round++) {
        Bytes damaged = stream;
        for (int flips = 1 + random() % 4; flips > 0; flips--)
            damaged[8 + random() % (damaged.size() - 8)] ^= static_cast<uint8_t>(1u << (random() % 8));
        auto out = decode(damaged);
        if (!out) {
            refused++;
        } else {
            EXPECT_LE(out->size(), original.size());
        }
    }
    EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace qor
