// Zstandard encoder: parameters by level and input size, the working
// memory, the frame header, the cutting into 128 KiB blocks, the choice
// between raw, RLE and compressed blocks, and the splitting of a compressed
// block into several where that is smaller.
#include "runtime/compress/zstd_compress.h"

#include <algorithm>
#include <cstring>

#include "runtime/compress/zstd_tables.h"
#include "runtime/compress/zstd_workspace.h"
#include "runtime/platform/memory_region.h"

namespace qor::zstd {

namespace {

struct Params {
    uint8_t window_log, chain_log, hash_log, search_log, min_match, strategy;
    uint16_t target;
};

// Rows by source-size class (inputs above 256 KiB, above 128 KiB, above
// 16 KiB, the rest) and level 1..19.
constexpr Params kParams[4][19] = {
    {  // class 0
        {19, 13, 14, 1, 7, 0, 0},
        {20, 15, 16, 1, 6, 0, 0},
        {21, 16, 17, 1, 5, 0, 0},
        {21, 18, 18, 1, 5, 0, 0},
        {21, 18, 19, 3, 5, 1, 0},
        {21, 18, 19, 3, 5, 2, 0},
        {21, 19, 20, 4, 5, 2, 0},
        {21, 19, 20, 4, 5, 3, 0},
        {22, 20, 21, 4, 5, 3, 0},
        {22, 21, 22, 5, 5, 3, 0},
        {22, 21, 22, 6, 5, 3, 0},
        {22, 22, 23, 6, 5, 3, 0},
        {22, 22, 22, 4, 5, 4, 0},
        {22, 22, 23, 5, 5, 4, 0},
        {22, 23, 23, 6, 5, 4, 0},
        {22, 22, 22, 5, 5, 5, 48},
        {23, 23, 22, 5, 4, 5, 64},
        {23, 23, 22, 6, 3, 6, 64},
        {23, 24, 22, 7, 3, 7, 256},
    },
    {  // class 1
        {18, 13, 14, 1, 6, 0, 0},
        {18, 14, 14, 1, 5, 0, 0},
        {18, 16, 16, 1, 4, 0, 0},
        {18, 16, 17, 3, 5, 1, 0},
        {18, 17, 18, 5, 5, 1, 0},
        {18, 18, 19, 3, 5, 2, 0},
        {18, 18, 19, 4, 4, 2, 0},
        {18, 18, 19, 4, 4, 3, 0},
        {18, 18, 19, 5, 4, 3, 0},
        {18, 18, 19, 6, 4, 3, 0},
        {18, 18, 19, 5, 4, 4, 0},
        {18, 19, 19, 7, 4, 4, 0},
        {18, 18, 19, 4, 4, 5, 16},
        {18, 18, 19, 4, 3, 5, 32},
        {18, 18, 19, 6, 3, 5, 128},
        {18, 19, 19, 6, 3, 6, 128},
        {18, 19, 19, 8, 3, 6, 256},
        {18, 19, 19, 6, 3, 7, 128},
        {18, 19, 19, 8, 3, 7, 256},
    },
    {  // class 2
        {17, 12, 13, 1, 6, 0, 0},
        {17, 13, 15, 1, 5, 0, 0},
        {17, 15, 16, 2, 5, 0, 0},
        {17, 17, 17, 2, 4, 0, 0},
        {17, 16, 17, 3, 4, 1, 0},
        {17, 16, 17, 3, 4, 2, 0},
        {17, 16, 17, 3, 4, 3, 0},
        {17, 16, 17, 4, 4, 3, 0},
        {17, 16, 17, 5, 4, 3, 0},
        {17, 16, 17, 6, 4, 3, 0},
        {17, 17, 17, 5, 4, 4, 0},
        {17, 18, 17, 7, 4, 4, 0},
        {17, 18, 17, 3, 4, 5, 12},
        {17, 18, 17, 4, 3, 5, 32},
        {17, 18, 17, 6, 3, 5, 256},
        {17, 18, 17, 6, 3, 6, 128},
        {17, 18, 17, 8, 3, 6, 256},
        {17, 18, 17, 10, 3, 6, 512},
        {17, 18, 17, 5, 3, 7, 256},
    },
    {  // class 3
        {14, 14, 15, 1, 5, 0, 0},
        {14, 14, 15, 1, 4, 0, 0},
        {14, 14, 15, 2, 4, 0, 0},
        {14, 14, 14, 4, 4, 1, 0},
        {14, 14, 14, 3, 4, 2, 0},
        {14, 14, 14, 4, 4, 3, 0},
        {14, 14, 14, 6, 4, 3, 0},
        {14, 14, 14, 8, 4, 3, 0},
        {14, 15, 14, 5, 4, 4, 0},
        {14, 15, 14, 9, 4, 4, 0},
        {14, 15, 14, 3, 4, 5, 12},
        {14, 15, 14, 4, 3, 5, 24},
        {14, 15, 14, 5, 3, 6, 32},
        {14, 15, 15, 6, 3, 6, 64},
        {14, 15, 15, 7, 3, 6, 256},
        {14, 15, 15, 5, 3, 7, 48},
        {14, 15, 15, 6, 3, 7, 128},
        {14, 15, 15, 7, 3, 7, 256},
        {14, 15, 15, 8, 3, 7, 256},
    },};

constexpr uint32_t kBlockSize = 131072;
constexpr uint32_t kSplitMinSequences = 300;
constexpr uint32_t kSplitMaxPoints = 196;

// Writes a 3-byte little-endian block header.
inline void put_block_header(uint8_t* p, uint32_t value) {
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
    p[2] = uint8_t(value >> 16);
}

// Writes one block from a sequence store as compressed, RLE or raw.
// rep_before are the repeat offsets before the block: a raw or RLE block
// leaves the decoder's repeat offsets as they were.
uint8_t* write_block(Workspace& w, SeqStore& s, const uint8_t* block, uint32_t length, bool last,
                     uint8_t* out, const uint32_t* rep_before) {
    const int64_t budget = int64_t(length) - length / 64 - 3;
    int64_t compressed = -1;
    if (budget > 1) {
        const int n = write_literals(w, s, out + 3, int(budget - 1));
        if (n > 0) {
            const int m = write_sequences(w, s, out + 3 + n, int(budget - n));
            if (m >= 0) compressed = n + m;
        }
    }
    bool same = length >= 1;
    for (uint32_t i = 1; same && i < length; ++i) same = block[i] == block[0];
    if (compressed <= 24 && same) {
        put_block_header(out, uint32_t(last) | length << 3 | 2);
        out[3] = block[0];
        std::copy(rep_before, rep_before + 3, w.rep);
        return out + 4;
    }
    if (compressed < 1) {
        put_block_header(out, uint32_t(last) | length << 3);
        if (length) std::memcpy(out + 3, block, length);
        std::copy(rep_before, rep_before + 3, w.rep);
        return out + 3 + length;
    }
    put_block_header(out, uint32_t(last) | uint32_t(compressed) << 3 | 4);
    return out + 3 + compressed;
}

// Offset of a repeat code against a history; ll0 when no literal precedes.
inline uint32_t resolve_repeat(const uint32_t* rep, uint32_t value, bool ll0) {
    const uint32_t code = value - 1 + (ll0 ? 1 : 0);
    return code == 3 ? rep[0] - 1 : rep[code];
}

inline void push_offset(uint32_t* rep, uint32_t value, bool ll0) {
    uint32_t next[3];
    if (value > 3) {
        next[0] = value - 3;
        next[1] = rep[0];
        next[2] = rep[1];
    } else {
        const uint32_t code = value - 1 + (ll0 ? 1 : 0);
        if (code == 0) return;
        next[0] = code == 3 ? rep[0] - 1 : rep[code];
        next[1] = rep[0];
        next[2] = code == 1 ? rep[2] : rep[1];
    }
    std::copy(next, next + 3, rep);
}

// Splits a parsed block by sequence ranges where separate tables pay off.
class Splitter {
public:
    Splitter(Workspace& w, const uint8_t* block, uint32_t length, bool last, uint8_t* out,
             const uint32_t* rep_start)
        : w_(w), whole_(w.seq), block_(block), length_(length), last_(last), out_(out) {
        std::copy(rep_start, rep_start + 3, rep_start_);
        std::copy(w.rep, w.rep + 3, rep_parsed_);
        // Where each sequence's literals start in the source and in the
        // literal buffer.
        src_ = w.rewritten + w.max_sequences;
        lit_ = src_ + w.max_sequences + 1;
        uint32_t src = 0, lit = 0;
        for (uint32_t i = 0; i < whole_.count; ++i) {
            src_[i] = src;
            lit_[i] = lit;
            src += whole_.litlen[i] + whole_.matchlen[i];
            lit += whole_.litlen[i];
        }
        src_[whole_.count] = src;
        lit_[whole_.count] = lit;
    }

