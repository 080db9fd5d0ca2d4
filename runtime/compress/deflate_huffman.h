// deflate_huffman.h - Huffman code building and the deflate block writer.
//
// Two layers live here:
//   - generic Huffman helpers (bit reversal, the length-limited code-length
//     builder, canonical code assignment) that other codecs reuse;
//   - the deflate bit writer and block writer, which price one block of
//     buffered symbols as stored, fixed and dynamic and write the cheapest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace qor::deflate {

// ---------------------------------------------------------------------------
// Generic Huffman helpers

// Largest alphabet build_code_lengths accepts (deflate's literal/length
// alphabet; zstd literals use 256).
inline constexpr int kMaxCodeSymbols = 288;
inline constexpr int kMaxCodeBits = 15;

namespace detail {
constexpr std::array<std::uint8_t, 256> make_byte_reversal() {
    std::array<std::uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        int r = 0;
        for (int b = 0; b < 8; ++b)
            if (i & (1 << b)) r |= 0x80 >> b;
        t[i] = static_cast<std::uint8_t>(r);
    }
    return t;
}
inline constexpr std::array<std::uint8_t, 256> kByteReversal = make_byte_reversal();
}  // namespace detail

// The low 16 bits of `value`, in reverse order.
[[nodiscard]] constexpr std::uint32_t reverse_bits16(std::uint32_t value) {
    return static_cast<std::uint32_t>(detail::kByteReversal[value & 0xFF]) << 8 |
           detail::kByteReversal[(value >> 8) & 0xFF];
}

// Fills lengths[i] with the code length of symbol i (0 = unused) for an
// optimal prefix code over `freqs`, limited to `max_len` bits (1..15).
// freqs and lengths have the same size n, 2 <= n <= kMaxCodeSymbols, and
// the frequencies must sum to less than 2^31. A code always has at least
// two symbols: with fewer than two used, symbols 0 and 1 (or 0 and the one
// used symbol) get length 1. The caller must keep the number of used
// symbols at or below 2^max_len. The frequencies are not changed.
void build_code_lengths(std::span<const std::uint32_t> freqs,
                        std::span<std::uint8_t> lengths, int max_len);

// Canonical prefix codes for `lengths` (each 0..15), stored bit-reversed so
// that they can be written least significant bit first. A symbol of length
// 0 gets code 0. codes has the size of lengths.
void assign_codes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes);

// ---------------------------------------------------------------------------
// Deflate's length and distance alphabets

inline constexpr std::array<std::uint16_t, 29> kLengthBase = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::array<std::uint8_t, 29> kLengthExtra = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
    3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr std::array<std::uint8_t, 30> kDistanceExtra = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Order in which a dynamic header sends the code-length code lengths.
inline constexpr std::array<std::uint8_t, 19> kCodeLengthOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

inline constexpr int kLitLenSymbols = 286;   // usable literal/length symbols
inline constexpr int kLitLenCodes = 288;     // literal/length alphabet incl. 286, 287
inline constexpr int kDistanceSymbols = 30;
inline constexpr int kDistanceCodes = 32;
inline constexpr int kCodeLengthSymbols = 19;
inline constexpr int kEndOfBlock = 256;

constexpr int floor_log2(std::uint32_t v) { return 31 - __builtin_clz(v); }

// Index (0..28) of the length code for a match length minus 3 (0..255).
[[nodiscard]] constexpr int length_code(std::uint32_t l) {
    if (l < 8) return static_cast<int>(l);
    if (l == 255) return 28;
    int b = floor_log2(l) - 2;
    return static_cast<int>(l >> b) + 4 * b;
}

// Distance code (0..29) for a distance minus 1 (0..32767).
[[nodiscard]] constexpr int distance_code(std::uint32_t d) {
    if (d < 4) return static_cast<int>(d);
    int b = floor_log2(d) - 1;
    return static_cast<int>(d >> b) + 2 * b;
}

// ---------------------------------------------------------------------------
// Bit writer

// Writes bits least significant first. Bytes are stored only while the
// cursor is before the end of the output, but the cursor always advances,
// so a too-small output still yields the exact size needed.
class BitWriter {
public:
    BitWriter(std::uint8_t* out, std::uint64_t capacity) : out_(out), cap_(capacity) {}

    // Appends the low `count` bits (count <= 32) of value; value must fit.
    void put_bits(std::uint32_t value, unsigned count) {
        acc_ |= static_cast<std::uint64_t>(value) << nbits_;
        nbits_ += count;
        if (nbits_ >= 32) flush32();
    }
    // Zero bits up to the next byte boundary, and every held byte out.
    void align();
    // Raw bytes; the writer must be aligned.
    void put_bytes(const std::uint8_t* p, std::size_t n);
    // Bits already written into the current partial byte (0..7).
    [[nodiscard]] unsigned partial_bits() const { return nbits_ & 7; }
    // Bytes the cursor advanced, including the partial byte's full bytes
    // still held (valid after align()).
    [[nodiscard]] std::uint64_t position() const { return pos_ + nbits_ / 8; }

private:
    void flush32();
    void store_byte(std::uint8_t b) {
        if (pos_ < cap_) out_[pos_] = b;
        ++pos_;
    }

    std::uint8_t* out_;
    std::uint64_t cap_;
    std::uint64_t pos_ = 0;
    std::uint64_t acc_ = 0;
    unsigned nbits_ = 0;
};

// ---------------------------------------------------------------------------
// Block writer

// Symbols buffered for one block: a literal is its byte value; a match is
// distance << 8 | (length - 3), so every match entry is at least 256.
inline constexpr int kSymbolBufferSize = 16384;

// The per-block state of the compressor: frequencies and code tables.
// Frequencies must be zero when a block starts; write_block clears them.
struct BlockState {
    std::array<std::uint32_t, kLitLenCodes> lit_freq{};
    std::array<std::uint32_t, kDistanceCodes> dist_freq{};
    std::array<std::uint32_t, kCodeLengthSymbols> cl_freq{};

    std::array<std::uint8_t, kLitLenCodes> lit_len{};
    std::array<std::uint8_t, kDistanceCodes> dist_len{};
    std::array<std::uint8_t, kCodeLengthSymbols> cl_len{};
    std::array<std::uint16_t, kLitLenCodes> lit_code{};
    std::array<std::uint16_t, kDistanceCodes> dist_code{};
    std::array<std::uint16_t, kCodeLengthSymbols> cl_code{};

    std::array<std::uint32_t, kSymbolBufferSize> symbols;  // filled before read
    int symbol_count = 0;

    // Counts one buffered symbol into the frequencies and the buffer.
    void add_literal(std::uint8_t byte) {
        ++lit_freq[byte];
        symbols[symbol_count++] = byte;
    }
    void add_match(std::uint32_t distance, std::uint32_t length) {
        ++lit_freq[257 + length_code(length - 3)];
        ++dist_freq[distance_code(distance - 1)];
        symbols[symbol_count++] = distance << 8 | (length - 3);
    }
};

// Writes the buffered symbols as one block covering input[begin, end),
// as stored, fixed or dynamic, whichever costs the fewest bits (ties go to
// stored, then fixed). Clears the frequencies and the symbol count.
void write_block(BitWriter& w, BlockState& s, const std::uint8_t* input,
                 std::uint64_t begin, std::uint64_t end, bool final);

}  // namespace qor::deflate
