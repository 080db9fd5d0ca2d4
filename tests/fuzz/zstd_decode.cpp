// Fuzz target for the zstd decoder: arbitrary input must never crash,
// hang or write past the capacity. Measuring, writing into a buffer of the
// measured size and into a short buffer must agree with each other.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/compress/zstd_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using qor::compress::Result;
    if (size > (1u << 20)) return 0;
    const int32_t length = int32_t(size);
    int32_t measured = 0;
    const Result m = qor::zstd::decompress(nullptr, &measured, data, length);
    if (m != Result::Done && m != Result::OutputTooSmall && m != Result::Malformed) std::abort();
    if (m == Result::Malformed || measured > (8 << 20)) return 0;
    // A buffer of exactly the measured size, guarded by a canary byte.
    std::vector<uint8_t> out(size_t(measured) + 1, 0xA5);
    int32_t cap = measured;
    const Result w = qor::zstd::decompress(out.data(), &cap, data, length);
    if (out[size_t(measured)] != 0xA5) std::abort();
    if (w == Result::Done && cap != measured) std::abort();
    if (w == Result::OutputTooSmall && measured > 0) {
        // Only a frame whose declared size was trusted may disagree, and
        // then the writing pass reports it as malformed, never as success.
        std::abort();
    }
    if (measured > 1) {
        std::vector<uint8_t> small(size_t(measured / 2) + 1, 0x5A);
        int32_t half = measured / 2;
        const Result s = qor::zstd::decompress(small.data(), &half, data, length);
        if (small[size_t(measured / 2)] != 0x5A) std::abort();
        if (s == Result::Done) std::abort();
    }
    return 0;
}
