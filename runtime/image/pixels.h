// Pixel buffers: the rectangle of 32-bit pixels that every image keeps, and
// the one place where their size is checked before memory is taken.
//
// A pixel is opacity << 24 | R << 16 | G << 8 | B (not premultiplied),
// stored little-endian, so its bytes in memory are B, G, R, opacity. Rows run
// from the top down with no gaps: pixel (x, y) is number y × width + x.
//
// Sizes: each side is at most 65,535 (the size word of an image! holds 16
// bits a side), and width × height × 4 is computed in 64 bits and must not
// pass the byte limit (by default the largest binary!, so the whole `argb`
// channel of any image fits a binary!).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace qor::image {

inline constexpr uint32_t max_side = 0xFFFF;

[[nodiscard]] constexpr uint32_t make_pixel(uint8_t r, uint8_t g, uint8_t b, uint8_t opacity) {
    return uint32_t{opacity} << 24 | uint32_t{r} << 16 | uint32_t{g} << 8 | b;
}
[[nodiscard]] constexpr uint8_t red(uint32_t p) { return static_cast<uint8_t>(p >> 16); }
[[nodiscard]] constexpr uint8_t green(uint32_t p) { return static_cast<uint8_t>(p >> 8); }
[[nodiscard]] constexpr uint8_t blue(uint32_t p) { return static_cast<uint8_t>(p); }
[[nodiscard]] constexpr uint8_t opacity(uint32_t p) { return static_cast<uint8_t>(p >> 24); }

// What a size check or a decoder answers.
enum class Status : uint8_t {
    ok,
    bad_media,  // malformed data, or a side above 65,535
    no_memory,  // the pixels would pass the byte limit, or the system refused them
};

struct FreeDeleter {
    void operator()(uint32_t* p) const { std::free(p); }
};

// An owned rectangle of pixels.
struct Pixels {
    uint32_t width = 0;
    uint32_t height = 0;
    std::unique_ptr<uint32_t[], FreeDeleter> data;

    [[nodiscard]] uint64_t count() const { return uint64_t{width} * height; }
    [[nodiscard]] uint32_t* row(uint32_t y) { return data.get() + uint64_t{y} * width; }
    [[nodiscard]] const uint32_t* row(uint32_t y) const { return data.get() + uint64_t{y} * width; }
};

// The check every size passes before pixels are taken: bad_media for a side
// above 65,535, no_memory when width × height × 4 passes the byte limit.
[[nodiscard]] Status check_size(uint64_t width, uint64_t height);

// Takes uninitialised pixels of that size (after check_size); a size with
// no pixels (a side of 0) takes nothing and answers ok.
[[nodiscard]] Status allocate(Pixels& out, uint64_t width, uint64_t height);

// The byte limit on one image's pixels. Lowered by the fuzz targets, so a
// declared size in random input cannot ask for gigabytes.
[[nodiscard]] uint64_t byte_limit();
void set_byte_limit(uint64_t bytes);

}  // namespace qor::image
