// Match finding of the zstd encoder: the hash parser (two hash tables), the
// chain parser with 0-2 steps of look-ahead, and the binary-tree search
// that also feeds the optimal parser. Positions are indexes from the start
// of the input; tables store index + 1.
#include <algorithm>

#include "runtime/compress/zstd_bits.h"
#include "runtime/compress/zstd_tables.h"
#include "runtime/compress/zstd_workspace.h"

namespace qor::zstd {

namespace {

constexpr uint32_t kPrime1 = 0x9E3779B1u;
constexpr uint32_t kPrime2 = 0x85EBCA77u;

inline uint32_t word(const Workspace& w, uint32_t p) { return read_u32le(w.base + p); }

// Hash of the 8 bytes at p.
inline uint32_t long_hash(const Workspace& w, uint32_t p, int log) {
    return ((word(w, p + 4) * kPrime2) ^ (word(w, p) * kPrime1)) >> (32 - log);
}

// Hash of the minimum-match bytes at p (4 to 7).
inline uint32_t mm_hash(const Workspace& w, uint32_t p, int log) {
    return (((word(w, p + 4) & w.mm_mask) * kPrime2) ^ (word(w, p) * kPrime1)) >> (32 - log);
}

// Extends a match backward over equal bytes, not before the anchor nor
// before the input start.
inline void extend_back(const Workspace& w, uint32_t anchor, uint32_t& start, uint32_t distance,
                        uint32_t& length) {
    while (start > anchor && start - distance > 0 &&
           w.base[start - 1] == w.base[start - 1 - distance]) {
        --start;
        ++length;
    }
}

// True when the 4 bytes at q repeat those distance back.
inline bool repeat_at(const Workspace& w, uint32_t q, uint32_t distance) {
    return q >= distance && word(w, q) == word(w, q - distance);
}

inline uint32_t count_from(const Workspace& w, uint32_t a, uint32_t b, uint32_t skip, uint32_t end) {
    return count_match(w.base + a + skip, w.base + b + skip, w.base + end);
}

}  // namespace

uint32_t count_match(const uint8_t* a, const uint8_t* b, const uint8_t* end) {
    const uint8_t* const start = a;
    while (a + 4 <= end) {
        const uint32_t diff = read_u32le(a) ^ read_u32le(b);
        if (diff) return uint32_t(a - start) + (__builtin_ctz(diff) >> 3);
        a += 4;
        b += 4;
    }
    while (a < end && *a == *b) {
        ++a;
        ++b;
    }
    return uint32_t(a - start);
}

void parse_fast(Workspace& w, uint32_t start, uint32_t end) {
    reset_sequences(w);
    uint32_t rep1 = w.rep[0], rep2 = w.rep[1];
    uint32_t ip = start, anchor = start;
    const uint32_t limit = end - start > 8 ? end - 8 : start;  // the last 8 bytes stay literals
    const int hl = w.hash_log, cl = w.chain_log;
    while (ip < limit) {
        const uint32_t cur = ip;
        const uint32_t hL = long_hash(w, ip, hl), hS = mm_hash(w, ip, cl);
        const uint32_t L = w.hash[hL], S = w.chain[hS];
        w.hash[hL] = w.chain[hS] = cur + 1;
        uint32_t length, mstart, distance = 0;
        bool repeat = false;
        if (repeat_at(w, ip + 1, rep1)) {
            length = 4 + count_from(w, ip + 1, ip + 1 - rep1, 4, end);
            mstart = ip + 1;
            repeat = true;
        } else if (L >= 1 && cur - L < w.window && read_u64le(w.base + L - 1) == read_u64le(w.base + ip)) {
            length = 8 + count_from(w, ip, L - 1, 8, end);
            mstart = ip;
            distance = cur - L + 1;
        } else if (S >= 1 && cur - S < w.window && word(w, S - 1) == word(w, ip)) {
            distance = cur - S + 1;
            const uint32_t h1 = long_hash(w, ip + 1, hl);
            const uint32_t L1 = w.hash[h1];
            w.hash[h1] = cur + 2;
            if (L1 >= 1 && cur - L1 + 1 < w.window &&
                read_u64le(w.base + L1 - 1) == read_u64le(w.base + ip + 1)) {
                length = 8 + count_from(w, ip + 1, L1 - 1, 8, end);
                mstart = ip + 1;
                distance = cur - L1 + 2;
            } else {
                length = 4 + count_from(w, ip, S - 1, 4, end);
                mstart = ip;
            }
        } else {
            ip += ((ip - anchor) >> 8) + 1;
            continue;
        }
        uint32_t offset = 1;
        if (!repeat) {
            extend_back(w, anchor, mstart, distance, length);
            rep2 = rep1;
            rep1 = distance;
            offset = distance + 3;
        }
        store_sequence(w, anchor, mstart, length, offset);
        ip = anchor = mstart + length;
        if (ip <= limit) {
            // Index a few positions of the match just taken.
            w.hash[long_hash(w, cur + 2, hl)] = cur + 3;
            w.chain[mm_hash(w, cur + 2, cl)] = cur + 3;
            w.hash[long_hash(w, ip - 2, hl)] = ip - 1;
            w.chain[mm_hash(w, ip - 1, cl)] = ip;
            while (ip <= limit && repeat_at(w, ip, rep2)) {
                const uint32_t rl = 4 + count_from(w, ip, ip - rep2, 4, end);
                std::swap(rep1, rep2);
                w.hash[long_hash(w, ip, hl)] = ip + 1;
                w.chain[mm_hash(w, ip, cl)] = ip + 1;
                store_sequence(w, ip, ip, rl, 1);
                ip = anchor = ip + rl;
            }
        }
    }
    store_last_literals(w, anchor, end);
    w.rep[0] = rep1;
    w.rep[1] = rep2;
}

namespace {

// Indexes the pending positions below ip into the hash chains and returns
// the longest match at ip (0 when below 4).
uint32_t chain_best_match(Workspace& w, uint32_t ip, uint32_t end, uint32_t& distance) {
    const uint32_t mask = w.chain_mask;
    uint32_t i = w.next_index;
    while (i < ip) {
        const uint32_t h = mm_hash(w, i, w.hash_log);
        w.chain[i & mask] = w.hash[h];
        w.hash[h] = i + 1;
        ++i;
        if (w.skip) break;
    }
    w.next_index = ip;
    const uint32_t cur = ip;
    uint32_t candidate = w.hash[mm_hash(w, ip, w.hash_log)];
    const uint32_t low = cur > w.window ? cur - w.window : 0;
    const int64_t chain_low = int64_t(cur) - int64_t(mask) - 1;
    uint32_t best = 3;
    for (uint32_t n = w.attempts; n > 0 && candidate > low; --n) {
        const uint32_t m = candidate - 1;
        if (word(w, m + best - 3) == word(w, ip + best - 3)) {
            const uint32_t length = count_match(w.base + ip, w.base + m, w.base + end);
            if (length > best) {
                distance = cur - m;
                best = length;
                if (ip + length == end) break;
            }
        }
        if (int64_t(m) <= chain_low) break;
        candidate = w.chain[m & mask];
    }
    return best > 3 ? best : 0;
}

// Longest match at ip from the binary tree, chosen among the collected
// matches by length against the cost of a farther offset.
uint32_t tree_best_match(Workspace& w, uint32_t ip, uint32_t end, uint32_t& distance) {
    if (ip < w.next_index) return 0;
    tree_update(w, ip, end);
    const uint32_t n = tree_insert_search(w, ip, end, 3, true, 0);
    uint32_t best_offset = 999999999, best_length = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const MatchEntry& m = w.matches[i];
        if (highbit(m.offset - 2) - highbit(best_offset) < int(m.length - best_length) * 4) {
            best_offset = m.offset;
            best_length = m.length;
        }
    }
    distance = best_offset - 3;
    return best_length;
}

inline uint32_t best_match(Workspace& w, uint32_t ip, uint32_t end, uint32_t& distance) {
    return w.tree ? tree_best_match(w, ip, end, distance) : chain_best_match(w, ip, end, distance);
}

}  // namespace

