// Entropy tables of the Zstandard decoder: FSE table descriptions and
// decoding tables, and Huffman tree descriptions with their lookup table.
// Every routine checks its input and reports a bad description as failure.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::zstd {

// Reads an FSE table description (normalized probabilities) from at most
// size bytes. On success fills norm[0..*symbols-1] and *log and returns the
// bytes used; returns -1 when the description is malformed.
[[nodiscard]] int read_ncount(const uint8_t* src, size_t size, int max_log, int max_symbol,
                              int16_t* norm, int* symbols, int* log);

// One FSE decoding cell: baseline << 16 | bits << 8 | symbol.
using FseCell = uint32_t;

[[nodiscard]] inline uint32_t fse_symbol(FseCell c) { return c & 0xFF; }
[[nodiscard]] inline uint32_t fse_bits(FseCell c) { return (c >> 8) & 0xFF; }
[[nodiscard]] inline uint32_t fse_base(FseCell c) { return c >> 16; }

// Builds the 1 << log cells of a decoding table from a valid distribution.
void build_fse_table(const int16_t* norm, int symbols, int log, FseCell* table);

// Huffman decoding table for literals: 1 << max_bits entries of
// symbol | length << 8, indexed by the next max_bits bits of a stream.
// `pairs`, made on demand, is indexed by the next pair_bits bits (at least
// 11, so that two short codes fit): the two symbols whose codes fit in
// them together, or just the first where they do not, as
// bits | symbols << 8 | first << 16 | second << 24.
struct HuffTable {
    int max_bits = -1;  // -1: no table yet
    int pair_bits = 0;  // 0: no pairs made for this table
    uint16_t cells[4096];
    uint32_t pairs[4096];
};

// Reads a Huffman tree description (header byte, then FSE-coded or 4-bit
// weights) and builds the table. Returns the bytes used, -1 when malformed.
[[nodiscard]] int read_huffman_table(const uint8_t* src, size_t size, HuffTable& table);

// Makes the table's pairs, which decode_huffman_streams4 then uses: worth
// their cost for a few thousand literals or more.
void make_huffman_pairs(HuffTable& table);

// Decodes count literals from one backward Huffman stream; stores them when
// dst is not null. False when the stream is malformed or does not end
// exactly at its first bit.
[[nodiscard]] bool decode_huffman_stream(const HuffTable& table, const uint8_t* src, size_t size,
                                         uint8_t* dst, size_t count);

// Decodes count literals (at least 6) from four Huffman streams behind
// their jump table of three sizes: the first three streams give
// (count + 3) / 4 literals each, the fourth the rest. Stores them when dst
// is not null. False when the jump table or a stream is malformed.
[[nodiscard]] bool decode_huffman_streams4(const HuffTable& table, const uint8_t* src, size_t size,
                                           uint8_t* dst, size_t count);

}  // namespace qor::zstd
