// Shared checks of the deflate-family fuzz targets: a decoder run on
// arbitrary bytes must answer a contract code, measure exactly, never write
// past a short buffer, and whatever it decodes must survive a round trip
// through the matching encoder.
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/compress/codec.h"

namespace qor::fuzz {

using compress::Result;
using Encoder = Result (*)(std::uint8_t*, std::int32_t*, const std::uint8_t*, std::int32_t, std::int32_t);
using Decoder = Result (*)(std::uint8_t*, std::int32_t*, const std::uint8_t*, std::int32_t);

inline void require(bool ok) {
    if (!ok) __builtin_trap();
}

inline std::uint8_t* data_or_null(std::vector<std::uint8_t>& v) { return v.empty() ? nullptr : v.data(); }

inline void check_decoder(Decoder decode, Encoder encode, const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 24)) return;
    const auto n = static_cast<std::int32_t>(size);

    // Measuring call: null output, capacity 0.
    std::int32_t measured = 0;
    const Result m = decode(nullptr, &measured, data, n);
    const auto code = static_cast<std::int32_t>(m);
    require(code >= 0 && code <= 5 && measured >= 0);
    if (m != Result::Done && m != Result::OutputTooSmall) return;
    if (measured > (1 << 26)) return;  // keep memory use bounded

    // Real attempt with exactly the measured size (the sanitizer guards the
    // end). gzip content longer than its ISIZE asks once for more room.
    std::vector<std::uint8_t> out(static_cast<std::size_t>(measured));
    std::int32_t got = measured;
    Result r = decode(data_or_null(out), &got, data, n);
    if (r == Result::OutputTooSmall) {
        require(got > measured);
        if (got > (1 << 26)) return;
        std::vector<std::uint8_t> more(static_cast<std::size_t>(got));
        r = decode(data_or_null(more), &got, data, n);
        require(r != Result::OutputTooSmall);
        if (r == Result::Done) require(got <= measured && std::equal(more.begin(), more.begin() + got, out.begin()));
        return;
    }
    require(r == Result::Done || r == Result::Malformed);  // Malformed: a checksum
    if (r != Result::Done) return;
    // Only gzip may answer less than it measured: content beyond its ISIZE
    // is dropped.
    require(got <= measured);
    measured = got;
    out.resize(static_cast<std::size_t>(got));

    // A buffer one short of half: result 1 with the same size, and the bytes
    // that fit match.
    if (measured > 0) {
        std::vector<std::uint8_t> part(static_cast<std::size_t>(measured / 2));
        std::int32_t part_size = static_cast<std::int32_t>(part.size());
        require(decode(data_or_null(part), &part_size, data, n) == Result::OutputTooSmall);
        require(part_size == measured);
    }

    // Round trip of the decoded bytes at a level picked from the input
    // (kept small: the encoder is slow under the fuzzer's instrumentation).
    if (measured > (1 << 13)) return;
    const int level = size > 0 ? 1 + data[0] % 9 : -1;
    if (out.size() > 2 && out[0] == 0x1F && out[1] == 0x8B && out[2] == 8) return;  // gzip passes it through
    std::int32_t cap = measured + (measured >> 11) + 32;
    std::vector<std::uint8_t> packed(static_cast<std::size_t>(cap));
    Result e = encode(packed.data(), &cap, data_or_null(out), measured, level);
    if (e == Result::OutputTooSmall) {
        packed.assign(static_cast<std::size_t>(cap), 0);
        e = encode(packed.data(), &cap, data_or_null(out), measured, level);
    }
    require(e == Result::Done);
    std::vector<std::uint8_t> back(out.size());
    std::int32_t back_size = measured;
    require(decode(data_or_null(back), &back_size, packed.data(), cap) == Result::Done);
    require(back_size == measured && back == out);
}

}  // namespace qor::fuzz
