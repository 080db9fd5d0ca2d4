// The LZ decoder.
#include "runtime/compress/lz.h"

namespace qor::lz {

namespace {

uint32_t read_u32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Bits least significant first, one byte at a time, so that at the end of a
// chunk `next` is the byte after the last one touched.
struct BitReader {
    const uint8_t* next;
    const uint8_t* end;
    uint64_t bits = 0;
    int count = 0;

    // An n-bit field (n <= 17); false when the input ran out.
    bool read(int n, uint32_t& value) {
        while (count < n) {
            if (next == end) return false;
            bits |= uint64_t{*next++} << count;
            count += 8;
        }
        value = static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1));
        bits >>= n;
        count -= n;
        return true;
    }
};

constexpr int length_widths[6] = {2, 2, 2, 3, 5, 9};
constexpr uint32_t length_bases[6] = {0, 4, 8, 12, 20, 52};

// The match length minus 3.
bool read_length(BitReader& in, uint32_t& n) {
    int zeros = 0;
    uint32_t bit;
    while (zeros < 5) {
        if (!in.read(1, bit)) return false;
        if (bit) break;
        zeros++;
    }
    uint32_t v;
    if (!in.read(length_widths[zeros], v)) return false;
    n = length_bases[zeros] + v;
    return true;
}

// The distance minus 1.
bool read_distance(BitReader& in, uint32_t& d) {
    uint32_t e, v;
    if (!in.read(4, e)) return false;
    int k = static_cast<int>(e) + 2;
    if (k == 2) return in.read(3, d);
    if (!in.read(k, v)) return false;
    d = (uint32_t{1} << k) + v;
    return true;
}

// Decodes one chunk of `length` bytes into out.
bool decode_chunk(BitReader& in, uint8_t* out, uint32_t length) {
    uint32_t pos = 0;
    while (pos < length) {
        uint32_t bit, value;
        if (!in.read(1, bit)) return false;
        if (bit == 0) {
            if (!in.read(8, value)) return false;
            out[pos++] = static_cast<uint8_t>(value);
            continue;
        }
        uint32_t n, d;
        if (!read_length(in, n) || !read_distance(in, d)) return false;
        if (d + 1 > pos || n + 3 > length - pos) return false;
        const uint8_t* from = out + pos - d - 1;
        for (uint32_t i = 0; i < n + 3; i++) out[pos + i] = from[i];  // may overlap: byte by byte
        pos += n + 3;
    }
    return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> decompress(std::span<const uint8_t> input) {
    if (input.size() < 8) return std::nullopt;
    uint32_t stream_size = read_u32(input.data());
    uint32_t total = read_u32(input.data() + 4);
    if (stream_size > input.size() - 8) return std::nullopt;

    const uint8_t* p = input.data() + 8;
    const uint8_t* end = p + stream_size;
    std::vector<uint8_t> out;
    while (p < end) {
        if (end - p < 4) return std::nullopt;
        uint32_t length = read_u32(p);
        p += 4;
        if (length < 1 || length > max_chunk || length > total - out.size()) return std::nullopt;
        size_t start = out.size();
        out.resize(start + length);
        BitReader in{p, end};
        if (!decode_chunk(in, out.data() + start, length)) return std::nullopt;
        p = in.next;
    }
    return out;
}

}  // namespace qor::lz
