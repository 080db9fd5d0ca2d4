// deflate_compress.cpp - the raw deflate encoder: a hash-chain match
// finder over a 32 KiB window with lazy match evaluation, feeding blocks of
// up to 16,384 symbols to the block writer.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "runtime/compress/deflate.h"
#include "runtime/compress/deflate_huffman.h"

namespace qor::deflate {

using compress::Result;

namespace {

// Per-level limits of the match search.
struct LevelLimits {
    std::uint32_t good;   // pending match this long: quarter the chain
    std::uint32_t lazy;   // search again only while the pending match is shorter
    std::uint32_t nice;   // a match this long ends the search
    std::uint32_t chain;  // most candidates examined
};

constexpr std::array<LevelLimits, 10> kLevels = {{
    {0, 0, 0, 0},
    {4, 4, 8, 4},
    {4, 5, 16, 8},
    {4, 6, 32, 32},
    {4, 4, 16, 16},
    {8, 16, 32, 32},
    {8, 16, 128, 128},
    {8, 32, 128, 256},
    {32, 128, 258, 1024},
    {32, 258, 258, 4096},
}};

constexpr std::uint32_t kWindowMask = 0x7FFF;
constexpr std::uint32_t kMaxDistance = 32767;
constexpr std::uint32_t kMaxMatch = 258;
constexpr std::uint32_t kFarThreeByteMatch = 4096;  // shorter pays more than literals

// The work area of one call. Positions are 1-based so that 0 means "none".
// Only the hash buckets in use are cleared; hash_prev entries are written
// before they are read.
struct WorkArea {
    std::int32_t hash_head[kWindowMask + 1];
    std::int32_t hash_prev[kWindowMask + 1];
    BlockState block;
};

// Number of equal bytes at a and b, at most n.
inline std::uint32_t common_prefix(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t n) {
    std::uint32_t i = 0;
    while (i + 8 <= n) {
        std::uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) return i + static_cast<std::uint32_t>(__builtin_ctzll(x ^ y) >> 3);
        i += 8;
    }
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

// Walks the hash chain from `cand` for a match at 1-based position p longer
// than `best` (at most max_len). Writes the distance only when it finds a
// longer match; returns the best length.
std::uint32_t longest_match(const std::uint8_t* in, const std::int32_t* hash_prev, std::uint32_t p,
                            std::uint32_t cand, std::uint32_t best, std::uint32_t max_len,
                            std::uint32_t& distance, const LevelLimits& lim) {
    if (best >= max_len) return best;
    std::uint32_t chain = lim.chain;
    if (best >= lim.good) chain >>= 2;
    const std::uint32_t nice = std::min(lim.nice, max_len);
    const std::uint32_t limit = p > kMaxDistance + 1 ? p - (kMaxDistance + 1) : 0;
    const std::uint8_t* cur = in + p - 1;
    std::uint8_t end1 = cur[best - 1], end2 = cur[best];
    while (cand > limit && chain > 0) {
        const std::uint8_t* m = in + cand - 1;
        // Cheap reject first: a longer match must agree at the current end.
        if (m[best] == end2 && m[best - 1] == end1 && m[0] == cur[0] && m[1] == cur[1]) {
            const std::uint32_t len = 2 + common_prefix(m + 2, cur + 2, max_len - 2);
            if (len > best) {
                distance = p - cand;
                best = len;
                if (best >= nice) break;
                end1 = cur[best - 1];
                end2 = cur[best];
            }
        }
        cand = static_cast<std::uint32_t>(hash_prev[cand & kWindowMask]);
        --chain;
    }
    return best;
}

}  // namespace

Result compress(std::uint8_t* out, std::int32_t* size, const std::uint8_t* in, std::int32_t length,
                std::int32_t level) {
    if (size == nullptr) return Result::Malformed;
    const std::uint64_t cap = compress::capacity_of(out, size);
    if (length < 0 || (in == nullptr && length > 0)) {
        *size = 0;
        return Result::Malformed;
    }
    if (level < 1) level = 6;
    if (level > 9) level = 9;
    const LevelLimits& lim = kLevels[level];
    const auto len = static_cast<std::uint32_t>(length);

    // Small inputs get small hash tables: 2^8 to 2^15 buckets.
    unsigned k = 8;
    while (k < 15 && (1u << k) < len) ++k;
    const std::uint32_t mask = (1u << k) - 1;

    std::unique_ptr<WorkArea> work(new WorkArea);
    std::fill_n(work->hash_head, mask + 1, 0);
    std::int32_t* head = work->hash_head;
    std::int32_t* prev = work->hash_prev;
    BlockState& block = work->block;
    BitWriter w(out, cap);

    std::uint32_t hash = len >= 3 ? (static_cast<std::uint32_t>(in[0]) << 5) ^ in[1] : 0;
    std::uint32_t pending_len = 2, pending_dist = 0, skip = 0;
    bool literal_pending = false;
    std::uint64_t block_start = 1, block_end = 1;

    for (std::uint32_t p = 1; p <= len; ++p) {
        // Insert every position that has two bytes after it, even inside a match.
        std::uint32_t cand = 0;
        if (p + 2 <= len) {
            hash = ((hash << 5) ^ in[p + 1]) & mask;
            cand = static_cast<std::uint32_t>(head[hash]);
            head[hash] = static_cast<std::int32_t>(p);
            prev[p & kWindowMask] = static_cast<std::int32_t>(cand);
        }
        if (skip > 0) {
            --skip;
            continue;
        }

        std::uint32_t cur_len = 2, cur_dist = 0;
        if (cand > 0 && p - cand <= kMaxDistance && pending_len < lim.lazy) {
            const std::uint32_t max_len = std::min(len - p + 1, kMaxMatch);
            cur_len = longest_match(in, prev, p, cand, pending_len, max_len, cur_dist, lim);
            if (cur_len == 3 && cur_dist > kFarThreeByteMatch) cur_len = 2;
        }

        if (pending_len >= 3 && cur_len <= pending_len) {
            // The match found one position back is at least as good: take it.
            block.add_match(pending_dist, pending_len);
            block_end = p - 1 + pending_len;
            skip = pending_len - 2;
            pending_len = 2;
            literal_pending = false;
        } else {
            if (literal_pending) {
                block.add_literal(in[p - 2]);
                block_end = p;
            }
            literal_pending = true;
            pending_len = cur_len;
            pending_dist = cur_dist;
        }

        if (block.symbol_count == kSymbolBufferSize) {
            write_block(w, block, in, block_start - 1, block_end - 1, false);
            block_start = block_end;
        }
    }

    if (literal_pending) {
        block.add_literal(in[len - 1]);
        block_end = std::uint64_t{len} + 1;
    }
    write_block(w, block, in, block_start - 1, block_end - 1, true);
    w.align();
    return compress::finish_size(size, w.position(), cap);
}

}  // namespace qor::deflate