    uint8_t* run() {
        split(0, whole_.count, estimate(0, whole_.count));
        if (points_ == 0) return whole();
        std::copy(rep_start_, rep_start_ + 3, w_.rep);
        uint32_t parser[3];
        std::copy(rep_start_, rep_start_ + 3, parser);
        uint8_t* op = out_;
        uint32_t from = 0;
        for (uint32_t k = 0; k <= points_; ++k) {
            const uint32_t to = k < points_ ? point_[k] : whole_.count;
            const uint32_t source = covered(from, to);
            if (uint64_t(op - out_) + source > length_) return whole();
            uint32_t before[3];
            std::copy(w_.rep, w_.rep + 3, before);
            // Repeat codes mean what the decoder's history says; where that
            // differs from the parser's, send the distance instead.
            for (uint32_t i = from; i < to; ++i) {
                const uint32_t value = whole_.offset[i];
                const bool ll0 = whole_.litlen[i] == 0;
                uint32_t emitted = value;
                if (value <= 3 && resolve_repeat(parser, value, ll0) != resolve_repeat(w_.rep, value, ll0))
                    emitted = resolve_repeat(parser, value, ll0) + 3;
                w_.rewritten[i] = emitted;
                push_offset(w_.rep, emitted, ll0);
                push_offset(parser, value, ll0);
            }
            SeqStore s = range(from, to);
            s.offset = w_.rewritten + from;
            op = write_block(w_, s, block_ + src_[from], source, last_ && k == points_, op, before);
            from = to;
        }
        return op;
    }

private:
    // Bytes of the source that sequences [from, to) cover; the range that
    // ends the block also covers its trailing literals.
    uint32_t covered(uint32_t from, uint32_t to) const {
        uint32_t bytes = src_[to] - src_[from];
        if (to == whole_.count) bytes += whole_.literal_count - lit_[whole_.count];
        return bytes;
    }

