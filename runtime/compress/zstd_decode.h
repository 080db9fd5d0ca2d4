// Zstandard decoder: one or more frames (skippable frames skipped; raw, RLE
// and compressed blocks; optional content checksum) into a caller's buffer,
// under the shared codec contract.
#pragma once
#include <cstdint>

#include "runtime/compress/codec.h"

namespace qor::zstd {

// Decodes the frames in input[0..length) into output (capacity *size).
// Returns 0 done (*size = bytes produced), 1 output too small (*size = bytes
// needed) or 2 malformed input. With a null output and capacity 0 it only
// measures. No heap allocation; output is never written past the capacity.
[[nodiscard]] compress::Result decompress(uint8_t* output, int32_t* size, const uint8_t* input,
                                          int32_t length);

}  // namespace qor::zstd