uint32_t tree_insert_search(Workspace& w, uint32_t ip, uint32_t end, uint32_t best, bool collect,
                            uint32_t first) {
    const uint32_t cur = ip;
    const uint32_t h = mm_hash(w, ip, w.hash_log);
    uint32_t candidate = w.hash[h];
    w.hash[h] = cur + 1;
    const uint32_t window_low = cur > w.window ? cur - w.window : 0;
    const int64_t tree_low = int64_t(cur) - int64_t(w.tree_mask);
    uint32_t* tree = w.chain;
    uint32_t* smaller = tree + (cur & w.tree_mask) * 2;
    uint32_t* larger = smaller + 1;
    uint32_t dummy = 0;
    uint32_t common_smaller = 0, common_larger = 0;
    uint32_t match_end = cur + 9;
    uint32_t found = first;
    const uint8_t* const in = w.base;
    for (uint32_t attempts = w.attempts; candidate > window_low && attempts > 0; --attempts) {
        const uint32_t m = candidate - 1;
        uint32_t length = std::min(common_smaller, common_larger);
        length += count_match(in + ip + length, in + m + length, in + end);
        if (length > best) {
            match_end = std::max(match_end, m + length);
            best = length;
            if (collect) {
                w.matches[found++] = MatchEntry{cur - m + 3, length};
                if (length > 4096) break;
            }
        }
        if (ip + length == end) break;
        if (in[m + length] < in[ip + length]) {
            *smaller = candidate;
            common_smaller = length;
            if (int64_t(m) <= tree_low) {
                smaller = &dummy;
                break;
            }
            smaller = tree + (m & w.tree_mask) * 2 + 1;
            candidate = *smaller;
        } else {
            *larger = candidate;
            common_larger = length;
            if (int64_t(m) <= tree_low) {
                larger = &dummy;
                break;
            }
            larger = tree + (m & w.tree_mask) * 2;
            candidate = *larger;
        }
    }
    *smaller = 0;
    *larger = 0;
    if (collect) {
        w.next_index = match_end - 8;
        return found;
    }
    const uint32_t s = best > 384 ? std::min<uint32_t>(192, best - 384) : 0;
    return std::max(match_end - cur - 8, s);
}

