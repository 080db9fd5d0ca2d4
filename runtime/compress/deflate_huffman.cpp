// deflate_huffman.cpp - length-limited Huffman codes and the deflate block
// writer: prices a block of buffered symbols three ways and writes the
// cheapest.
#include "runtime/compress/deflate_huffman.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace qor::deflate {

static_assert(std::endian::native == std::endian::little, "bit writer stores little-endian words");

// ---------------------------------------------------------------------------
// Code lengths

namespace {

// Depths of an optimal prefix code, computed in place over frequencies
// sorted ascending (Moffat and Katajainen). On return a[i] is the depth of
// the i-th sorted leaf; m >= 2.
void minimum_redundancy_depths(std::int32_t* a, int m) {
    // Pass 1: build the tree left to right; a[] turns into parent pointers.
    a[0] += a[1];
    int root = 0, leaf = 2;
    for (int next = 1; next < m - 1; ++next) {
        if (leaf >= m || a[root] < a[leaf]) {
            a[next] = a[root];
            a[root++] = next;
        } else {
            a[next] = a[leaf++];
        }
        if (leaf >= m || (root < next && a[root] < a[leaf])) {
            a[next] += a[root];
            a[root++] = next;
        } else {
            a[next] += a[leaf++];
        }
    }
    // Pass 2: depths of the internal nodes, right to left.
    a[m - 2] = 0;
    for (int next = m - 3; next >= 0; --next) a[next] = a[a[next]] + 1;
    // Pass 3: depths of the leaves.
    int avail = 1, used = 0, depth = 0;
    int root2 = m - 2, next = m - 1;
    while (avail > 0) {
        while (root2 >= 0 && a[root2] == depth) {
            ++used;
            --root2;
        }
        while (avail > used) {
            a[next--] = depth;
            --avail;
        }
        avail = 2 * used;
        ++depth;
        used = 0;
    }
}

}  // namespace

void build_code_lengths(std::span<const std::uint32_t> freqs,
                        std::span<std::uint8_t> lengths, int max_len) {
    const int n = static_cast<int>(std::min(freqs.size(), lengths.size()));
    std::fill(lengths.begin(), lengths.end(), std::uint8_t{0});
    if (n <= 0) return;
    if (n == 1) {  // a one-symbol alphabet has nothing to choose
        lengths[0] = 1;
        return;
    }

    // Used symbols sorted by frequency; equal frequencies keep symbol order.
    std::array<std::uint64_t, kMaxCodeSymbols> sorted;
    int m = 0;
    for (int i = 0; i < n && i < kMaxCodeSymbols; ++i)
        if (freqs[i] > 0) sorted[m++] = static_cast<std::uint64_t>(freqs[i]) << 16 | static_cast<unsigned>(i);
    std::sort(sorted.begin(), sorted.begin() + m);

    if (m < 2) {  // a tree always has two codes
        int other = 1;
        if (m == 1 && (sorted[0] & 0xFFFF) > 1) other = static_cast<int>(sorted[0] & 0xFFFF);
        lengths[0] = 1;
        lengths[other] = 1;
        return;
    }

    std::array<std::int32_t, kMaxCodeSymbols> a;
    for (int i = 0; i < m; ++i) a[i] = static_cast<std::int32_t>(sorted[i] >> 16);
    minimum_redundancy_depths(a.data(), m);

    // Limit to max_len bits: count per length with deeper codes clamped,
    // then repair the Kraft sum one unit at a time.
    std::array<int, kMaxCodeBits + 2> count{};
    for (int i = 0; i < m; ++i) ++count[std::min<int>(a[i], max_len)];
    std::uint32_t kraft = 0;
    for (int i = 1; i <= max_len; ++i) kraft += static_cast<std::uint32_t>(count[i]) << (max_len - i);
    while (kraft > (1u << max_len)) {
        --count[max_len];
        int i = max_len - 1;
        while (i > 0 && count[i] == 0) --i;
        if (i == 0) break;  // only when more symbols are used than 2^max_len
        --count[i];
        count[i + 1] += 2;
        --kraft;
    }

    // Hand out lengths from the most frequent symbol down.
    int k = m - 1;
    for (int len = 1; len <= max_len; ++len)
        for (int c = count[len]; c > 0 && k >= 0; --c)
            lengths[sorted[k--] & 0xFFFF] = static_cast<std::uint8_t>(len);
}

void assign_codes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes) {
    std::array<std::uint32_t, kMaxCodeBits + 1> count{};
    for (std::uint8_t l : lengths) ++count[l & 15];
    count[0] = 0;
    std::array<std::uint32_t, kMaxCodeBits + 1> next{};
    std::uint32_t code = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    const std::size_t n = std::min(lengths.size(), codes.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned len = lengths[i] & 15;
        codes[i] = len == 0 ? 0 : static_cast<std::uint16_t>(reverse_bits16(next[len]++) >> (16 - len));
    }
}

// ---------------------------------------------------------------------------
// Bit writer

