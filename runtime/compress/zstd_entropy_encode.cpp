// Entropy coding of a zstd block: the literals section (raw, RLE or
// Huffman-coded in one or four streams) and the sequences section (count,
// table modes and descriptions, and the FSE bitstream). Every block
// describes its own tables. A section that does not fit its room reports
// it, and the block is then stored raw.
#include <algorithm>
#include <cstring>
#include <span>

#include "runtime/compress/deflate_huffman.h"
#include "runtime/compress/zstd_fse_encode.h"
#include "runtime/compress/zstd_tables.h"
#include "runtime/compress/zstd_workspace.h"

namespace qor::zstd {

namespace {

// Raw (type 0) or RLE (type 1) literals. Returns the size, -1 when it does
// not fit.
int write_raw_literals(uint8_t* dst, const uint8_t* lits, uint32_t n, unsigned type, int capacity) {
    const int header = n <= 31 ? 1 : n <= 4095 ? 2 : 3;
    const int payload = type == 0 ? int(n) : 1;
    if (capacity < header + payload) return -1;
    if (header == 1) {
        dst[0] = uint8_t(n << 3 | type);
    } else if (header == 2) {
        const uint32_t v = n << 4 | 4 | type;
        dst[0] = uint8_t(v);
        dst[1] = uint8_t(v >> 8);
    } else {
        const uint32_t v = n << 4 | 12 | type;
        dst[0] = uint8_t(v);
        dst[1] = uint8_t(v >> 8);
        dst[2] = uint8_t(v >> 16);
    }
    if (type == 0) std::memcpy(dst + header, lits, n);
    else dst[header] = lits[0];
    return header + payload;
}

// Tree description of k Huffman weights: FSE-coded when that is shorter
// than half of k, else 4-bit weights for up to 128 of them. Returns the
// size, 0 when the weights cannot be described.
int write_huffman_weights(uint8_t* dst, const uint8_t* weights, uint32_t k, Workspace& w) {
    uint32_t counts[13] = {};
    for (uint32_t i = 0; i < k; ++i) ++counts[weights[i]];
    uint32_t highest = 0, top = 0;
    for (uint32_t v = 0; v < 13; ++v) {
        if (counts[v]) highest = v;
        top = std::max(top, counts[v]);
    }
    if (k > 2 && top > 1 && top < k) {
        int16_t norm[13];
        const int log = fse_table_log(6, k, highest);
        fse_normalize(counts, int(highest + 1), k, log, norm);
        uint8_t* tmp = w.scratch;
        const int head = fse_write_ncount(norm, int(highest + 1), log, tmp);
        FseEncoder& e = w.ll_enc;  // free until the sequences are coded
        fse_build_encoder(norm, int(highest + 1), log, e);
        ForwardBitWriter out(tmp + head, w.scratch + sizeof(w.scratch));
        // The decoder reads two interleaved states: even weights from the
        // first, odd ones from the second. Code from the last weight back.
        uint32_t state[2];
        state[(k - 1) & 1] = fse_init_state(e, norm, weights[k - 1]);
        state[(k - 2) & 1] = fse_init_state(e, norm, weights[k - 2]);
        for (uint32_t j = k - 2; j-- > 0;) fse_encode(e, state[j & 1], weights[j], out);
        out.put(state[1] & ((1u << log) - 1), unsigned(log));
        out.put(state[0] & ((1u << log) - 1), unsigned(log));
        const int body = out.close();
        if (body > 0) {
            const uint32_t size = uint32_t(head + body);
            if (size < k / 2) {
                dst[0] = uint8_t(size);
                std::memcpy(dst + 1, tmp, size);
                return int(size + 1);
            }
        }
    }
    if (k > 128) return 0;
    dst[0] = uint8_t(127 + k);
    for (uint32_t i = 0; i < k; i += 2) {
        const uint8_t low = i + 1 < k ? weights[i + 1] : 0;
        dst[1 + i / 2] = uint8_t(weights[i] << 4 | low);
    }
    return int(1 + (k + 1) / 2);
}

// One Huffman stream of the literals, coded from the last to the first.
int huffman_stream(uint8_t* dst, uint8_t* end, const uint8_t* lits, uint32_t n, const uint32_t* codes) {
    ForwardBitWriter out(dst, end);
    for (uint32_t i = n; i-- > 0;) {
        const uint32_t c = codes[lits[i]];
        out.put(c >> 8, c & 0xFF);
    }
    return out.close();
}

}  // namespace

int write_literals(Workspace& w, const SeqStore& s, uint8_t* dst, int capacity) {
    const uint32_t n = s.literal_count;
    const uint8_t* lits = s.literals;
    if (n < 64) return write_raw_literals(dst, lits, n, 0, capacity);
    uint32_t* hist = w.histogram;
    std::fill(hist, hist + 256, 0u);
    for (uint32_t i = 0; i < n; ++i) ++hist[lits[i]];
    uint32_t m = 0, top = 0;
    for (uint32_t b = 0; b < 256; ++b) {
        if (hist[b]) m = b;
        top = std::max(top, hist[b]);
    }
    if (top == n) return write_raw_literals(dst, lits, n, 1, capacity);
    const int h = n < 1024 ? 3 : n < 16384 ? 4 : 5;
    if (!(top > (n >> 7) + 4 && capacity > h + 140)) return write_raw_literals(dst, lits, n, 0, capacity);

    int limit = std::min(11, highbit(n - 1) - 1);
    limit = std::max(limit, std::min(highbit(n) + 1, highbit(m) + 2));
    uint8_t* lengths = w.huff_lengths;
    deflate::build_code_lengths(std::span<const uint32_t>(hist, m + 1), std::span<uint8_t>(lengths, m + 1),
                                limit);
    uint32_t max_len = 0;
    uint64_t total_bits = 0;
    for (uint32_t b = 0; b <= m; ++b) {
        max_len = std::max<uint32_t>(max_len, lengths[b]);
        total_bits += uint64_t(hist[b]) * lengths[b];
    }
    uint8_t* weights = w.huff_weights;
    for (uint32_t b = 0; b <= m; ++b) weights[b] = lengths[b] ? uint8_t(max_len - lengths[b] + 1) : 0;
    const int t = write_huffman_weights(dst + h, weights, m, w);
    const int64_t estimate = t + int64_t(total_bits / 8) + 1 + (n >= 256 ? 9 : 0);
    if (!(t >= 1 && estimate < int64_t(n - n / 64 - 2) && estimate + h <= capacity))
        return write_raw_literals(dst, lits, n, 0, capacity);

    // Canonical codes by weight: lower weights (longer codes) first.
    uint32_t start[13] = {};
    uint32_t per_weight[13] = {};
    for (uint32_t b = 0; b <= m; ++b) ++per_weight[weights[b]];
    uint32_t running = 0;
    for (uint32_t wt = 1; wt <= max_len; ++wt) {
        start[wt] = running;
        running += per_weight[wt] << (wt - 1);
    }
    uint32_t* codes = w.huff_codes;
    for (uint32_t b = 0; b <= m; ++b) {
        const uint32_t wt = weights[b];
        if (!wt) {
            codes[b] = 0;
            continue;
        }
        codes[b] = (start[wt] >> (wt - 1)) << 8 | (max_len - wt + 1);
        start[wt] += 1u << (wt - 1);
    }

    uint8_t* const end = dst + capacity;
    uint8_t* op = dst + h + t;
    bool four = n >= 256;
    if (four) {
        const uint32_t segment = (n + 3) / 4;
        uint8_t* jump = op;
        op += 6;
        for (int i = 0; i < 4; ++i) {
            const uint32_t from = segment * uint32_t(i);
            const uint32_t count = i < 3 ? segment : n - 3 * segment;
            const int size = huffman_stream(op, end, lits + from, count, codes);
            if (size < 0) return write_raw_literals(dst, lits, n, 0, capacity);
            if (i < 3) {
                jump[2 * i] = uint8_t(size);
                jump[2 * i + 1] = uint8_t(size >> 8);
            }
            op += size;
        }
    } else {
        const int size = huffman_stream(op, end, lits, n, codes);
        if (size < 0) return write_raw_literals(dst, lits, n, 0, capacity);
        op += size;
    }
    const uint64_t sz = uint64_t(op - dst - h);
    if (h == 3) {
        const uint32_t v = uint32_t(sz << 14 | n << 4 | (four ? 4 : 0) | 2);
        dst[0] = uint8_t(v);
        dst[1] = uint8_t(v >> 8);
        dst[2] = uint8_t(v >> 16);
    } else if (h == 4) {
        const uint32_t v = uint32_t(sz << 18 | n << 4 | 0xA);
        for (int i = 0; i < 4; ++i) dst[i] = uint8_t(v >> (8 * i));
    } else {
        const uint64_t v = sz << 22 | uint64_t(n) << 4 | 0xE;
        for (int i = 0; i < 5; ++i) dst[i] = uint8_t(v >> (8 * i));
    }
    return int(op - dst);
}

namespace {

struct FieldSpec {
    const int16_t* defaults;
    int default_count;
    int default_log;
    int ceiling;
};

// Chooses the table mode of one sequence field, writes its description and
// builds its encoder. Returns the bytes written, -1 when it does not fit.
int choose_table(const uint8_t* codes, uint32_t n, const FieldSpec& f, Workspace& w, FseEncoder& e,
                 int16_t* norm, unsigned& mode, uint8_t* dst, int room) {
    uint32_t counts[64] = {};
    for (uint32_t i = 0; i < n; ++i) ++counts[codes[i]];
    uint32_t top = 0, highest = 0;
    for (uint32_t c = 0; c < 64; ++c) {
        if (counts[c]) highest = c;
        top = std::max(top, counts[c]);
    }
    if (top == n && n > 2) {
        if (room < 1) return -1;
        dst[0] = uint8_t(highest);
        mode = 1;
        e.rle = true;
        e.log = 0;
        return 1;
    }
    const bool predefined = top == n || n < (1u << f.default_log) || top < (n >> (f.default_log - 1));
    if (predefined) {
        mode = 0;
        std::copy(f.defaults, f.defaults + f.default_count, norm);
        fse_build_encoder(norm, f.default_count, f.default_log, e);
        return 0;
    }
    if (room < 128) return -1;
    mode = 2;
    const int log = fse_table_log(f.ceiling, n, highest);
    fse_normalize(counts, int(highest + 1), n, log, norm);
    const int size = fse_write_ncount(norm, int(highest + 1), log, dst);
    fse_build_encoder(norm, int(highest + 1), log, e);
    (void)w;
    return size;
}

inline void encode_field(const FseEncoder& e, uint32_t& state, unsigned code, ForwardBitWriter& out) {
    if (!e.rle) fse_encode(e, state, code, out);
}

}  // namespace

int write_sequences(Workspace& w, SeqStore& s, uint8_t* dst, int capacity) {
    if (capacity < 4) return -1;
    const uint32_t n = s.count;
    uint8_t* op = dst;
    if (n < 128) {
        *op++ = uint8_t(n);
    } else if (n < 32512) {
        *op++ = uint8_t((n >> 8) + 128);
        *op++ = uint8_t(n);
    } else {
        *op++ = 0xFF;
        *op++ = uint8_t(n - 32512);
        *op++ = uint8_t((n - 32512) >> 8);
    }
    if (n == 0) return int(op - dst);
    for (uint32_t i = 0; i < n; ++i) {
        s.ll_code[i] = uint8_t(litlen_code(s.litlen[i]));
        s.ml_code[i] = uint8_t(matchlen_code(s.matchlen[i]));
        s.of_code[i] = uint8_t(highbit(s.offset[i]));
    }
    uint8_t* const end = dst + capacity;
    uint8_t* modes = op++;
    static constexpr FieldSpec kLitLen{kLitLenDefault, kLitLenCodes, kLitLenDefaultLog, 9};
    static constexpr FieldSpec kOffset{kOffsetDefault, kOffsetDefaultCount, kOffsetDefaultLog, 8};
    static constexpr FieldSpec kMatchLen{kMatchLenDefault, kMatchLenCodes, kMatchLenDefaultLog, 9};
    int16_t ll_norm[64], of_norm[64], ml_norm[64];
    unsigned ll_mode = 0, of_mode = 0, ml_mode = 0;
    int used = choose_table(s.ll_code, n, kLitLen, w, w.ll_enc, ll_norm, ll_mode, op, int(end - op));
    if (used < 0) return -1;
    op += used;
    used = choose_table(s.of_code, n, kOffset, w, w.of_enc, of_norm, of_mode, op, int(end - op));
    if (used < 0) return -1;
    op += used;
    used = choose_table(s.ml_code, n, kMatchLen, w, w.ml_enc, ml_norm, ml_mode, op, int(end - op));
    if (used < 0) return -1;
    op += used;
    *modes = uint8_t(ll_mode << 6 | of_mode << 4 | ml_mode << 2);

    // Sequences are coded from the last to the first so that the decoder
    // reads them forward.
    ForwardBitWriter out(op, end);
    const uint32_t last = n - 1;
    uint32_t ml_state = w.ml_enc.rle ? 0 : fse_init_state(w.ml_enc, ml_norm, s.ml_code[last]);
    uint32_t of_state = w.of_enc.rle ? 0 : fse_init_state(w.of_enc, of_norm, s.of_code[last]);
    uint32_t ll_state = w.ll_enc.rle ? 0 : fse_init_state(w.ll_enc, ll_norm, s.ll_code[last]);
    for (uint32_t i = n; i-- > 0;) {
        if (out.room() < 16) return -1;
        const unsigned llc = s.ll_code[i], mlc = s.ml_code[i], ofc = s.of_code[i];
        if (i != last) {
            encode_field(w.of_enc, of_state, ofc, out);
            encode_field(w.ml_enc, ml_state, mlc, out);
            encode_field(w.ll_enc, ll_state, llc, out);
        }
        out.put(s.litlen[i] - kLitLenBase[llc], kLitLenBits[llc]);
        out.put(s.matchlen[i] - kMatchLenBase[mlc], kMatchLenBits[mlc]);
        out.put(s.offset[i] - (1u << ofc), ofc);
    }
    if (out.room() < 8) return -1;
    out.put(ml_state & ((1u << w.ml_enc.log) - 1), unsigned(w.ml_enc.log));
    out.put(of_state & ((1u << w.of_enc.log) - 1), unsigned(w.of_enc.log));
    out.put(ll_state & ((1u << w.ll_enc.log) - 1), unsigned(w.ll_enc.log));
    const int size = out.close();
    if (size < 0) return -1;
    return int(op - dst) + size;
}

}  // namespace qor::zstd
