// zlib_gzip.cpp - the zlib (RFC 1950) and gzip (RFC 1952) containers around
// raw deflate: headers, trailers and their checksums.
#include <cstring>
#include <span>

#include "runtime/compress/deflate.h"
#include "runtime/hash/checksum.h"

namespace qor {

using compress::Result;

namespace {

constexpr std::uint64_t kZlibOverhead = 6;   // 2-byte header, 4-byte Adler-32
constexpr std::uint64_t kGzipHeader = 10;
constexpr std::uint64_t kGzipTrailer = 8;    // CRC-32, ISIZE
constexpr std::uint64_t kGzipOverhead = kGzipHeader + kGzipTrailer;

void put_be32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}
void put_le32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
std::uint32_t get_be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}
std::uint32_t get_le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

bool bad_input(const std::uint8_t* in, std::int32_t length) {
    return length < 0 || (in == nullptr && length > 0);
}

// Adds a container's overhead to the size a raw deflate call wrote back.
// Never wraps: a total beyond a series is refused.
Result add_overhead(std::int32_t* size, std::uint64_t overhead, Result r) {
    const std::uint64_t total = static_cast<std::uint64_t>(*size) + overhead;
    if (!compress::store_size(size, total)) return Result::Malformed;
    return r;
}

// The level's FLG byte; each CMF/FLG pair is a multiple of 31.
std::uint8_t zlib_flags(std::int32_t level) {
    if (level <= 1) return 0x01;
    if (level <= 5) return 0x5E;
    if (level == 6) return 0x9C;
    return 0xDA;
}

}  // namespace

// ---------------------------------------------------------------------------
// zlib

Result zlib::compress(std::uint8_t* out, std::int32_t* size, const std::uint8_t* in, std::int32_t length,
                      std::int32_t level) {
    if (size == nullptr) return Result::Malformed;
    const std::uint64_t cap = compress::capacity_of(out, size);
    if (bad_input(in, length)) {
        *size = 0;
        return Result::Malformed;
    }
    if (cap < kZlibOverhead) {
        (void)compress::store_size(size, static_cast<std::uint64_t>(length) + kZlibOverhead);
        return Result::Malformed;
    }
    out[0] = 0x78;
    out[1] = zlib_flags(level);
    std::int32_t body = static_cast<std::int32_t>(cap - 2);
    const Result r = deflate::compress(out + 2, &body, in, length, level);
    *size = body;
    if (r != Result::Done) return add_overhead(size, kZlibOverhead, r);
    const std::uint64_t total = static_cast<std::uint64_t>(body) + kZlibOverhead;
    if (!compress::store_size(size, total)) return Result::Malformed;
    if (total > cap) return Result::OutputTooSmall;
    put_be32(out + 2 + body, checksum::adler32({in, static_cast<std::size_t>(length)}));
    return Result::Done;
}

namespace {

// The zlib header: deflate, a window of at most 32 KiB, no preset
// dictionary, and a check multiple of 31.
bool zlib_header_ok(const std::uint8_t* in, std::int32_t length) {
    if (bad_input(in, length) || length < static_cast<std::int32_t>(kZlibOverhead)) return false;
    const unsigned cmf = in[0], flg = in[1];
    return (cmf * 256 + flg) % 31 == 0 && (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && (flg & 0x20) == 0;
}

// Checks the header, decodes the body with `inflate` and checks the stored
// Adler-32 against the bytes that `output` answers once it has run.
template <typename Inflate, typename Output>
Result zlib_decode(std::int32_t* size, const std::uint8_t* in, std::int32_t length, Inflate inflate, Output output) {
    if (size == nullptr) return Result::Malformed;
    if (!zlib_header_ok(in, length)) {
        *size = 0;
        return Result::Malformed;
    }
    const std::uint32_t stored_adler = get_be32(in + length - 4);
    const Result r = inflate(in + 2, length - 6);
    if (r != Result::Done) return r;
    const std::uint32_t adler = checksum::adler32({output(), static_cast<std::size_t>(*size)});
    return adler == stored_adler ? Result::Done : Result::Malformed;
}

}  // namespace

Result zlib::decompress(std::uint8_t* out, std::int32_t* size, const std::uint8_t* in, std::int32_t length) {
    return zlib_decode(
        size, in, length, [&](const std::uint8_t* body, std::int32_t n) { return inflate::decompress(out, size, body, n); },
        [&] { return out; });
}

Result zlib::decompress_growing(compress::GrowingBuffer& out, std::int32_t* size, const std::uint8_t* in,
                                std::int32_t length) {
    return zlib_decode(
        size, in, length,
        [&](const std::uint8_t* body, std::int32_t n) { return inflate::decompress_growing(out, size, body, n); },
        [&] { return out.data(); });
}

// ---------------------------------------------------------------------------
// gzip

Result gzip::compress(std::uint8_t* out, std::int32_t* size, const std::uint8_t* in, std::int32_t length,
                      std::int32_t level) {
    if (size == nullptr) return Result::Malformed;
    const std::uint64_t cap = compress::capacity_of(out, size);
    if (bad_input(in, length)) {
        *size = 0;
        return Result::Malformed;
    }
    // Already gzip data: passed through unchanged.
    if (length > 2 && in[0] == 0x1F && in[1] == 0x8B && in[2] == 0x08) {
        *size = length;
        if (cap < static_cast<std::uint64_t>(length)) return Result::OutputTooSmall;
        std::memcpy(out, in, static_cast<std::size_t>(length));
        return Result::Done;
    }
    if (cap < kGzipOverhead) {
        (void)compress::store_size(size, static_cast<std::uint64_t>(length) + kGzipOverhead);
        return Result::Malformed;
    }
    const std::uint8_t xfl = level <= 1 ? 4 : level == 9 ? 2 : 0;
    const std::uint8_t header[kGzipHeader] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, xfl, 4};
    std::memcpy(out, header, kGzipHeader);
    std::int32_t body = static_cast<std::int32_t>(cap - kGzipHeader);
    const Result r = deflate::compress(out + kGzipHeader, &body, in, length, level);
    *size = body;
    if (r != Result::Done) return add_overhead(size, kGzipOverhead, r);
    const std::uint64_t total = static_cast<std::uint64_t>(body) + kGzipOverhead;
    if (!compress::store_size(size, total)) return Result::Malformed;
    if (total > cap) return Result::OutputTooSmall;
    std::uint8_t* trailer = out + kGzipHeader + body;
    put_le32(trailer, checksum::crc32({in, static_cast<std::size_t>(length)}));
    put_le32(trailer + 4, static_cast<std::uint32_t>(length));
    return Result::Done;
}

