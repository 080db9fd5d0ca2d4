// Bit streams of Zstandard: the backward reader used for Huffman streams,
// FSE-coded weights and sequences (read from the last byte toward the
// first), and little-endian byte readers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qor::zstd {

[[nodiscard]] inline uint32_t read_u16le(const uint8_t* p) { return p[0] | (uint32_t(p[1]) << 8); }
[[nodiscard]] inline uint32_t read_u24le(const uint8_t* p) { return read_u16le(p) | (uint32_t(p[2]) << 16); }
[[nodiscard]] inline uint32_t read_u32le(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
[[nodiscard]] inline uint64_t read_u64le(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Reads a stream backward: its last byte holds a 1 bit above the padding
// that marks where the data starts. Bits are taken from the most
// significant end of a 64-bit window. Reading past the start of the stream
// yields zero bits and leaves the stream overflowed, which callers check
// once at the end instead of on every read.
class BackwardBits {
public:
    // False when the stream is empty or its last byte is zero.
    [[nodiscard]] bool init(const uint8_t* begin, size_t size) {
        if (size == 0 || begin[size - 1] == 0) return false;
        begin_ = begin;
        const unsigned top = 31 - __builtin_clz(begin[size - 1]);
        if (size >= 8) {
            ptr_ = begin + size - 8;
            bits_ = read_u64le(ptr_);
            consumed_ = 8 - top;
        } else {
            ptr_ = begin;
            bits_ = 0;
            for (size_t i = 0; i < size; ++i) bits_ |= uint64_t(begin[i]) << (8 * i);
            consumed_ = unsigned(8 - size) * 8 + 8 - top;
        }
        return true;
    }

    // The next n bits (0 to 57 after a reload) without consuming them.
    [[nodiscard]] uint64_t peek(unsigned n) const {
        return ((bits_ << (consumed_ & 63)) >> 1) >> ((63 - n) & 63);
    }
    void skip(unsigned n) { consumed_ += n; }
    [[nodiscard]] uint64_t read(unsigned n) {
        uint64_t v = peek(n);
        consumed_ += n;
        return v;
    }
    // Reads a non-zero count of bits (1..57 after a reload).
    [[nodiscard]] uint32_t read_some(unsigned n) {
        const uint64_t v = (bits_ << (consumed_ & 63)) >> ((64 - n) & 63);
        consumed_ += n;
        return uint32_t(v);
    }
    // The unread bits moved to the top of a word: a loop that takes several
    // codes between two reloads shifts this word itself (and tells the
    // reader with skip), which keeps the count out of its chain.
    [[nodiscard]] uint64_t window() const { return bits_ << (consumed_ & 63); }
    // Peeks a fixed non-zero count quickly (1..57).
    [[nodiscard]] uint32_t peek_fast(unsigned n) const {
        return uint32_t((bits_ << (consumed_ & 63)) >> (64 - n));
    }

    // Moves the window so that at most 7 consumed bits remain in it, as far
    // as the start of the stream allows.
    void reload() {
        if (consumed_ > 64) return;
        if (ptr_ >= begin_ + 8) {
            ptr_ -= consumed_ >> 3;
            consumed_ &= 7;
        } else if (ptr_ == begin_) {
            return;
        } else {
            size_t step = consumed_ >> 3;
            if (size_t(ptr_ - begin_) < step) step = size_t(ptr_ - begin_);
            ptr_ -= step;
            consumed_ -= unsigned(step) * 8;
        }
        bits_ = read_u64le(ptr_);
    }
    // True while the window can be refilled to at least 57 bits.
    [[nodiscard]] bool roomy() const { return ptr_ >= begin_ + 8; }
    [[nodiscard]] bool overflowed() const { return consumed_ > 64; }
    // True when every bit has been read and none past the start.
    [[nodiscard]] bool finished() const { return ptr_ == begin_ && consumed_ == 64; }
    [[nodiscard]] unsigned consumed() const { return consumed_; }

private:
    const uint8_t* begin_ = nullptr;
    const uint8_t* ptr_ = nullptr;
    uint64_t bits_ = 0;
    unsigned consumed_ = 0;
};

}  // namespace qor::zstd
