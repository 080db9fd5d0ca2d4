// deflate.h - entry points of the raw deflate, zlib and gzip codecs.
//
// All follow the contract in codec.h: (output or null, size in/out, input,
// input length[, level]) -> Result.
#pragma once

#include <cstdint>

#include "runtime/compress/codec.h"

namespace qor::deflate {

// Raw deflate stream (RFC 1951) of the whole input. Level 1..9; below 1
// means 6, above 9 means 9. Answers Done or OutputTooSmall (with the exact
// size needed), or Malformed when the stream would not fit a series.
[[nodiscard]] compress::Result compress(std::uint8_t* out, std::int32_t* size, const std::uint8_t* in,
                                        std::int32_t length, std::int32_t level);

}  // namespace qor::deflate

namespace qor::inflate {

// Decodes a raw deflate stream. Output past the capacity is counted, not
// stored, so a null output with capacity 0 measures. Answers Done,
// OutputTooSmall, Malformed, StoredOverrun, BadBlockType or DistanceTooFar;
// *size is always the count of bytes produced (or needed) so far.
[[nodiscard]] compress::Result decompress(std::uint8_t* out, std::int32_t* size, const std::uint8_t* in,
                                          std::int32_t length);

// The same into a buffer that grows as the stream decodes, so one pass
// decodes a stream of unknown size. The results are those of decompress;
// OutputTooSmall (with the size needed) only when the buffer could not grow.
[[nodiscard]] compress::Result decompress_growing(compress::GrowingBuffer& out, std::int32_t* size,
                                                  const std::uint8_t* in, std::int32_t length);

}  // namespace qor::inflate

namespace qor::zlib {

// zlib container (RFC 1950) around a raw deflate stream.
[[nodiscard]] compress::Result compress(std::uint8_t* out, std::int32_t* size, const std::uint8_t* in,
                                        std::int32_t length, std::int32_t level);
[[nodiscard]] compress::Result decompress(std::uint8_t* out, std::int32_t* size, const std::uint8_t* in,
                                          std::int32_t length);
// As inflate::decompress_growing, inside the zlib container.
[[nodiscard]] compress::Result decompress_growing(compress::GrowingBuffer& out, std::int32_t* size,
                                                  const std::uint8_t* in, std::int32_t length);

}  // namespace qor::zlib

namespace qor::gzip {

// gzip container (RFC 1952), one member. The encoder passes input that is
// already gzip data (starts 1F 8B 08) through unchanged.
[[nodiscard]] compress::Result compress(std::uint8_t* out, std::int32_t* size, const std::uint8_t* in,
                                        std::int32_t length, std::int32_t level);
[[nodiscard]] compress::Result decompress(std::uint8_t* out, std::int32_t* size, const std::uint8_t* in,
                                          std::int32_t length);

}  // namespace qor::gzip