namespace {

// Length of a gzip member's header, or 0 when it is malformed. The header
// must leave the 8-byte trailer in place.
std::uint64_t gzip_header_length(const std::uint8_t* in, std::uint64_t length) {
    if (length < kGzipOverhead || in[0] != 0x1F || in[1] != 0x8B || in[2] != 8) return 0;
    const unsigned flg = in[3];
    if (flg & 0xE0) return 0;
    const std::uint64_t end = length - kGzipTrailer;  // the header stops before this
    std::uint64_t pos = kGzipHeader;
    if (flg & 0x04) {  // FEXTRA
        if (pos + 2 > end) return 0;
        const std::uint64_t xlen = in[pos] | static_cast<std::uint64_t>(in[pos + 1]) << 8;
        if (xlen > end - pos - 2) return 0;
        pos += 2 + xlen;
    }
    for (unsigned flag : {0x08u, 0x10u}) {  // FNAME, FCOMMENT: zero-terminated
        if (!(flg & flag)) continue;
        const void* zero = std::memchr(in + pos, 0, end - pos);
        if (zero == nullptr) return 0;
        pos = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(zero) - in) + 1;
    }
    if (flg & 0x02) {  // FHCRC: low 16 bits of the CRC-32 of the header so far
        if (pos + 2 > end) return 0;
        const std::uint32_t crc = checksum::crc32({in, static_cast<std::size_t>(pos)});
        if ((crc & 0xFFFF) != (in[pos] | static_cast<std::uint32_t>(in[pos + 1]) << 8)) return 0;
        pos += 2;
    }
    return pos;
}

}  // namespace

Result gzip::decompress(std::uint8_t* out, std::int32_t* size, const std::uint8_t* in, std::int32_t length) {
    if (size == nullptr) return Result::Malformed;
    const std::uint64_t cap = compress::capacity_of(out, size);
    if (bad_input(in, length)) {
        *size = 0;
        return Result::Malformed;
    }
    const auto len = static_cast<std::uint64_t>(length);
    const std::uint64_t header = gzip_header_length(in, len);
    if (header == 0) {
        *size = 0;
        return Result::Malformed;
    }
    const std::uint32_t stored_crc = get_le32(in + len - 8);
    const std::uint32_t isize = get_le32(in + len - 4);
    // ISIZE is only a claim: one beyond a series is refused, and one beyond
    // the capacity is checked by decoding before it is reported as needed.
    if (isize > compress::kMaxSeriesBytes) {
        *size = 0;
        return Result::Malformed;
    }
    const auto body = static_cast<std::int32_t>(len - header - kGzipTrailer);
    const Result r = inflate::decompress(out, size, in + header, body);
    if (isize > cap) {
        // Reported as needed only once the stream has shown that much content.
        if (r != Result::Done && r != Result::OutputTooSmall) return r;
        if (static_cast<std::uint32_t>(*size) < isize) return Result::Malformed;
        *size = static_cast<std::int32_t>(isize);
        return Result::OutputTooSmall;
    }
    if (r != Result::Done) return r;
    if (static_cast<std::uint32_t>(*size) < isize) return Result::Malformed;
    *size = static_cast<std::int32_t>(isize);  // bytes beyond ISIZE are dropped
    const std::uint32_t crc = checksum::crc32({out, isize});
    return crc == stored_crc ? Result::Done : Result::Malformed;
}

}  // namespace qor
