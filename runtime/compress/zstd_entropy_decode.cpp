// Reading of FSE and Huffman table descriptions and Huffman stream
// decoding for the Zstandard decoder. Tables live in the caller's context;
// nothing here allocates.
#include "runtime/compress/zstd_entropy_decode.h"

#include <cstring>

#include "runtime/compress/zstd_bits.h"
#include "runtime/compress/zstd_tables.h"

namespace qor::zstd {

namespace {

// Forward little-endian bit reader over a bounded range; reads past the end
// give zero bits and are caught by the caller through position().
class ForwardBits {
public:
    ForwardBits(const uint8_t* src, size_t size) : src_(src), size_(size) {}
    [[nodiscard]] uint32_t peek(unsigned n) const {
        size_t byte = pos_ >> 3;
        uint64_t v = 0;
        for (size_t i = 0; i < 5 && byte + i < size_; ++i) v |= uint64_t(src_[byte + i]) << (8 * i);
        return uint32_t((v >> (pos_ & 7)) & ((uint64_t(1) << n) - 1));
    }
    void skip(unsigned n) { pos_ += n; }
    [[nodiscard]] size_t position() const { return pos_; }

private:
    const uint8_t* src_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace

int read_ncount(const uint8_t* src, size_t size, int max_log, int max_symbol, int16_t* norm,
                int* symbols, int* log) {
    if (size < 1) return -1;
    ForwardBits in(src, size);
    const int accuracy = int(in.peek(4)) + 5;
    in.skip(4);
    if (accuracy > max_log) return -1;
    int remaining = (1 << accuracy) + 1;
    int threshold = 1 << accuracy;
    int bits = accuracy + 1;
    int symbol = 0;
    bool previous_zero = false;
    while (remaining > 1) {
        if (previous_zero) {
            // Runs of zero probabilities: 2-bit repeat flags, 3 meaning "three
            // more zeros and another flag follows".
            for (;;) {
                unsigned repeat = in.peek(2);
                in.skip(2);
                for (unsigned i = 0; i < repeat; ++i) {
                    if (symbol > max_symbol) return -1;
                    norm[symbol++] = 0;
                }
                if (repeat != 3) break;
                if (in.position() > size * 8) return -1;
            }
        }
        if (symbol > max_symbol) return -1;
        const int max = 2 * threshold - 1 - remaining;
        int value;
        if (int(in.peek(bits - 1)) < max) {
            value = int(in.peek(bits - 1));
            in.skip(bits - 1);
        } else {
            value = int(in.peek(bits));
            if (value >= threshold) value -= max;
            in.skip(bits);
        }
        const int probability = value - 1;
        remaining -= probability < 0 ? -probability : probability;
        norm[symbol++] = int16_t(probability);
        previous_zero = probability == 0;
        if (remaining < 1) return -1;
        while (remaining < threshold) {
            --bits;
            threshold >>= 1;
        }
        if (in.position() > size * 8) return -1;
    }
    if (remaining != 1 || in.position() > size * 8) return -1;
    *symbols = symbol;
    *log = accuracy;
    return int((in.position() + 7) >> 3);
}

void build_fse_table(const int16_t* norm, int symbols, int log, FseCell* table) {
    const uint32_t size = 1u << log;
    uint8_t cells[512];
    fse_spread(norm, symbols, log, cells);
    uint16_t next[256];
    for (int s = 0; s < symbols; ++s) next[s] = uint16_t(norm[s] == -1 ? 1 : norm[s]);
    for (uint32_t u = 0; u < size; ++u) {
        const uint32_t s = cells[u];
        const uint32_t state = next[s]++;
        const uint32_t bits = uint32_t(log - highbit(state));
        const uint32_t base = (state << bits) - size;
        table[u] = base << 16 | bits << 8 | s;
    }
}

namespace {

// Decodes FSE-compressed Huffman weights: a table description, then a
// backward stream read by two interleaved states. Returns the number of
// weights, or -1.
int read_fse_weights(const uint8_t* src, size_t size, uint8_t* weights) {
    int16_t norm[256];
    int symbols = 0, log = 0;
    const int used = read_ncount(src, size, 6, 255, norm, &symbols, &log);
    if (used < 0) return -1;
    FseCell table[64];
    build_fse_table(norm, symbols, log, table);
    BackwardBits in;
    if (!in.init(src + used, size - size_t(used))) return -1;
    uint32_t s1 = uint32_t(in.read(unsigned(log)));
    uint32_t s2 = uint32_t(in.read(unsigned(log)));
    in.reload();
    int count = 0;
    // Each state emits its symbol then moves on; once a move reads past the
    // start of the stream, the other state's symbol is the last one.
    // At most 255 weights: the 256th symbol is always implied.
    uint32_t* state = &s1;
    uint32_t* other = &s2;
    for (;;) {
        if (count >= 254) return -1;
        weights[count++] = uint8_t(fse_symbol(table[*state]));
        *state = fse_base(table[*state]) + uint32_t(in.read(fse_bits(table[*state])));
        in.reload();
        if (in.overflowed()) {
            weights[count++] = uint8_t(fse_symbol(table[*other]));
            return count;
        }
        uint32_t* t = state;
        state = other;
        other = t;
    }
}

}  // namespace

int read_huffman_table(const uint8_t* src, size_t size, HuffTable& table) {
    if (size < 1) return -1;
    uint8_t weights[256];
    const unsigned header = src[0];
    int count;
    size_t used;
    if (header < 128) {
        if (header == 0 || size < 1 + size_t(header)) return -1;
        count = read_fse_weights(src + 1, header, weights);
        if (count < 0) return -1;
        used = 1 + header;
    } else {
        count = int(header) - 127;
        used = 1 + size_t(count + 1) / 2;
        if (size < used) return -1;
        for (int i = 0; i < count; i += 2) {
            weights[i] = src[1 + i / 2] >> 4;
            weights[i + 1] = src[1 + i / 2] & 15;
        }
    }
    // The weights give 2^(w-1) shares of the code space; the last symbol's
    // weight is implied by what completes the next power of two.
    uint32_t sum = 0;
    for (int i = 0; i < count; ++i) {
        if (weights[i] > 12) return -1;
        if (weights[i]) sum += 1u << (weights[i] - 1);
    }
    if (sum == 0) return -1;
    const int max_bits = highbit(sum) + 1;
    if (max_bits > 12) return -1;
    const uint32_t rest = (1u << max_bits) - sum;
    if (rest & (rest - 1)) return -1;
    weights[count] = uint8_t(highbit(rest) + 1);
    const int symbols = count + 1;
    int per_weight[13] = {};
    for (int i = 0; i < symbols; ++i) ++per_weight[weights[i]];
    if (per_weight[1] < 2 || (per_weight[1] & 1)) return -1;
    uint32_t pos = 0;
    for (int w = 1; w <= 12; ++w) {
        if (!per_weight[w]) continue;
        const uint16_t cell = uint16_t((max_bits + 1 - w) << 8);
        const uint32_t span = 1u << (w - 1);
        for (int s = 0; s < symbols; ++s) {
            if (weights[s] != w) continue;
            for (uint32_t i = 0; i < span; ++i) table.cells[pos + i] = uint16_t(cell | s);
            pos += span;
        }
    }
    table.max_bits = max_bits;
    table.pair_bits = 0;
    return int(used);
}

void make_huffman_pairs(HuffTable& table) {
    if (table.pair_bits) return;
    const unsigned max_bits = unsigned(table.max_bits);
    const unsigned bits = max_bits > 11 ? max_bits : 11;
    const uint32_t mask = (1u << bits) - 1;
    const unsigned drop = bits - max_bits;  // from the index to a cell's
    for (uint32_t v = 0; v <= mask; ++v) {
        // After the first code's l1 bits, the bits that follow in v are the
        // start of the next code; it is known when it fits in what is left.
        const uint32_t first = table.cells[v >> drop], l1 = first >> 8;
        const uint32_t second = table.cells[((v << l1) & mask) >> drop], l2 = second >> 8;
        table.pairs[v] = l1 + l2 <= bits ? (l1 + l2) | 2u << 8 | (first & 0xFF) << 16 | (second & 0xFF) << 24
                                         : l1 | 1u << 8 | (first & 0xFF) << 16;
    }
    table.pair_bits = int(bits);
}

namespace {

inline uint8_t decode_one(const HuffTable& t, BackwardBits& in) {
    const uint16_t cell = t.cells[in.peek_fast(unsigned(t.max_bits))];
    in.skip(cell >> 8);
    return uint8_t(cell);
}

// Decodes the literals [i, count) of one stream whose reader is loaded,
// then checks that the stream ended exactly at its first bit.
bool finish_stream(const HuffTable& table, BackwardBits& in, uint8_t* dst, size_t i, size_t count) {
    // Four symbols of at most 12 bits fit in every refilled window.
    if (dst) {
        const unsigned bits = unsigned(table.max_bits);
        while (i + 4 <= count && in.roomy()) {
            uint64_t window = in.window();
            unsigned used = 0;
            for (size_t j = i; j < i + 4; ++j) {
                const uint16_t cell = table.cells[window >> (64 - bits)];
                window <<= cell >> 8;
                used += cell >> 8;
                dst[j] = uint8_t(cell);
            }
            in.skip(used);
            i += 4;
            in.reload();
        }
        for (; i < count; ++i) {
            if (in.consumed() >= 64) return false;
            dst[i] = decode_one(table, in);
            in.reload();
        }
    } else {
        for (; i < count; ++i) {
            if (in.consumed() >= 64) return false;
            (void)decode_one(table, in);
            in.reload();
        }
    }
    return in.finished();
}

// The four streams side by side, one symbol a look-up, kLookups look-ups
// a refill (57 bits: 5 of at most 11 bits, 4 of 12), while every stream
// has that many literals left.
template <int kLookups>
void decode_singles4(const HuffTable& table, BackwardBits* streams, uint8_t* dst, size_t segment,
                     const size_t* counts, size_t* done) {
    // Local copies, which the byte stores cannot alias.
    BackwardBits in[4] = {streams[0], streams[1], streams[2], streams[3]};
    uint8_t* const out[4] = {dst, dst + segment, dst + 2 * segment, dst + 3 * segment};
    const unsigned bits = unsigned(table.max_bits);
    size_t i = 0;
    while (i + kLookups <= counts[3] && in[0].roomy() && in[1].roomy() && in[2].roomy() && in[3].roomy()) {
        uint64_t window[4] = {in[0].window(), in[1].window(), in[2].window(), in[3].window()};
        unsigned used[4] = {0, 0, 0, 0};
        for (size_t j = i; j < i + kLookups; ++j)
            for (int k = 0; k < 4; ++k) {
                const uint16_t cell = table.cells[window[k] >> (64 - bits)];
                window[k] <<= cell >> 8;
                used[k] += cell >> 8;
                out[k][j] = uint8_t(cell);
            }
        i += kLookups;
        for (int k = 0; k < 4; ++k) {
            in[k].skip(used[k]);
            in[k].reload();
        }
    }
    for (int k = 0; k < 4; ++k) {
        streams[k] = in[k];
        done[k] = i;
    }
}

// The same with the pairs: a look-up gives one or two symbols in
// pair_bits bits, and always stores two bytes, the second overwritten by
// the next look-up when it was not a symbol. A refill (57 bits) serves
// kLookups look-ups: 5 of 11 bits, 4 of 12. They write at most twice as
// many bytes, so each stream keeps that many literals in hand; what is left
// goes one symbol at a time.
template <int kLookups>
void decode_pairs4(const HuffTable& table, BackwardBits* streams, uint8_t* dst, size_t segment, const size_t* counts,
                   size_t* done) {
    // Local copies, which the byte stores cannot alias.
    BackwardBits in[4] = {streams[0], streams[1], streams[2], streams[3]};
    uint8_t* out[4] = {dst, dst + segment, dst + 2 * segment, dst + 3 * segment};
    uint8_t* const end[4] = {out[0] + counts[0], out[1] + counts[1], out[2] + counts[2], out[3] + counts[3]};
    const unsigned bits = unsigned(table.pair_bits);
    auto has_room = [&] {
        for (int k = 0; k < 4; ++k)
            if (end[k] - out[k] < 2 * kLookups || !in[k].roomy()) return false;
        return true;
    };
    while (has_room()) {
        uint64_t window[4] = {in[0].window(), in[1].window(), in[2].window(), in[3].window()};
        unsigned used[4] = {0, 0, 0, 0};
        for (int j = 0; j < kLookups; ++j)
            for (int k = 0; k < 4; ++k) {
                const uint32_t pair = table.pairs[window[k] >> (64 - bits)];
                const unsigned length = pair & 0xFF;
                window[k] <<= length;
                used[k] += length;
                const uint16_t two = uint16_t(pair >> 16);
                std::memcpy(out[k], &two, 2);
                out[k] += (pair >> 8) & 0xFF;
            }
        for (int k = 0; k < 4; ++k) {
            in[k].skip(used[k]);
            in[k].reload();
        }
    }
    for (int k = 0; k < 4; ++k) {
        streams[k] = in[k];
        done[k] = size_t(out[k] - (dst + segment * size_t(k)));
    }
}

}  // namespace

bool decode_huffman_stream(const HuffTable& table, const uint8_t* src, size_t size, uint8_t* dst,
                           size_t count) {
    BackwardBits in;
    if (!in.init(src, size)) return false;
    in.reload();
    return finish_stream(table, in, dst, 0, count);
}

// The four streams are independent, so they are decoded side by side: four
// chains of table look-ups in flight instead of one. A symbol's code does
// not depend on what was decoded before it, so the order in which the
// streams advance changes nothing in the result.
bool decode_huffman_streams4(const HuffTable& table, const uint8_t* src, size_t size, uint8_t* dst,
                             size_t count) {
    if (size < 10) return false;
    const size_t s1 = read_u16le(src), s2 = read_u16le(src + 2), s3 = read_u16le(src + 4);
    if (6 + s1 + s2 + s3 >= size) return false;
    const size_t sizes[4] = {s1, s2, s3, size - 6 - s1 - s2 - s3};
    const size_t segment = (count + 3) / 4;
    const size_t counts[4] = {segment, segment, segment, count - 3 * segment};
    BackwardBits in[4];
    const uint8_t* stream = src + 6;
    for (int k = 0; k < 4; ++k) {
        if (!in[k].init(stream, sizes[k])) return false;
        in[k].reload();
        stream += sizes[k];
    }
    size_t done[4] = {0, 0, 0, 0};  // literals decoded so far by each stream
    if (dst && table.pair_bits == 11)
        decode_pairs4<5>(table, in, dst, segment, counts, done);
    else if (dst && table.pair_bits)
        decode_pairs4<4>(table, in, dst, segment, counts, done);
    else if (dst && table.max_bits <= 11)
        decode_singles4<5>(table, in, dst, segment, counts, done);
    else if (dst)
        decode_singles4<4>(table, in, dst, segment, counts, done);
    for (int k = 0; k < 4; ++k)
        if (!finish_stream(table, in[k], dst ? dst + segment * size_t(k) : nullptr, done[k], counts[k])) return false;
    return true;
}

}  // namespace qor::zstd
