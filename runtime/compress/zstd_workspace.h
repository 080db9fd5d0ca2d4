// The compression context of the zstd encoder: match-finder tables,
// parser parameters, optimal-parser statistics, repeat offsets, the
// sequence store and entropy scratch. One lives for one call of
// zstd::compress; tables keep positions as index + 1 from the start of the
// whole input (0 = empty), so they stay valid across blocks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qor::zstd {

inline constexpr uint32_t kOptNodes = 4099;      // nodes of one optimal stretch
inline constexpr uint32_t kOptMaxStretch = 4096;
inline constexpr uint32_t kUnreachable = 1u << 30;

struct OptNode {
    uint32_t price;
    uint32_t offset;     // offset value
    uint32_t length;     // match length, 0 for a literal step
    uint32_t litlen;     // literals before the match (or run so far)
    uint32_t rep[3];
    uint32_t pad;
};

struct MatchEntry {
    uint32_t offset;  // offset value (distance + 3, or 1..3 for repeats)
    uint32_t length;
};

// Sequences of one block (or of a range of it while splitting).
struct SeqStore {
    uint8_t* literals;
    uint32_t literal_count;
    uint32_t* litlen;
    uint32_t* matchlen;
    uint32_t* offset;  // offset values: 1-3 repeat, distance + 3 otherwise
    uint32_t count;
    uint8_t* ll_code;
    uint8_t* ml_code;
    uint8_t* of_code;
};

// Scratch of the entropy coders; the FSE encoding tables of the three
// sequence fields.
struct FseEncoder {
    uint16_t states[512];
    struct Symbol {
        int32_t delta_find;
        uint32_t delta_bits;
    } symbols[64];
    int log;
    bool rle;
};

struct Workspace {
    const uint8_t* base;  // first byte of the whole input
    uint32_t input_length;

    // Match finding.
    uint32_t* hash;
    uint32_t* chain;
    int hash_log;
    int chain_log;
    uint32_t mm_mask;  // second-word mask so hashes cover the minimum match
    uint32_t window;
    int depth;  // -1: hash parser
    uint32_t attempts;
    uint32_t chain_mask;
    uint32_t next_index;
    bool skip;
    bool tree;
    uint32_t tree_mask;
    uint32_t* hash3;
    int hash3_log;  // 0: no 3-byte table
    uint32_t next_index3;

    // Optimal parsing.
    int opt_level;
    uint32_t min_match;
    uint32_t target;
    OptNode* nodes;
    MatchEntry* matches;
    uint32_t* path;  // the sequences of one stretch while walking back
    uint32_t lit_freq[256];
    uint32_t ll_freq[36];
    uint32_t ml_freq[53];
    uint32_t of_freq[32];
    uint32_t lit_sum, ll_sum, ml_sum, of_sum;
    uint32_t lit_base, ll_base, ml_base, of_base;

    // Block splitting.
    bool split;
    uint32_t* rewritten;

    uint32_t rep[3];
    SeqStore seq;
    uint32_t max_sequences;

    // Entropy scratch.
    uint32_t histogram[256];
    uint8_t huff_lengths[256];
    uint8_t huff_weights[256];
    uint32_t huff_codes[256];  // code << 8 | bits
    uint8_t scratch[2048];
    int16_t norm[64];
    FseEncoder ll_enc, of_enc, ml_enc;
};

// Match finders and parsers.
[[nodiscard]] uint32_t count_match(const uint8_t* a, const uint8_t* b, const uint8_t* end);
void parse_fast(Workspace& w, uint32_t start, uint32_t end);
void parse_lazy(Workspace& w, uint32_t start, uint32_t end);
void parse_optimal(Workspace& w, uint32_t start, uint32_t end);
void tree_update(Workspace& w, uint32_t ip, uint32_t end);
// Inserts ip into the binary tree while searching it for matches longer
// than best. Collecting, the matches are appended to w.matches from index
// first and the new count is returned; otherwise the number of positions
// that may be skipped.
[[nodiscard]] uint32_t tree_insert_search(Workspace& w, uint32_t ip, uint32_t end, uint32_t best,
                                          bool collect, uint32_t first);
// Resets the sequence store before a parse.
inline void reset_sequences(Workspace& w) {
    w.seq.literal_count = 0;
    w.seq.count = 0;
}

// Appends one sequence: its literals [anchor, start), the match length and
// offset value.
inline void store_sequence(Workspace& w, uint32_t anchor, uint32_t start, uint32_t length,
                           uint32_t offset) {
    const uint32_t litlen = start - anchor;
    SeqStore& s = w.seq;
    std::memcpy(s.literals + s.literal_count, w.base + anchor, litlen);
    s.literal_count += litlen;
    s.litlen[s.count] = litlen;
    s.matchlen[s.count] = length;
    s.offset[s.count] = offset;
    ++s.count;
}

// Copies the literals left after the last sequence.
inline void store_last_literals(Workspace& w, uint32_t anchor, uint32_t end) {
    if (end == anchor) return;
    std::memcpy(w.seq.literals + w.seq.literal_count, w.base + anchor, end - anchor);
    w.seq.literal_count += end - anchor;
}

// Entropy coding of a block's sections.
[[nodiscard]] int write_literals(Workspace& w, const SeqStore& s, uint8_t* dst, int capacity);
[[nodiscard]] int write_sequences(Workspace& w, SeqStore& s, uint8_t* dst, int capacity);

}  // namespace qor::zstd