    SeqStore range(uint32_t from, uint32_t to) const {
        SeqStore s = whole_;
        s.literals = whole_.literals + lit_[from];
        s.literal_count = lit_[to] - lit_[from];
        if (to == whole_.count) s.literal_count += whole_.literal_count - lit_[whole_.count];
        s.litlen += from;
        s.matchlen += from;
        s.offset += from;
        s.count = to - from;
        s.ll_code += from;
        s.ml_code += from;
        s.of_code += from;
        return s;
    }

    // Block size that a range would take, written to the output as scratch.
    uint32_t estimate(uint32_t from, uint32_t to) {
        SeqStore s = range(from, to);
        uint32_t saved[3];
        std::copy(w_.rep, w_.rep + 3, saved);
        const uint8_t* end = write_block(w_, s, block_ + src_[from], covered(from, to), false, out_, saved);
        std::copy(saved, saved + 3, w_.rep);
        return uint32_t(end - out_);
    }

    void split(uint32_t from, uint32_t to, uint32_t whole_estimate) {
        if (to - from < kSplitMinSequences || points_ >= kSplitMaxPoints) return;
        const uint32_t mid = (from + to) / 2;
        const uint32_t left = estimate(from, mid);
        const uint32_t right = estimate(mid, to);
        if (left + right >= whole_estimate) return;
        split(from, mid, left);
        if (points_ < kSplitMaxPoints) point_[points_++] = mid;
        split(mid, to, right);
    }

    uint8_t* whole() {
        w_.seq = whole_;
        std::copy(rep_parsed_, rep_parsed_ + 3, w_.rep);
        return write_block(w_, w_.seq, block_, length_, last_, out_, rep_start_);
    }

