// Zstandard encoder: one input into one frame (no checksum, no
// dictionary), at levels 1 to 19, under the shared codec contract.
#pragma once
#include <cstdint>

#include "runtime/compress/codec.h"

namespace qor::zstd {

// Compresses input[0..length) into output (capacity *size) at level (below
// 1 means 3; at most 19). Returns Done with *size = bytes written, or
// OutputTooSmall with *size = the bound the output needs, decided before
// anything is written. An input too large for a series is Malformed.
[[nodiscard]] compress::Result compress(uint8_t* output, int32_t* size, const uint8_t* input,
                                        int32_t length, int32_t level);

}  // namespace qor::zstd
