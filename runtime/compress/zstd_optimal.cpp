// The optimal parser of the zstd encoder: for a stretch of up to 4,096
// positions it finds the cheapest way, in estimated bits (1/256 bit units),
// to reach each position through literals and matches, then emits the
// cheapest chain. Prices come from symbol statistics that adapt block by
// block. Matches come from the repeat offsets, an optional 3-byte hash and
// the binary tree.
#include <algorithm>

#include "runtime/compress/zstd_bits.h"
#include "runtime/compress/zstd_tables.h"
#include "runtime/compress/zstd_workspace.h"

namespace qor::zstd {

namespace {

// Cost in 1/256 bit of a symbol seen x - 1 times; levels 2 and 3 add a
// fractional part.
inline int weight(const Workspace& w, uint32_t x) {
    const int hb = highbit(x);
    int v = hb * 256;
    if (w.opt_level >= 2) v += int((x << 8) >> hb);
    return v;
}

inline int literal_price(const Workspace& w, uint8_t b) {
    return std::max(256, int(w.lit_base) - weight(w, w.lit_freq[b] + 1));
}

inline int litlen_price(const Workspace& w, uint32_t length) {
    int extra = 0;
    if (length >= 131072) {
        extra = 256;
        length = 131071;
    }
    const int code = litlen_code(length);
    return extra + kLitLenBits[code] * 256 + int(w.ll_base) - weight(w, w.ll_freq[code] + 1);
}

inline int match_price(const Workspace& w, uint32_t offset, uint32_t length) {
    const int of_code = highbit(offset);
    int price = of_code * 256 + int(w.of_base) - weight(w, w.of_freq[of_code] + 1) + 51;
    if (w.opt_level == 1 && of_code >= 20) price += (of_code - 19) * 512;
    const int ml_code = matchlen_code(length);
    return price + kMatchLenBits[ml_code] * 256 + int(w.ml_base) - weight(w, w.ml_freq[ml_code] + 1);
}

void base_prices(Workspace& w) {
    w.lit_base = uint32_t(weight(w, w.lit_sum + 1));
    w.ll_base = uint32_t(weight(w, w.ll_sum + 1));
    w.ml_base = uint32_t(weight(w, w.ml_sum + 1));
    w.of_base = uint32_t(weight(w, w.of_sum + 1));
}

// Shrinks a table whose sum has grown past 2^(k+1), keeping every count at
// least 1.
uint32_t rescale(uint32_t* counts, int n, uint32_t sum, int k) {
    if ((sum >> k) <= 1) return sum;
    const int shift = highbit(sum >> k);
    uint32_t total = 0;
    for (int i = 0; i < n; ++i) {
        counts[i] = (counts[i] >> shift) + 1;
        total += counts[i];
    }
    return total;
}

void block_stats(Workspace& w, uint32_t start, uint32_t end) {
    if (w.ll_sum == 0) {
        // First block: literal counts from the block itself, fixed starting
        // shapes for the sequence codes.
        uint32_t counts[256] = {};
        for (uint32_t i = start; i < end; ++i) ++counts[w.base[i]];
        w.lit_sum = 0;
        for (int b = 0; b < 256; ++b) {
            w.lit_freq[b] = counts[b] ? (counts[b] >> 8) + 1 : 0;
            w.lit_sum += w.lit_freq[b];
        }
        for (uint32_t& c : w.ll_freq) c = 1;
        w.ll_freq[0] = 4;
        w.ll_freq[1] = 2;
        w.ll_sum = 40;
        for (uint32_t& c : w.ml_freq) c = 1;
        w.ml_sum = 53;
        static constexpr uint32_t kOffsetStart[11] = {6, 2, 1, 1, 2, 3, 4, 4, 4, 3, 2};
        for (int i = 0; i < 32; ++i) w.of_freq[i] = i < 11 ? kOffsetStart[i] : 1;
        w.of_sum = 53;
    } else {
        w.lit_sum = rescale(w.lit_freq, 256, w.lit_sum, 12);
        w.ll_sum = rescale(w.ll_freq, 36, w.ll_sum, 11);
        w.ml_sum = rescale(w.ml_freq, 53, w.ml_sum, 11);
        w.of_sum = rescale(w.of_freq, 32, w.of_sum, 11);
    }
    base_prices(w);
}

void update_stats(Workspace& w, uint32_t anchor, uint32_t litlen, uint32_t offset, uint32_t length) {
    for (uint32_t i = 0; i < litlen; ++i) w.lit_freq[w.base[anchor + i]] += 2;
    w.lit_sum += 2 * litlen;
    ++w.ll_freq[litlen_code(litlen)];
    ++w.ll_sum;
    ++w.of_freq[highbit(offset)];
    ++w.of_sum;
    ++w.ml_freq[matchlen_code(length)];
    ++w.ml_sum;
}

// Repeat offsets after a match with this offset value; ll0 when no
// literal precedes it.
inline void update_reps(const uint32_t* in, uint32_t offset, bool ll0, uint32_t* out) {
    if (offset > 3) {
        out[0] = offset - 3;
        out[1] = in[0];
        out[2] = in[1];
        return;
    }
    const uint32_t code = offset - 1 + (ll0 ? 1 : 0);
    if (code == 0) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
    } else if (code == 1) {
        out[0] = in[1];
        out[1] = in[0];
        out[2] = in[2];
    } else {
        out[0] = code == 3 ? in[0] - 1 : in[2];
        out[1] = in[0];
        out[2] = in[1];
    }
}

inline uint32_t hash3(const Workspace& w, uint32_t p) {
    return (read_u32le(w.base + p) * 0x35A7BD00u) >> (32 - w.hash3_log);
}

// Collects the matches at ip, by increasing length: repeat offsets first,
// then a 3-byte match, then the binary tree.
uint32_t gather_matches(Workspace& w, uint32_t ip, uint32_t end, const uint32_t* rep, bool ll0) {
    const uint32_t cur = ip;
    if (cur < w.next_index) return 0;
    tree_update(w, ip, end);
    const uint8_t* const in = w.base;
    const uint32_t mm = w.min_match;
    uint32_t best = mm - 1;
    uint32_t n = 0;
    for (uint32_t i = ll0 ? 1 : 0; i < (ll0 ? 4u : 3u); ++i) {
        const uint32_t distance = i < 3 ? rep[i] : rep[0] - 1;
        if (distance < 1 || distance > cur || distance > w.window) continue;
        const bool agree = mm == 3 ? (read_u32le(in + ip) & 0xFFFFFF) == (read_u32le(in + ip - distance) & 0xFFFFFF)
                                   : read_u32le(in + ip) == read_u32le(in + ip - distance);
        if (!agree) continue;
        const uint32_t length = mm + count_match(in + ip + mm, in + ip + mm - distance, in + end);
        if (length > best) {
            w.matches[n++] = MatchEntry{i - (ll0 ? 1 : 0) + 1, length};
            if (length > w.target || ip + length == end) return n;
            best = length;
        }
    }
    if (mm == 3 && best < 3) {
        for (uint32_t p = w.next_index3; p < cur; ++p) w.hash3[hash3(w, p)] = p + 1;
        w.next_index3 = cur;
        const uint32_t entry = w.hash3[hash3(w, ip)];
        if (entry >= 1) {
            const uint32_t candidate = entry - 1;
            const uint32_t distance = cur - candidate;
            if (distance <= w.window && distance < 262144) {
                const uint32_t length = count_match(in + ip, in + candidate, in + end);
                if (length > 2) {
                    w.matches[0] = MatchEntry{distance + 3, length};
                    n = 1;
                    if (length > w.target || ip + length == end) {
                        w.next_index = cur + 1;
                        return 1;
                    }
                    best = length;
                }
            }
        }
    }
    return tree_insert_search(w, ip, end, best, true, n);
}

// The last sequence of a stretch and where the walk back starts.
struct StretchEnd {
    uint32_t pos;     // position (from ip) after the trailing literals
    uint32_t offset;
    uint32_t length;  // 0: the stretch holds no match
    uint32_t litlen;  // literals after the match
};

}  // namespace

