// The zlib and gzip containers: header checks, checksums, size negotiation,
// and headers or size fields crafted to mislead the decoder.
#include <gtest/gtest.h>

#include <string>

#include "runtime/compress/deflate.h"
#include "runtime/hash/checksum.h"
#include "tests/unit/compress/deflate_test_util.h"

namespace qor::test {
namespace {

void put_le32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

Result decode_once(Decoder fn, const Bytes& in, std::int32_t capacity, std::int32_t* size_out = nullptr) {
    Bytes out(static_cast<std::size_t>(capacity));
    std::int32_t size = capacity;
    const Result r = fn(capacity ? out.data() : nullptr, &size, in.data(), static_cast<std::int32_t>(in.size()));
    if (size_out) *size_out = size;
    return r;
}

TEST(ZlibContainer, HeaderAndChecksumFaultsAreMalformed) {
    const Bytes good = encode(zlib::compress, make_text(3000), 6);
    ASSERT_EQ(decode_once(zlib::decompress, good, 3000), Result::Done);
    // Each pair but the first is a multiple of 31, so only its own check fails.
    struct Case {
        const char* name;
        std::uint8_t cmf, flg;
    };
    const Case cases[] = {
        {"check bits", 0x78, 0x9D},
        {"method 7", 0x77, 0x09},
        {"window 2^16", 0x88, 0x1C},
        {"preset dictionary", 0x78, 0x20},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        bad[0] = c.cmf;
        bad[1] = c.flg;
        EXPECT_EQ(decode_once(zlib::decompress, bad, 3000), Result::Malformed) << c.name;
    }
    Bytes bad_adler = good;
    bad_adler.back() ^= 1;
    EXPECT_EQ(decode_once(zlib::decompress, bad_adler, 3000), Result::Malformed);
    EXPECT_EQ(decode_once(zlib::decompress, Bytes(good.begin(), good.begin() + 5), 100), Result::Malformed);
    // Any window size up to 2^15 and any FLEVEL is accepted.
    Bytes small_window = good;
    small_window[0] = 0x28;
    small_window[1] = 0x15;  // 0x2815 = 31 * 331
    EXPECT_EQ(decode_once(zlib::decompress, small_window, 3000), Result::Done);
}

TEST(ZlibContainer, MeasuringAndRetry) {
    const Bytes packed = encode(zlib::compress, make_binary(20000), 6);
    std::int32_t size = 0;
    EXPECT_EQ(decode_once(zlib::decompress, packed, 0, &size), Result::OutputTooSmall);
    EXPECT_EQ(size, 20000);
    EXPECT_EQ(decode_once(zlib::decompress, packed, 19999, &size), Result::OutputTooSmall);
    EXPECT_EQ(size, 20000);
    const Bytes empty = encode(zlib::compress, {}, 6);
    EXPECT_EQ(decode_once(zlib::decompress, empty, 0, &size), Result::Done);
    EXPECT_EQ(size, 0);
    // The raw decoder's own codes pass through.
    Bytes type3 = {0x78, 0x01, 0x07, 0, 0, 0, 1};
    EXPECT_EQ(decode_once(zlib::decompress, type3, 10), Result::BadBlockType);
}

// A gzip member with every optional header field, around our own deflate body.
Bytes gzip_with_fields(const Bytes& content, std::uint8_t flags, const std::string& extra,
                       const std::string& name, const std::string& comment) {
    const Bytes body = encode(deflate::compress, content, 6);
    Bytes g = {0x1F, 0x8B, 8, flags, 1, 2, 3, 4, 0, 3};
    if (flags & 0x04) {
        g.push_back(static_cast<std::uint8_t>(extra.size()));
        g.push_back(static_cast<std::uint8_t>(extra.size() >> 8));
        g.insert(g.end(), extra.begin(), extra.end());
    }
    if (flags & 0x08) {
        g.insert(g.end(), name.begin(), name.end());
        g.push_back(0);
    }
    if (flags & 0x10) {
        g.insert(g.end(), comment.begin(), comment.end());
        g.push_back(0);
    }
    if (flags & 0x02) {
        const std::uint32_t crc = checksum::crc32(g);
        g.push_back(static_cast<std::uint8_t>(crc));
        g.push_back(static_cast<std::uint8_t>(crc >> 8));
    }
    g.insert(g.end(), body.begin(), body.end());
    g.resize(g.size() + 8);
    put_le32(g, g.size() - 8, checksum::crc32(content));
    put_le32(g, g.size() - 4, static_cast<std::uint32_t>(content.size()));
    return g;
}

TEST(GzipContainer, OptionalHeaderFieldsAreSkipped) {
    const Bytes content = make_text(4000);
    for (std::uint8_t flags : {0x00, 0x02, 0x04, 0x08, 0x10, 0x1E, 0x01}) {
        const Bytes g = gzip_with_fields(content, flags, "xyz!", "name.txt", "a comment");
        Result r;
        EXPECT_EQ(decode(gzip::decompress, g, &r), content) << int(flags);
        EXPECT_EQ(r, Result::Done) << int(flags);
    }
    Bytes bad_hcrc = gzip_with_fields(content, 0x0A, "", "n", "");
    bad_hcrc[12] ^= 1;  // first header-CRC byte, after "n\0"
    EXPECT_EQ(decode_once(gzip::decompress, bad_hcrc, 4000), Result::Malformed);
    Bytes reserved = gzip_with_fields(content, 0x20, "", "", "");
    EXPECT_EQ(decode_once(gzip::decompress, reserved, 4000), Result::Malformed);
}

// Header fields whose lengths run into the trailer must be refused: the
// deflate body may never get a negative length.
TEST(GzipContainer, HeaderFieldsCannotReachIntoTheTrailer) {
    // 10-byte header, FEXTRA with XLEN 4, then only the 8-byte trailer.
    Bytes extra = {0x1F, 0x8B, 8, 0x04, 0, 0, 0, 0, 0, 3, 4, 0, 'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 0, 0};
    Result r = decode_once(gzip::decompress, extra, 0);
    EXPECT_NE(r, Result::Malformed) << "a header that ends right at the trailer is fine";
    extra[10] = 6;  // XLEN 6 reaches two bytes into the trailer
    EXPECT_EQ(decode_once(gzip::decompress, extra, 0), Result::Malformed);
    extra[10] = 0xFF;
    extra[11] = 0xFF;
    EXPECT_EQ(decode_once(gzip::decompress, extra, 0), Result::Malformed);
    // A name whose terminating zero lies only inside the trailer.
    Bytes name = {0x1F, 0x8B, 8, 0x08, 0, 0, 0, 0, 0, 3, 'a', 'b', 0x03, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
    name[12] = 'c';
    name[13] = 'd';
    EXPECT_EQ(decode_once(gzip::decompress, name, 0), Result::Malformed);
    // A header CRC that would overlap the trailer.
    Bytes hcrc = {0x1F, 0x8B, 8, 0x02, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(decode_once(gzip::decompress, hcrc, 0), Result::Malformed);
    EXPECT_EQ(decode_once(gzip::decompress, Bytes(17, 0), 0), Result::Malformed);
}

TEST(GzipContainer, IsizeIsAClaimToCheck) {
    const Bytes content = make_text(10000);
    const Bytes good = encode(gzip::compress, content, 6);
    std::int32_t size = 0;
    EXPECT_EQ(decode_once(gzip::decompress, good, 0, &size), Result::OutputTooSmall);
    EXPECT_EQ(size, 10000);

    struct Case {
        const char* name;
        std::uint32_t isize;
        std::int32_t capacity;
    };
    const Case cases[] = {
        {"larger than the content, measuring", 10001, 0},
        {"larger than the content, real attempt", 10001, 10001},
        {"beyond a series", 0x80000000u, 0},
        {"4 GiB - 1", 0xFFFFFFFFu, 0},
        {"smaller than the content", 9999, 10000},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        put_le32(bad, bad.size() - 4, c.isize);
        EXPECT_EQ(decode_once(gzip::decompress, bad, c.capacity, &size), Result::Malformed) << c.name;
        EXPECT_GE(size, 0) << c.name;
    }
    // The CRC is checked on the real attempt.
    Bytes bad_crc = good;
    bad_crc[bad_crc.size() - 8] ^= 0x40;
    EXPECT_EQ(decode_once(gzip::decompress, bad_crc, 10000), Result::Malformed);
}

TEST(GzipContainer, EncoderPassesGzipDataThrough) {
    const Bytes g = encode(gzip::compress, make_text(500), 6);
    EXPECT_EQ(encode(gzip::compress, g, 9), g);
    std::int32_t size = 10;
    Bytes out(10);
    EXPECT_EQ(gzip::compress(out.data(), &size, g.data(), static_cast<std::int32_t>(g.size()), 9),
              Result::OutputTooSmall);
    EXPECT_EQ(size, static_cast<std::int32_t>(g.size()));
    // Two bytes of magic alone are not gzip data.
    const Bytes magic = {0x1F, 0x8B};
    const Bytes wrapped = encode(gzip::compress, magic, 6);
    EXPECT_NE(wrapped, magic);
    EXPECT_EQ(decode(gzip::decompress, wrapped), magic);
}

}  // namespace
}  // namespace qor::test
