// Helpers for the zstd tests: calls through the codec contract, and frames
// assembled by hand from their parts.
#pragma once

#include "runtime/compress/zstd_compress.h"
#include "runtime/compress/zstd_decode.h"
#include "tests/unit/compress/deflate_test_util.h"

namespace qor::test {

inline Bytes zstd_encode(const Bytes& in, int level) { return encode(&zstd::compress, in, level); }

inline Bytes zstd_decode(const Bytes& in, Result* result = nullptr) {
    return decode(&zstd::decompress, in, result);
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes le(uint64_t v, int bytes) {
    Bytes out;
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
    return out;
}

inline const Bytes kZstdMagic = {0x28, 0xB5, 0x2F, 0xFD};

// A single-segment frame header with a 1-byte content size.
inline Bytes small_frame_header(uint8_t content, uint8_t flags = 0) {
    return Bytes{0x28, 0xB5, 0x2F, 0xFD, uint8_t(0x20 | flags), content};
}

// Block header: last flag, type (0 raw, 1 RLE, 2 compressed), size.
inline Bytes block_header(bool last, unsigned type, uint32_t size) {
    return le(uint32_t(last) | type << 1 | size << 3, 3);
}

}  // namespace qor::test