void parse_optimal(Workspace& w, uint32_t start, uint32_t end) {
    reset_sequences(w);
    block_stats(w, start, end);
    OptNode* const node = w.nodes;
    MatchEntry* const matches = w.matches;
    const uint8_t* const in = w.base;
    uint32_t rep[3] = {w.rep[0], w.rep[1], w.rep[2]};
    uint32_t anchor = start;
    uint32_t ip = start + (start == 0 ? 1 : 0);
    const uint32_t limit = end - start > 8 ? end - 8 : start;
    const uint32_t mm = w.min_match;
    const bool level23 = w.opt_level >= 2;

    while (ip < limit) {
        const uint32_t litlen = ip - anchor;
        uint32_t n = gather_matches(w, ip, end, rep, litlen == 0);
        if (n == 0) {
            ++ip;
            continue;
        }
        node[0] = OptNode{uint32_t(litlen_price(w, litlen)), 0, 0, litlen, {rep[0], rep[1], rep[2]}, 0};
        StretchEnd last_seq{};
        bool direct = false;
        uint32_t last = 0;
        if (matches[n - 1].length > w.target) {
            direct = true;
            last = matches[n - 1].length;
            last_seq = StretchEnd{last, matches[n - 1].offset, last, 0};
        } else {
            for (uint32_t p = 1; p < mm; ++p) node[p] = OptNode{kUnreachable, 0, 0, litlen + p, {0, 0, 0}, 0};
            const int base = int(node[0].price) + litlen_price(w, 0);
            uint32_t length = mm;
            for (uint32_t i = 0; i < n; ++i) {
                for (; length <= matches[i].length; ++length)
                    node[length] = OptNode{uint32_t(base + match_price(w, matches[i].offset, length)),
                                           matches[i].offset, length, 0, {0, 0, 0}, 0};
            }
            last = length - 1;
            node[last + 1].price = kUnreachable;

            for (uint32_t cur = 1; cur <= last; ++cur) {
                // Reach cur by one more literal.
                const OptNode& prev = node[cur - 1];
                const uint32_t lit2 = prev.litlen + 1;
                const int price = int(prev.price) + literal_price(w, in[ip + cur - 1]) +
                                  litlen_price(w, lit2) - litlen_price(w, lit2 - 1);
                if (price <= int(node[cur].price)) {
                    const OptNode replaced = node[cur];
                    node[cur] = OptNode{uint32_t(price), prev.offset, prev.length, lit2,
                                        {prev.rep[0], prev.rep[1], prev.rep[2]}, 0};
                    // A match followed by one literal may still beat the
                    // literal run once the next position is counted.
                    if (level23 && replaced.litlen == 0 && replaced.length > 0 && ip + cur < end) {
                        const int ll_delta = litlen_price(w, 1) - litlen_price(w, 0);
                        if (ll_delta < 0) {
                            const int lit = literal_price(w, in[ip + cur]);
                            const int with_one = int(replaced.price) + lit + ll_delta;
                            const int with_more = price + lit + litlen_price(w, lit2 + 1) - litlen_price(w, lit2);
                            if (with_one < with_more && with_one < int(node[cur + 1].price)) {
                                const OptNode& from = node[cur - replaced.length];
                                OptNode moved = replaced;
                                moved.price = uint32_t(with_one);
                                moved.litlen = 1;
                                update_reps(from.rep, replaced.offset, from.litlen == 0, moved.rep);
                                node[cur + 1] = moved;
                                if (last < cur + 1) {
                                    last = cur + 1;
                                    node[last + 1].price = kUnreachable;
                                }
                            }
                        }
                    }
                }
                if (node[cur].litlen == 0) {
                    const OptNode& from = node[cur - node[cur].length];
                    update_reps(from.rep, node[cur].offset, from.litlen == 0, node[cur].rep);
                }
                if (ip + cur > limit) continue;
                if (cur == last) break;
                if (w.opt_level == 1 && node[cur + 1].price <= node[cur].price + 128) continue;

                const uint32_t* reps = node[cur].rep;
                n = gather_matches(w, ip + cur, end, reps, node[cur].litlen == 0);
                if (n == 0) continue;
                const uint32_t longest = matches[n - 1].length;
                if (longest > w.target || cur + longest > 4095 || ip + cur + longest == end) {
                    direct = true;
                    last = cur + longest;
                    last_seq = StretchEnd{last, matches[n - 1].offset, longest, 0};
                    break;
                }
                const int base2 = int(node[cur].price) + litlen_price(w, 0);
                for (uint32_t i = 0; i < n; ++i) {
                    const uint32_t low = i == 0 ? mm : matches[i - 1].length + 1;
                    for (uint32_t len = matches[i].length; len >= low; --len) {
                        const uint32_t pos = cur + len;
                        const int p = base2 + match_price(w, matches[i].offset, len);
                        if (pos > last || p < int(node[pos].price)) {
                            while (last < pos) {
                                ++last;
                                node[last].price = kUnreachable;
                                node[last].litlen = 1;
                            }
                            node[pos] = OptNode{uint32_t(p), matches[i].offset, len, 0, {0, 0, 0}, 0};
                        } else if (w.opt_level == 1) {
                            break;
                        }
                    }
                }
                node[last + 1].price = kUnreachable;
            }
        }
        if (!direct) last_seq = StretchEnd{last, node[last].offset, node[last].length, node[last].litlen};
        if (last_seq.length == 0) {
            ip += last;
            continue;
        }
        // Repeat offsets after the stretch.
        if (last_seq.litlen > 0) {
            std::copy(node[last].rep, node[last].rep + 3, rep);
        } else {
            const OptNode& from = node[last - last_seq.length];
            update_reps(from.rep, last_seq.offset, from.litlen == 0, rep);
        }
        // Walk back from the end to node 0, collecting the sequences.
        uint32_t count = 0;
        uint32_t* const path = w.path;  // match start, offset value, length; newest first
        uint32_t match_end = last_seq.pos - last_seq.litlen;
        uint32_t offset = last_seq.offset, length = last_seq.length;
        for (;;) {
            const uint32_t mstart = match_end - length;
            path[3 * count] = mstart;
            path[3 * count + 1] = offset;
            path[3 * count + 2] = length;
            ++count;
            const OptNode& from = node[mstart];
            if (from.length == 0) break;
            match_end = mstart - from.litlen;
            offset = from.offset;
            length = from.length;
        }
        for (uint32_t k = count; k-- > 0;) {
            const uint32_t mstart = ip + path[3 * k];
            const uint32_t off = path[3 * k + 1], len = path[3 * k + 2];
            update_stats(w, anchor, mstart - anchor, off, len);
            store_sequence(w, anchor, mstart, len, off);
            anchor = mstart + len;
        }
        ip = ip + last_seq.pos;
        base_prices(w);
    }
    store_last_literals(w, anchor, end);
    w.rep[0] = rep[0];
    w.rep[1] = rep[1];
    w.rep[2] = rep[2];
}

}  // namespace qor::zstd