    Workspace& w_;
    SeqStore whole_;
    const uint8_t* block_;
    uint32_t length_;
    bool last_;
    uint8_t* out_;
    uint32_t rep_start_[3];
    uint32_t rep_parsed_[3];
    uint32_t* src_;
    uint32_t* lit_;
    uint32_t point_[kSplitMaxPoints];
    uint32_t points_ = 0;
};

uint8_t* compress_block(Workspace& w, uint32_t start, uint32_t length, bool last, uint8_t* out) {
    uint32_t before[3];
    std::copy(w.rep, w.rep + 3, before);
    const uint8_t* block = w.base + start;
    reset_sequences(w);
    if (int64_t(length) - length / 64 - 3 <= 1) {
        store_last_literals(w, start, start + length);
        return write_block(w, w.seq, block, length, last, out, before);
    }
    const uint32_t end = start + length;
    if (w.depth < 0) {
        parse_fast(w, start, end);
    } else if (w.opt_level == 0) {
        parse_lazy(w, start, end);
    } else {
        if (w.opt_level == 3 && w.ll_sum == 0 && length > 8) {
            // Seed the statistics with a first pass over the first block,
            // then parse it again for real.
            parse_optimal(w, start, end);
            std::memset(w.hash, 0, sizeof(uint32_t) << w.hash_log);
            if (w.hash3_log) std::memset(w.hash3, 0, sizeof(uint32_t) << w.hash3_log);
            w.next_index = 0;
            w.next_index3 = 0;
            std::copy(before, before + 3, w.rep);
        }
        parse_optimal(w, start, end);
    }
    if (w.split && w.seq.count >= kSplitMinSequences) return Splitter(w, block, length, last, out, before).run();
    return write_block(w, w.seq, block, length, last, out, before);
}

// Carves the tables and buffers out of one zero-filled region.
class Arena {
public:
    explicit Arena(uint8_t* base) : base_(base) {}
    template <typename T>
    T* take(size_t count) {
        used_ = (used_ + 15) & ~size_t(15);
        T* p = base_ ? reinterpret_cast<T*>(base_ + used_) : nullptr;
        used_ += count * sizeof(T);
        return p;
    }
    [[nodiscard]] size_t used() const { return used_; }

private:
    uint8_t* base_;
    size_t used_ = 0;
};

// Points the workspace's tables into the arena; with a null base it only
// measures.
void lay_out(Workspace& w, Arena& a, uint32_t largest) {
    w.hash = a.take<uint32_t>(size_t(1) << w.hash_log);
    w.chain = a.take<uint32_t>(size_t(1) << w.chain_log);
    w.hash3 = w.hash3_log ? a.take<uint32_t>(size_t(1) << w.hash3_log) : nullptr;
    const size_t n = w.max_sequences;
    w.seq.literals = a.take<uint8_t>(largest + 32);
    w.seq.litlen = a.take<uint32_t>(n);
    w.seq.matchlen = a.take<uint32_t>(n);
    w.seq.offset = a.take<uint32_t>(n);
    w.seq.ll_code = a.take<uint8_t>(n);
    w.seq.ml_code = a.take<uint8_t>(n);
    w.seq.of_code = a.take<uint8_t>(n);
    if (w.tree) w.matches = a.take<MatchEntry>(w.attempts + 8);
    if (w.opt_level > 0) {
        w.nodes = a.take<OptNode>(kOptNodes + 1);
        w.path = a.take<uint32_t>(3 * size_t(kOptNodes));
    }
    if (w.split) w.rewritten = a.take<uint32_t>(3 * n + 2);
}

// Sets the parser parameters for a level and input length.
void set_parameters(Workspace& w, int level, uint32_t length) {
    const int cls = length > 262144 ? 0 : length > 131072 ? 1 : length > 16384 ? 2 : 3;
    const Params& p = kParams[cls][level - 1];
    int hash_log = p.hash_log, chain_log = p.chain_log;
    const int window_log = p.window_log;
    w.min_match = p.min_match < 4 ? 3 : 4;
    const uint32_t mm = std::max<uint32_t>(p.min_match, 4);
    w.mm_mask = uint32_t((uint64_t(1) << ((mm - 4) * 8)) - 1);
    const int s = p.strategy;
    w.tree = s >= 4;
    w.depth = s < 4 ? s - 1 : 2;
    w.opt_level = s >= 4 ? s - 4 : 0;
    int source_log = length <= 64 ? 6 : highbit(length - 1) + 1;
    w.hash3_log = 0;
    w.split = false;
    if (w.tree) {
        source_log = std::min(source_log, window_log);
        hash_log = std::min(hash_log, source_log + 1);
        chain_log = std::min(chain_log, source_log + 1);
        if (w.opt_level > 0 && w.min_match == 3) w.hash3_log = std::min(17, source_log);
        w.split = w.opt_level > 0 && source_log >= 17;
    } else {
        hash_log = std::min(hash_log, source_log);
        if (s == 0) chain_log = std::min(chain_log, source_log - 1);
        else chain_log = std::min({chain_log, source_log, window_log});
    }
    w.hash_log = hash_log;
    w.chain_log = chain_log;
    w.window = 1u << window_log;
    w.attempts = 1u << p.search_log;
    w.chain_mask = (1u << chain_log) - 1;
    w.tree_mask = (1u << (chain_log - 1)) - 1;
    w.target = p.target;
    const uint32_t largest = std::min(length, kBlockSize);
    w.max_sequences = w.min_match == 3 ? largest / 3 + 2 : largest / 4 + 2;
}

// Frees an OS region when the call ends.
struct Region {
    void* address = nullptr;
    size_t size = 0;
    ~Region() {
        if (address) platform::os_free(address, size);
    }
};

}  // namespace

compress::Result compress(uint8_t* output, int32_t* size, const uint8_t* input, int32_t length,
                          int32_t level) {
    if (!size) return compress::Result::Malformed;
    if (length < 0 || (!input && length > 0)) return compress::Result::Malformed;
    const uint32_t len = uint32_t(length);
    const uint64_t blocks = std::max<uint64_t>(1, (uint64_t(len) + kBlockSize - 1) / kBlockSize);
    const uint64_t bound = 3 * blocks + len + 10;
    const uint64_t capacity = compress::capacity_of(output, size);
    if (!output || capacity < bound) {
        if (!compress::store_size(size, bound)) return compress::Result::Malformed;
        return compress::Result::OutputTooSmall;
    }
    if (level < 1) level = 3;
    if (level > 19) level = 19;

    Workspace w{};
    w.base = input;
    w.input_length = len;
    set_parameters(w, level, len);
    w.rep[0] = 1;
    w.rep[1] = 4;
    w.rep[2] = 8;
    const uint32_t largest = std::min(len, kBlockSize);
    Arena measure(nullptr);
    lay_out(w, measure, largest);
    alignas(16) uint8_t small[32768];
    Region region;
    uint8_t* memory = small;
    if (measure.used() <= sizeof(small)) {
        std::memset(small, 0, measure.used());
    } else {
        region.size = measure.used();
        region.address = platform::os_alloc(region.size);
        memory = static_cast<uint8_t*>(region.address);
    }
    Arena arena(memory);
    lay_out(w, arena, largest);

    // Frame header: magic, then the content size in the smallest form.
    uint8_t* op = output;
    const uint8_t magic[4] = {0x28, 0xB5, 0x2F, 0xFD};
    std::memcpy(op, magic, 4);
    op += 4;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) *op++ = uint8_t(v >> (8 * i));
    };
    if (len > w.window) {
        *op++ = 0x80;
        *op++ = uint8_t((highbit(w.window) - 10) << 3);
        put32(len);
    } else if (len < 256) {
        *op++ = 0x20;
        *op++ = uint8_t(len);
    } else if (len < 65792) {
        *op++ = 0x60;
        *op++ = uint8_t(len - 256);
        *op++ = uint8_t((len - 256) >> 8);
    } else {
        *op++ = 0xA0;
        put32(len);
    }
    uint32_t pos = 0;
    do {
        const uint32_t n = std::min(kBlockSize, len - pos);
        op = compress_block(w, pos, n, pos + n == len, op);
        pos += n;
    } while (pos < len);
    *size = int32_t(op - output);
    return compress::Result::Done;
}

}  // namespace qor::zstd
