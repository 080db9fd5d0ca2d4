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
        const uint32_t bits = uint32_t(log - (31 - __builtin_clz(state)));  // state >= 1
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
    // Codes go by weight, lightest first, and by symbol within a weight:
    // each weight's cells start where the lighter ones' end, so one pass
    // over the symbols places them all.
    uint32_t next[13] = {};
    for (int w = 1, pos = 0; w <= 12; ++w) {
        next[w] = uint32_t(pos);
        pos += per_weight[w] << (w - 1);
    }
    for (int s = 0; s < symbols; ++s) {
        const int w = weights[s];
        if (w == 0) continue;
        const uint16_t cell = uint16_t((max_bits + 1 - w) << 8 | s);
        const uint32_t span = 1u << (w - 1);
        uint16_t* const at = table.cells + next[w];
        for (uint32_t i = 0; i < span; ++i) at[i] = cell;
        next[w] += span;
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
    for (uint32_t v = 0; v <= mask;) {
        // The indices that start with the same code are the 1 << (bits - l1)
        // from the first that does, as its cells are.
        const uint32_t first = table.cells[v >> drop], l1 = first >> 8;
        const uint32_t end = v + (1u << (bits - l1));
        for (; v < end; ++v) {
            // After the first code's l1 bits, the bits that follow in v are
            // the start of the next code; it is known when it fits in what
            // is left.
            const uint32_t second = table.cells[((v << l1) & mask) >> drop], l2 = second >> 8;
            table.pairs[v] = l1 + l2 <= bits ? (l1 + l2) | 2u << 8 | (first & 0xFF) << 16 | (second & 0xFF) << 24
                                             : l1 | 1u << 8 | (first & 0xFF) << 16;
        }
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

// One Huffman stream being decoded into its share of the literals.
struct Lane {
    BackwardBits in;
    uint8_t* out;  // next literal
    uint8_t* end;  // end of the stream's literals
};

// Bytes a lane must have left for one more round of kLookups look-ups:
// with pairs a look-up stores two bytes and may keep both.
template <int kLookups, bool kPairs>
constexpr ptrdiff_t kRoundBytes = kPairs ? 2 * kLookups : kLookups;

template <int kLookups, bool kPairs>
bool lane_has_room(const Lane& lane) {
    return lane.end - lane.out >= kRoundBytes<kLookups, kPairs> && lane.in.roomy();
}

// N streams side by side, kLookups look-ups a refill (57 bits: 5 of at
// most 11 bits, 4 of 12), while every one of them has room for another
// round. A look-up gives one symbol from the cells, or with kPairs one or
// two from the pairs: it always stores two bytes, the second overwritten
// by the next look-up when it was not a symbol.
template <int N, int kLookups, bool kPairs>
void decode_lanes(const HuffTable& table, Lane* const* lanes) {
    // Local copies, which the byte stores cannot alias.
    BackwardBits in[N];
    uint8_t* out[N];
    uint8_t* end[N];
    for (int k = 0; k < N; ++k) {
        in[k] = lanes[k]->in;
        out[k] = lanes[k]->out;
        end[k] = lanes[k]->end;
    }
    const unsigned bits = unsigned(kPairs ? table.pair_bits : table.max_bits);
    auto has_room = [&] {
        for (int k = 0; k < N; ++k)
            if (end[k] - out[k] < kRoundBytes<kLookups, kPairs> || !in[k].roomy()) return false;
        return true;
    };
    while (has_room()) {
        uint64_t window[N];
        unsigned used[N];
        for (int k = 0; k < N; ++k) {
            window[k] = in[k].window();
            used[k] = 0;
        }
        for (int j = 0; j < kLookups; ++j)
            for (int k = 0; k < N; ++k) {
                if constexpr (kPairs) {
                    const uint32_t pair = table.pairs[window[k] >> (64 - bits)];
                    const unsigned length = pair & 0xFF;
                    window[k] <<= length;
                    used[k] += length;
                    const uint16_t two = uint16_t(pair >> 16);
                    std::memcpy(out[k], &two, 2);
                    out[k] += (pair >> 8) & 0xFF;
                } else {
                    const uint16_t cell = table.cells[window[k] >> (64 - bits)];
                    window[k] <<= cell >> 8;
                    used[k] += cell >> 8;
                    *out[k]++ = uint8_t(cell);
                }
            }
        for (int k = 0; k < N; ++k) {
            in[k].skip(used[k]);
            in[k].reload();
        }
    }
    for (int k = 0; k < N; ++k) {
        lanes[k]->in = in[k];
        lanes[k]->out = out[k];
    }
}

// Decodes the four lanes side by side while they all have room, then the
// ones left with room (the streams differ in how many bits their literals
// take, so one runs short first) three, two or one at a time: each round
// drops at least one lane.
template <int kLookups, bool kPairs>
void decode_lanes4(const HuffTable& table, Lane* lanes) {
    for (;;) {
        Lane* active[4];
        int n = 0;
        for (int k = 0; k < 4; ++k)
            if (lane_has_room<kLookups, kPairs>(lanes[k])) active[n++] = &lanes[k];
        switch (n) {
        case 4: decode_lanes<4, kLookups, kPairs>(table, active); break;
        case 3: decode_lanes<3, kLookups, kPairs>(table, active); break;
        case 2: decode_lanes<2, kLookups, kPairs>(table, active); break;
        case 1: decode_lanes<1, kLookups, kPairs>(table, active); break;
        default: return;
        }
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
    Lane lanes[4];
    const uint8_t* stream = src + 6;
    for (int k = 0; k < 4; ++k) {
        if (!lanes[k].in.init(stream, sizes[k])) return false;
        lanes[k].in.reload();
        stream += sizes[k];
        lanes[k].out = dst ? dst + segment * size_t(k) : nullptr;
        lanes[k].end = dst ? lanes[k].out + counts[k] : nullptr;
    }
    if (dst && table.pair_bits == 11)
        decode_lanes4<5, true>(table, lanes);
    else if (dst && table.pair_bits)
        decode_lanes4<4, true>(table, lanes);
    else if (dst && table.max_bits <= 11)
        decode_lanes4<5, false>(table, lanes);
    else if (dst)
        decode_lanes4<4, false>(table, lanes);
    for (int k = 0; k < 4; ++k) {
        // Literals decoded so far by the stream.
        const size_t done = dst ? size_t(lanes[k].out - (dst + segment * size_t(k))) : 0;
        if (!finish_stream(table, lanes[k].in, dst ? dst + segment * size_t(k) : nullptr, done, counts[k])) return false;
    }
    return true;
}

}  // namespace qor::zstd