void tree_update(Workspace& w, uint32_t ip, uint32_t end) {
    uint32_t i = w.next_index;
    while (i < ip) {
        const uint32_t step = tree_insert_search(w, i, end, 8, false, 0);
        i = w.skip ? ip : i + step;
    }
    w.next_index = ip;
}

void parse_lazy(Workspace& w, uint32_t start, uint32_t end) {
    reset_sequences(w);
    uint32_t rep1 = w.rep[0], rep2 = w.rep[1];
    uint32_t ip = start, anchor = start;
    const uint32_t limit = end - start > 8 ? end - 8 : start;
    const int depth = w.depth;
    while (ip < limit) {
        uint32_t length = 0, offset = 1, mstart = ip + 1;
        if (repeat_at(w, ip + 1, rep1)) length = 4 + count_from(w, ip + 1, ip + 1 - rep1, 4, end);
        if (!(depth == 0 && length >= 4)) {
            uint32_t distance = 0;
            const uint32_t found = best_match(w, ip, end, distance);
            if (found > length) {
                length = found;
                offset = distance + 3;
                mstart = ip;
            }
            if (length < 4) {
                const uint32_t step = ((ip - anchor) >> 8) + 1;
                ip += step;
                w.skip = step > 8;
                continue;
            }
            // Look ahead: a later start wins when its gain beats the current
            // match's by the cost of its offset.
            while (depth >= 1 && ip < limit) {
                ++ip;
                if (repeat_at(w, ip, rep1)) {
                    const uint32_t r = 4 + count_from(w, ip, ip - rep1, 4, end);
                    if (int(length * 3) - highbit(offset) + 1 < int(r * 3)) {
                        length = r;
                        offset = 1;
                        mstart = ip;
                    }
                }
                uint32_t d2 = 0;
                uint32_t l2 = best_match(w, ip, end, d2);
                if (l2 >= 1 && int(l2 * 4) - highbit(d2 + 3) > int(length * 4) - highbit(offset) + 4) {
                    length = l2;
                    offset = d2 + 3;
                    mstart = ip;
                    continue;
                }
                if (depth == 2 && ip < limit) {
                    ++ip;
                    if (repeat_at(w, ip, rep1)) {
                        const uint32_t r = 4 + count_from(w, ip, ip - rep1, 4, end);
                        if (int(length * 4) - highbit(offset) + 1 < int(r * 4)) {
                            length = r;
                            offset = 1;
                            mstart = ip;
                        }
                    }
                    l2 = best_match(w, ip, end, d2);
                    if (l2 >= 1 && int(l2 * 4) - highbit(d2 + 3) > int(length * 4) - highbit(offset) + 7) {
                        length = l2;
                        offset = d2 + 3;
                        mstart = ip;
                        continue;
                    }
                }
                break;
            }
        }
        if (offset != 1) {
            const uint32_t distance = offset - 3;
            extend_back(w, anchor, mstart, distance, length);
            rep2 = rep1;
            rep1 = distance;
        }
        store_sequence(w, anchor, mstart, length, offset);
        ip = anchor = mstart + length;
        w.skip = false;
        while (ip <= limit && repeat_at(w, ip, rep2)) {
            const uint32_t rl = 4 + count_from(w, ip, ip - rep2, 4, end);
            std::swap(rep1, rep2);
            store_sequence(w, ip, ip, rl, 1);
            ip = anchor = ip + rl;
        }
    }
    store_last_literals(w, anchor, end);
    w.rep[0] = rep1;
    w.rep[1] = rep2;
}

}  // namespace qor::zstd
