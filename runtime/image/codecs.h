// The image codecs: recognising a format by its first bytes, decoding any of
// the five formats into pixels, and encoding pixels into one of them.
//
// PNG, JPEG, GIF and TIFF go through libpng, libjpeg-turbo, giflib and
// libtiff; BMP is read and written here. No codec throws: each answers a
// status (decoding) or whether it produced its bytes (encoding), and the
// caller raises the language's error.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "runtime/image/pixels.h"

namespace qor::image {

// The encoder numbers the codec objects pass (a contract).
enum class Format : uint8_t { bmp = 0, png = 1, gif = 2, jpeg = 3, tiff = 4, unknown = 255 };

// The format whose signature the bytes start with: 89 50 4E 47 png;
// FF D8 FF jpeg; 42 4D bmp; 47 49 46 38 37|39 61 gif; 49 49 2A 00 or
// 4D 4D 00 2A tiff; anything else unknown.
[[nodiscard]] Format sniff(std::span<const uint8_t> bytes);

// Decodes the first frame of the bytes, by their signature (bad_media for an
// unknown one).
[[nodiscard]] Status decode(std::span<const uint8_t> bytes, Pixels& out);

// Encodes pixels (with at least one pixel) in the format; false when the
// library failed, in which case `out` holds nothing useful.
[[nodiscard]] bool encode(Format format, const Pixels& pixels, std::vector<uint8_t>& out);

// The codecs one by one.
[[nodiscard]] Status decode_png(std::span<const uint8_t> bytes, Pixels& out);
[[nodiscard]] Status decode_jpeg(std::span<const uint8_t> bytes, Pixels& out);
[[nodiscard]] Status decode_gif(std::span<const uint8_t> bytes, Pixels& out);
[[nodiscard]] Status decode_tiff(std::span<const uint8_t> bytes, Pixels& out);
[[nodiscard]] Status decode_bmp(std::span<const uint8_t> bytes, Pixels& out);
[[nodiscard]] bool encode_png(const Pixels& pixels, std::vector<uint8_t>& out);
[[nodiscard]] bool encode_jpeg(const Pixels& pixels, std::vector<uint8_t>& out);
[[nodiscard]] bool encode_gif(const Pixels& pixels, std::vector<uint8_t>& out);
[[nodiscard]] bool encode_tiff(const Pixels& pixels, std::vector<uint8_t>& out);
[[nodiscard]] bool encode_bmp(const Pixels& pixels, std::vector<uint8_t>& out);

}  // namespace qor::image
