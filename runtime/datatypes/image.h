// image!: a rectangle of 32-bit pixels that behaves as a series of pixels.
//
//   word 1  position: the 0-based index of the current pixel (0 .. w × h)
//   word 2  the node of the image record (runtime/image/record.h), 0 for an
//           image without pixels (a side of 0)
//   word 3  size: height << 16 | width
//
// Pixels are as runtime/image/pixels.h lays them out. The language speaks of
// transparency, not opacity: the fourth component of a pixel tuple and every
// byte of the `alpha` channel is 255 minus the stored opacity; the raw `argb`
// channel carries the stored words unchanged (bytes B, G, R, opacity).
#pragma once

#include <cstdint>
#include <span>

#include "runtime/core/cell.h"
#include "runtime/image/codecs.h"
#include "runtime/image/pixels.h"

namespace qor::image_type {

[[nodiscard]] inline uint32_t width(const Cell& img) { return img.w3 & 0xFFFF; }
[[nodiscard]] inline uint32_t height(const Cell& img) { return img.w3 >> 16; }
// Pixels in the whole image: the tail position.
[[nodiscard]] inline uint32_t pixel_count(const Cell& img) { return width(img) * height(img); }

// The pixels of an image, nullptr for one without pixels.
[[nodiscard]] image::Pixels* pixels(const Cell& img);

// The channels of the path accessors, `to binary!` and serialisation.
enum class Channel : uint8_t { alpha = 0, rgb = 1, argb = 2 };

// A new binary! of the channel's bytes over the whole image, written into
// `out` (which must be a cell the collector sees, such as a stack cell).
void extract_channel(const Cell& img, Channel kind, Cell& out);

// Writes a binary! (from its position), a tuple! or an integer! into the
// channel of the whole image; any other value raises script invalid-arg.
void set_channel(const Cell& img, const Cell& value, Channel kind);

// Decodes bytes into a new image! pushed on the data stack: access
// bad-media for bytes that are no image (an unknown signature included),
// internal no-memory for a size beyond the pixel limit.
Cell* push_decoded(std::span<const uint8_t> bytes);

// Encodes the whole image (its position ignored) into a new binary! pushed
// on the data stack. An image without pixels, or a codec that fails, raises
// access bad-media.
Cell* push_encoded(const Cell& img, image::Format format);

void init();  // registers image! (and the image handle kind)

}  // namespace qor::image_type
