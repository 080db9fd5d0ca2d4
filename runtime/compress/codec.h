// codec.h - the calling contract shared by every compression codec.
//
// Each method (deflate, zlib, gzip, zstd) has one encoder and one decoder
// entry point with the same shape:
//
//   Result fn(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length
//             [, int32_t level]);
//
// `out` may be null (a decoder called with a null output and capacity 0
// measures). `*size` holds the output capacity on entry and the produced
// (Done) or needed (OutputTooSmall) byte count on return. Nothing is ever
// written beyond the capacity. Encoders take a level, -1 when none was
// given. Buffers belong to the caller: no entry point keeps a pointer after
// it returns, and no codec allocates from the collected heap.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace qor::compress {

// Result codes. Their numeric values are a contract with the natives, which
// treat every code other than Done and OutputTooSmall as malformed input.
enum class Result : std::int32_t {
    Done = 0,
    OutputTooSmall = 1,   // *size holds the number of bytes needed
    Malformed = 2,        // bad input, an encoder capacity below the container
                          // minimum, or a result too large for a series
    StoredOverrun = 3,    // raw deflate: stored block longer than the input left
    BadBlockType = 4,     // raw deflate: block type 3
    DistanceTooFar = 5,   // raw deflate: distance before the start of the output
};

// The largest byte count a series (and so a codec's input or output) can
// hold: sizes travel as signed 32-bit counts.
inline constexpr std::uint64_t kMaxSeriesBytes =
    static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());

// The capacity a caller handed in, read safely: a negative size or a null
// output both mean "no room".
[[nodiscard]] inline std::uint64_t capacity_of(const std::uint8_t* out, const std::int32_t* size) {
    if (out == nullptr || size == nullptr || *size < 0) return 0;
    return static_cast<std::uint64_t>(*size);
}

// Writes a byte count back to the caller's size. Counts are kept 64-bit
// while working; one that does not fit a series is never wrapped: the size
// is clamped and the caller is told to refuse.
[[nodiscard]] inline bool store_size(std::int32_t* size, std::uint64_t count) {
    if (count > kMaxSeriesBytes) {
        *size = std::numeric_limits<std::int32_t>::max();
        return false;
    }
    *size = static_cast<std::int32_t>(count);
    return true;
}

// The common ending of an entry point that produced (or needs) `count`
// bytes against a capacity `cap`.
[[nodiscard]] inline Result finish_size(std::int32_t* size, std::uint64_t count, std::uint64_t cap) {
    if (!store_size(size, count)) return Result::Malformed;
    return count > cap ? Result::OutputTooSmall : Result::Done;
}

// A byte buffer on the C++ heap for a decoder that cannot know its output
// size beforehand: the decoder enlarges it as it writes, instead of
// decoding once to count and again to store. It grows by realloc, which
// usually extends a large buffer where it lies. When it cannot grow (memory
// runs out, or the output would pass its limit) the decoder goes on
// counting past its end, as with a fixed buffer.
class GrowingBuffer {
public:
    explicit GrowingBuffer(std::uint64_t limit) : limit_(limit < kMaxSeriesBytes ? limit : kMaxSeriesBytes) {}
    ~GrowingBuffer() { std::free(data_); }
    GrowingBuffer(const GrowingBuffer&) = delete;
    GrowingBuffer& operator=(const GrowingBuffer&) = delete;

    [[nodiscard]] std::uint8_t* data() const { return data_; }
    [[nodiscard]] std::uint64_t capacity() const { return capacity_; }

    // Room for at least `need` bytes, the contents kept: at least twice the
    // old capacity, so that growing costs amortised constant time per byte.
    // False (nothing changed) when that cannot be had.
    [[nodiscard]] bool reserve(std::uint64_t need) {
        if (need <= capacity_) return true;
        if (need > limit_) return false;
        std::uint64_t grown = capacity_ * 2 > need ? capacity_ * 2 : need;
        if (grown < 65536) grown = 65536;
        if (grown > limit_) grown = limit_;
        return resize(grown);
    }
    // Gives back what lies past the first `size` bytes.
    void shrink_to(std::uint64_t size) {
        if (size < capacity_ && size > 0) (void)resize(size);
    }

private:
    bool resize(std::uint64_t bytes) {
        auto* moved = static_cast<std::uint8_t*>(std::realloc(data_, static_cast<std::size_t>(bytes)));
        if (moved == nullptr) return false;
        data_ = moved;
        capacity_ = bytes;
        return true;
    }
    std::uint64_t limit_;
    std::uint8_t* data_ = nullptr;
    std::uint64_t capacity_ = 0;
};

}  // namespace qor::compress
