// FSE encoding for the zstd encoder: table-log choice, normalization of
// counts, the table description, encoding tables, and a forward bit writer
// whose bits a backward reader takes in reverse.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/compress/zstd_workspace.h"

namespace qor::zstd {

// Writes bits from the least significant end; whole 32-bit words go out as
// soon as they are complete. Never writes at or past end: a write that
// would is recorded as overflow.
class ForwardBitWriter {
public:
    ForwardBitWriter(uint8_t* dst, uint8_t* end) : start_(dst), op_(dst), end_(end) {}
    void put(uint64_t value, unsigned bits) {
        acc_ |= value << count_;
        count_ += bits;
        if (count_ >= 32) {
            if (end_ - op_ < 4) {
                overflow_ = true;
            } else {
                for (int i = 0; i < 4; ++i) op_[i] = uint8_t(acc_ >> (8 * i));
                op_ += 4;
            }
            acc_ >>= 32;
            count_ -= 32;
        }
    }
    // Room left before end, in whole bytes already flushed.
    [[nodiscard]] ptrdiff_t room() const { return end_ - op_; }
    // Adds the closing 1 bit, pads to a byte and writes everything held.
    // Returns the stream size, or -1 on overflow.
    [[nodiscard]] int close() {
        put(1, 1);
        const unsigned bytes = (count_ + 7) / 8;
        if (overflow_ || end_ - op_ < ptrdiff_t(bytes)) return -1;
        for (unsigned i = 0; i < bytes; ++i) op_[i] = uint8_t(acc_ >> (8 * i));
        return int(op_ + bytes - start_);
    }

private:
    uint8_t* start_;
    uint8_t* op_;
    uint8_t* end_;
    uint64_t acc_ = 0;
    unsigned count_ = 0;
    bool overflow_ = false;
};

// Accuracy log for total symbols whose largest value is max_symbol, at
// most ceiling and at least 5.
[[nodiscard]] int fse_table_log(int ceiling, uint32_t total, uint32_t max_symbol);

// Scales counts[0..symbols) summing to total to probabilities summing to
// 1 << log. Every present symbol gets at least 1.
void fse_normalize(const uint32_t* counts, int symbols, uint32_t total, int log, int16_t* out);

// Writes the table description; returns its size in bytes. dst needs room
// for the worst case (at most 2 + symbols * 10 / 8 bytes).
[[nodiscard]] int fse_write_ncount(const int16_t* norm, int symbols, int log, uint8_t* dst);

// Builds the encoding tables of a distribution.
void fse_build_encoder(const int16_t* norm, int symbols, int log, FseEncoder& e);

// The starting state that emits symbol s first.
[[nodiscard]] inline uint32_t fse_init_state(const FseEncoder& e, const int16_t* norm, unsigned s) {
    const int n = norm[s] == -1 ? 1 : norm[s];
    return e.states[e.symbols[s].delta_find + n];
}

// Moves the state to the one that emits s before it, writing the bits that
// lead back.
inline void fse_encode(const FseEncoder& e, uint32_t& state, unsigned s, ForwardBitWriter& out) {
    const FseEncoder::Symbol& sym = e.symbols[s];
    const unsigned bits = (state + sym.delta_bits) >> 16;
    out.put(state & ((1u << bits) - 1), bits);
    state = e.states[(state >> bits) + uint32_t(sym.delta_find)];
}

}  // namespace qor::zstd