void BitWriter::flush32() {
    const auto word = static_cast<std::uint32_t>(acc_);
    if (pos_ + 4 <= cap_) {
        std::memcpy(out_ + pos_, &word, 4);
        pos_ += 4;
    } else {
        for (int i = 0; i < 4; ++i) store_byte(static_cast<std::uint8_t>(word >> (8 * i)));
    }
    acc_ >>= 32;
    nbits_ -= 32;
}

void BitWriter::align() {
    nbits_ = (nbits_ + 7) & ~7u;  // the bits above the held ones are zero
    while (nbits_ > 0) {
        store_byte(static_cast<std::uint8_t>(acc_));
        acc_ >>= 8;
        nbits_ -= 8;
    }
}

void BitWriter::put_bytes(const std::uint8_t* p, std::size_t n) {
    align();
    if (pos_ < cap_) std::memcpy(out_ + pos_, p, static_cast<std::size_t>(std::min<std::uint64_t>(n, cap_ - pos_)));
    pos_ += n;
}

// ---------------------------------------------------------------------------
// Block writer

namespace {

struct FixedCodes {
    std::array<std::uint8_t, kLitLenCodes> lit_len{};
    std::array<std::uint16_t, kLitLenCodes> lit_code{};
    std::array<std::uint8_t, kDistanceCodes> dist_len{};
    std::array<std::uint16_t, kDistanceCodes> dist_code{};
};

const FixedCodes& fixed_codes() {
    static const FixedCodes codes = [] {
        FixedCodes f;
        for (int i = 0; i < kLitLenCodes; ++i) f.lit_len[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        f.dist_len.fill(5);
        assign_codes(f.lit_len, f.lit_code);
        assign_codes(f.dist_len, f.dist_code);
        return f;
    }();
    return codes;
}

// Emits (or, with no writer, counts) one code-length symbol with its
// extra bits.
void put_length_symbol(BitWriter* w, BlockState& s, int sym, std::uint32_t extra, unsigned extra_bits) {
    if (w == nullptr) {
        ++s.cl_freq[sym];
        return;
    }
    w->put_bits(s.cl_code[sym], s.cl_len[sym]);
    if (extra_bits) w->put_bits(extra, extra_bits);
}

// Run-length codes one sequence of code lengths with the symbols 16
// (repeat previous 3-6), 17 (zeros 3-10) and 18 (zeros 11-138).
void send_code_lengths(BitWriter* w, BlockState& s, std::span<const std::uint8_t> lens) {
    const int n = static_cast<int>(lens.size());
    int prev = -1, next = lens[0], count = 0;
    int max_count = next == 0 ? 138 : 7, min_count = next == 0 ? 3 : 4;
    for (int i = 0; i < n; ++i) {
        const int cur = next;
        next = i + 1 < n ? lens[i + 1] : -1;
        if (++count < max_count && cur == next) continue;
        if (count < min_count) {
            while (count-- > 0) put_length_symbol(w, s, cur, 0, 0);
        } else if (cur != 0) {
            if (cur != prev) {
                put_length_symbol(w, s, cur, 0, 0);
                --count;
            }
            put_length_symbol(w, s, 16, static_cast<std::uint32_t>(count - 3), 2);
        } else if (count <= 10) {
            put_length_symbol(w, s, 17, static_cast<std::uint32_t>(count - 3), 3);
        } else {
            put_length_symbol(w, s, 18, static_cast<std::uint32_t>(count - 11), 7);
        }
        count = 0;
        prev = cur;
        if (next == 0) {
            max_count = 138;
            min_count = 3;
        } else if (cur == next) {
            max_count = 6;
            min_count = 3;
        } else {
            max_count = 7;
            min_count = 4;
        }
    }
}

// Writes every buffered symbol with the given codes, then end-of-block.
void write_symbols(BitWriter& w, const BlockState& s, const std::uint8_t* lit_len, const std::uint16_t* lit_code,
                   const std::uint8_t* dist_len, const std::uint16_t* dist_code) {
    for (int i = 0; i < s.symbol_count; ++i) {
        const std::uint32_t e = s.symbols[i];
        if (e < 256) {
            w.put_bits(lit_code[e], lit_len[e]);
            continue;
        }
        const std::uint32_t l = e & 0xFF;
        const int lc = length_code(l);
        const unsigned lsym = 257 + static_cast<unsigned>(lc);
        w.put_bits(lit_code[lsym] | (l + 3 - kLengthBase[lc]) << lit_len[lsym], lit_len[lsym] + kLengthExtra[lc]);
        const std::uint32_t d = e >> 8;
        const int dc = distance_code(d - 1);
        w.put_bits(dist_code[dc] | (d - kDistanceBase[dc]) << dist_len[dc], dist_len[dc] + kDistanceExtra[dc]);
    }
    w.put_bits(lit_code[kEndOfBlock], lit_len[kEndOfBlock]);
}

// Bits the buffered symbols cost with the given code lengths.
std::uint64_t symbol_cost(const BlockState& s, const std::uint8_t* lit_len, const std::uint8_t* dist_len) {
    std::uint64_t bits = 0;
    for (int i = 0; i < kLitLenCodes; ++i) {
        if (s.lit_freq[i] == 0) continue;
        const unsigned extra = i > 256 && i < 257 + 29 ? kLengthExtra[i - 257] : 0;
        bits += static_cast<std::uint64_t>(s.lit_freq[i]) * (lit_len[i] + extra);
    }
    for (int i = 0; i < kDistanceSymbols; ++i)
        bits += static_cast<std::uint64_t>(s.dist_freq[i]) * (dist_len[i] + kDistanceExtra[i]);
    return bits;
}

void write_stored(BitWriter& w, const std::uint8_t* input, std::uint64_t begin, std::uint64_t end, bool final) {
    std::uint64_t left = end - begin;
    do {
        const auto len = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, 65535));
        left -= len;
        w.put_bits(final && left == 0 ? 1 : 0, 3);
        w.align();
        w.put_bits(len, 16);
        w.put_bits(~len & 0xFFFF, 16);
        w.put_bytes(input + begin, len);
        begin += len;
    } while (left > 0);
}

}  // namespace

void write_block(BitWriter& w, BlockState& s, const std::uint8_t* input,
                 std::uint64_t begin, std::uint64_t end, bool final) {
    const FixedCodes& fixed = fixed_codes();

    // Dynamic code lengths and the header counts they allow.
    s.lit_freq[kEndOfBlock] = 1;
    build_code_lengths(std::span(s.lit_freq).first(kLitLenSymbols), std::span(s.lit_len).first(kLitLenSymbols), 15);
    build_code_lengths(std::span(s.dist_freq).first(kDistanceSymbols), std::span(s.dist_len).first(kDistanceSymbols), 15);
    s.lit_len[286] = s.lit_len[287] = 0;
    s.dist_len[30] = s.dist_len[31] = 0;
    int hlit = kLitLenSymbols;
    while (hlit > 257 && s.lit_len[hlit - 1] == 0) --hlit;
    int hdist = kDistanceSymbols;
    while (hdist > 1 && s.dist_len[hdist - 1] == 0) --hdist;

    s.cl_freq.fill(0);
    send_code_lengths(nullptr, s, std::span<const std::uint8_t>(s.lit_len).first(hlit));
    send_code_lengths(nullptr, s, std::span<const std::uint8_t>(s.dist_len).first(hdist));
    build_code_lengths(s.cl_freq, s.cl_len, 7);
    int hclen = kCodeLengthSymbols;
    while (hclen > 4 && s.cl_len[kCodeLengthOrder[hclen - 1]] == 0) --hclen;

    // Price the block three ways.
    std::uint64_t dynamic = 3 * static_cast<std::uint64_t>(hclen) + 17 +
                            symbol_cost(s, s.lit_len.data(), s.dist_len.data());
    for (int i = 0; i < kCodeLengthSymbols; ++i) dynamic += static_cast<std::uint64_t>(s.cl_freq[i]) * s.cl_len[i];
    dynamic += 2ull * s.cl_freq[16] + 3ull * s.cl_freq[17] + 7ull * s.cl_freq[18];
    const std::uint64_t fixed_cost = 3 + symbol_cost(s, fixed.lit_len.data(), fixed.dist_len.data());
    const std::uint64_t raw = end - begin;
    const std::uint64_t chunks = std::max<std::uint64_t>(1, (raw + 65534) / 65535);
    const unsigned held = w.partial_bits();
    const std::uint64_t stored = ((held + 10) & ~7u) - held + 32 + (chunks - 1) * 40 + 8 * raw;

    if (stored <= fixed_cost && stored <= dynamic) {
        write_stored(w, input, begin, end, final);
    } else if (dynamic < fixed_cost) {
        w.put_bits((final ? 1u : 0u) | 4u, 3);
        w.put_bits(static_cast<std::uint32_t>(hlit - 257), 5);
        w.put_bits(static_cast<std::uint32_t>(hdist - 1), 5);
        w.put_bits(static_cast<std::uint32_t>(hclen - 4), 4);
        assign_codes(s.cl_len, s.cl_code);
        for (int i = 0; i < hclen; ++i) w.put_bits(s.cl_len[kCodeLengthOrder[i]], 3);
        assign_codes(s.lit_len, s.lit_code);
        assign_codes(s.dist_len, s.dist_code);
        send_code_lengths(&w, s, std::span<const std::uint8_t>(s.lit_len).first(hlit));
        send_code_lengths(&w, s, std::span<const std::uint8_t>(s.dist_len).first(hdist));
        write_symbols(w, s, s.lit_len.data(), s.lit_code.data(), s.dist_len.data(), s.dist_code.data());
    } else {
        w.put_bits((final ? 1u : 0u) | 2u, 3);
        write_symbols(w, s, fixed.lit_len.data(), fixed.lit_code.data(), fixed.dist_len.data(), fixed.dist_code.data());
    }

    s.lit_freq.fill(0);
    s.dist_freq.fill(0);
    s.cl_freq.fill(0);
    s.symbol_count = 0;
}

}  // namespace qor::deflate
