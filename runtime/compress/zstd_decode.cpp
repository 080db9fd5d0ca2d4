// Zstandard frame decoder. One call decodes every frame of the input with
// all tables on its own stack. Output is addressed by offsets from the
// caller's buffer so that the same code also runs without a buffer, to
// count the decoded size. Huffman and RLE literals are decoded into the
// unused tail of the frame's output space rather than a separate buffer.
#include "runtime/compress/zstd_decode.h"

#include <algorithm>
#include <cstring>

#include "runtime/compress/xxhash64.h"
#include "runtime/compress/zstd_bits.h"
#include "runtime/compress/zstd_entropy_decode.h"
#include "runtime/compress/zstd_tables.h"

namespace qor::zstd {

namespace {

constexpr int kDone = 0;
constexpr int kTooSmall = 1;
constexpr int kMalformed = 2;

// Largest output a series can hold.
constexpr uint64_t kSeriesLimit = 0x7FFFFFFF;

struct SeqTable {
    int log = -1;  // -1: no table yet in this frame
    FseCell cells[512];
};

struct Context {
    uint32_t rep[3];
    uint64_t window;
    bool header_size = false;  // some frame's size was taken from its header
    SeqTable litlen, offset, matchlen;
    HuffTable huff;
    int16_t norm[256];
};

// Where the current frame's output goes. Offsets count from the caller's
// buffer; base is null when nothing is stored.
struct Output {
    uint8_t* base;
    uint64_t pos;          // cursor
    uint64_t limit;        // end of the frame's output space
    uint64_t frame_start;  // first byte of the current frame
    uint64_t block_max;
};

void reset_frame(Context& c) {
    c.rep[0] = 1;
    c.rep[1] = 4;
    c.rep[2] = 8;
    c.litlen.log = c.offset.log = c.matchlen.log = -1;
    c.huff.max_bits = -1;
}

// Copies a match of length n from distance back; short distances repeat
// their pattern, so the copy grows by the doubling distance each step.
inline void copy_match(uint8_t* dst, uint64_t distance, uint64_t n) {
    const uint8_t* src = dst - distance;
    if (distance >= n) {
        std::memcpy(dst, src, n);
        return;
    }
    uint64_t done = 0;
    uint64_t chunk = distance;
    while (done < n) {
        const uint64_t step = std::min(chunk, n - done);
        std::memcpy(dst + done, src, step);
        done += step;
        chunk = done + distance;  // bytes [src, dst + done) are final now
    }
}

// Where a block's literals are: in the input (raw) or in the output's tail.
struct Literals {
    const uint8_t* data;  // null when not stored
    uint64_t count;
    bool in_tail;
    const uint8_t* end;  // end of the readable bytes after the literals
};

inline void copy16(uint8_t* dst, const uint8_t* src) {
    uint8_t t[16];
    std::memcpy(t, src, 16);
    std::memcpy(dst, t, 16);
}

// Copies one sequence's literals and match. Short copies and matches at
// distances of 16 or more go 16 bytes at a time where the slack past them
// clobbers nothing still needed: unread literals in the output's tail, or
// anything past the end of the output space.
inline void copy_sequence(uint8_t* dst, const uint8_t* literals, uint64_t ll, uint64_t ml,
                          uint64_t offset, const Literals& lit, uint8_t* out_end) {
    const uint8_t* const guard = lit.in_tail ? literals + ll : out_end;
    if (ll <= 16 && literals + 16 <= lit.end && dst + 16 <= guard) {
        copy16(dst, literals);
    } else if (ll) {
        std::memmove(dst, literals, ll);
    }
    dst += ll;
    if (offset >= 16 && dst + ml + 16 <= guard) {
        const uint8_t* src = dst - offset;
        for (uint64_t i = 0; i < ml; i += 16) copy16(dst + i, src + i);
    } else {
        copy_match(dst, offset, ml);
    }
}

// Builds one sequence table from its mode. Returns bytes used or -1.
int read_seq_table(Context& c, SeqTable& t, int mode, const uint8_t* src, size_t size,
                   const int16_t* defaults, int default_count, int default_log, int max_log,
                   int max_symbol) {
    switch (mode) {
    case 0:
        build_fse_table(defaults, default_count, default_log, t.cells);
        t.log = default_log;
        return 0;
    case 1:
        if (size < 1 || src[0] > max_symbol) return -1;
        t.cells[0] = src[0];
        t.log = 0;
        return 1;
    case 2: {
        int symbols = 0, log = 0;
        const int used = read_ncount(src, size, max_log, max_symbol, c.norm, &symbols, &log);
        if (used < 0) return -1;
        build_fse_table(c.norm, symbols, log, t.cells);
        t.log = log;
        return used;
    }
    default:
        return t.log < 0 ? -1 : 0;
    }
}

inline uint32_t next_state(const SeqTable& t, uint32_t state, BackwardBits& in) {
    const FseCell cell = t.cells[state];
    return fse_base(cell) + uint32_t(in.read(fse_bits(cell)));
}

// Decodes the literals section. On success sets where the literals are
// (in the input for raw literals, else at the tail of the output space) and
// returns the section size; returns -kTooSmall or -kMalformed on failure.

int64_t decode_literals(Context& c, const uint8_t* src, size_t size, Output& o, Literals& lit) {
    const unsigned b0 = src[0];
    const unsigned type = b0 & 3, format = (b0 >> 2) & 3;
    size_t header = 0, input = 0;
    uint64_t regenerated = 0;
    int streams = 1;
    if (type < 2) {
        if (format == 1) {
            header = 2;
            regenerated = (b0 >> 4) + (uint32_t(src[1]) << 4);
        } else if (format == 3) {
            header = 3;
            if (size < 3) return -kMalformed;
            regenerated = (b0 >> 4) + (uint32_t(src[1]) << 4) + (uint32_t(src[2]) << 12);
        } else {
            header = 1;
            regenerated = b0 >> 3;
        }
        input = type == 0 ? regenerated : 1;
    } else {
        header = format < 2 ? 3 : format == 2 ? 4 : 5;
        if (size < header) return -kMalformed;
        if (format < 2) {
            const uint32_t v = read_u24le(src);
            regenerated = (v >> 4) & 0x3FF;
            input = (v >> 14) & 0x3FF;
            streams = format == 0 ? 1 : 4;
        } else if (format == 2) {
            const uint32_t v = read_u32le(src);
            regenerated = (v >> 4) & 0x3FFF;
            input = v >> 18;
            streams = 4;
        } else {
            const uint32_t v = read_u32le(src);
            regenerated = (v >> 4) & 0x3FFFF;
            input = (v >> 22) | (uint32_t(src[4]) << 10);
            streams = 4;
        }
    }
    if (regenerated > o.block_max) return -kMalformed;
    if (streams == 4 && regenerated < 6) return -kMalformed;
    if (header + input > size) return -kMalformed;
    lit.count = regenerated;
    if (type == 0) {
        lit.data = src + header;
        lit.in_tail = false;
        lit.end = src + size;
        return int64_t(header + input);
    }
    if (o.limit - o.pos < regenerated) return -kTooSmall;
    const uint64_t tail = o.limit - regenerated;
    uint8_t* dst = o.base ? o.base + tail : nullptr;
    lit.data = dst;
    lit.in_tail = true;
    lit.end = o.base ? o.base + o.limit : nullptr;
    if (type == 1) {
        if (dst) std::memset(dst, src[header], regenerated);
        return int64_t(header + input);
    }
    const uint8_t* p = src + header;
    size_t rest = input;
    if (type == 2) {
        const int used = read_huffman_table(p, rest, c.huff);
        if (used < 0) return -kMalformed;
        p += used;
        rest -= size_t(used);
    } else if (c.huff.max_bits < 0) {
        return -kMalformed;
    }
    if (streams == 1) {
        if (!decode_huffman_stream(c.huff, p, rest, dst, regenerated)) return -kMalformed;
        return int64_t(header + input);
    }
    if (rest < 10) return -kMalformed;
    const size_t s1 = read_u16le(p), s2 = read_u16le(p + 2), s3 = read_u16le(p + 4);
    if (6 + s1 + s2 + s3 >= rest) return -kMalformed;
    const size_t s4 = rest - 6 - s1 - s2 - s3;
    const uint64_t segment = (regenerated + 3) / 4;
    const uint64_t last = regenerated - 3 * segment;
    const uint8_t* q = p + 6;
    const size_t sizes[4] = {s1, s2, s3, s4};
    for (int i = 0; i < 4; ++i) {
        uint8_t* d = dst ? dst + segment * i : nullptr;
        if (!decode_huffman_stream(c.huff, q, sizes[i], d, i < 3 ? segment : last)) return -kMalformed;
        q += sizes[i];
    }
    return int64_t(header + input);
}

// Decodes and executes the sequences section of a block.
int decode_sequences(Context& c, const uint8_t* src, size_t size, Output& o, Literals& lit) {
    const uint8_t* const end = src + size;
    const uint8_t* p = src;
    uint32_t count = 0;
    if (size > 0) {
        const unsigned b = p[0];
        if (b < 128) {
            count = b;
            p += 1;
        } else if (b < 255) {
            if (size < 2) return kMalformed;
            count = ((b - 128) << 8) + p[1];
            p += 2;
        } else {
            if (size < 3) return kMalformed;
            count = read_u16le(p + 1) + 0x7F00;
            p += 3;
        }
    }
    const uint8_t* literals = lit.data;
    uint64_t lit_left = lit.count;
    if (count > 0) {
        if (p >= end) return kMalformed;
        const unsigned modes = *p++;
        if (modes & 3) return kMalformed;
        int used = read_seq_table(c, c.litlen, modes >> 6, p, size_t(end - p), kLitLenDefault,
                                  kLitLenCodes, kLitLenDefaultLog, kLitLenMaxLog, kLitLenCodes - 1);
        if (used < 0) return kMalformed;
        p += used;
        used = read_seq_table(c, c.offset, (modes >> 4) & 3, p, size_t(end - p), kOffsetDefault,
                              kOffsetDefaultCount, kOffsetDefaultLog, kOffsetMaxLog, kOffsetCodes - 1);
        if (used < 0) return kMalformed;
        p += used;
        used = read_seq_table(c, c.matchlen, (modes >> 2) & 3, p, size_t(end - p), kMatchLenDefault,
                              kMatchLenCodes, kMatchLenDefaultLog, kMatchLenMaxLog, kMatchLenCodes - 1);
        if (used < 0) return kMalformed;
        p += used;

        BackwardBits in;
        if (!in.init(p, size_t(end - p))) return kMalformed;
        uint32_t ll_state = uint32_t(in.read(unsigned(c.litlen.log)));
        uint32_t of_state = uint32_t(in.read(unsigned(c.offset.log)));
        uint32_t ml_state = uint32_t(in.read(unsigned(c.matchlen.log)));
        in.reload();
        uint32_t rep0 = c.rep[0], rep1 = c.rep[1], rep2 = c.rep[2];
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t of_code = fse_symbol(c.offset.cells[of_state]);
            const uint32_t ml_code = fse_symbol(c.matchlen.cells[ml_state]);
            const uint32_t ll_code = fse_symbol(c.litlen.cells[ll_state]);
            if (of_code > 30) return kMalformed;
            const uint32_t of_value = (1u << of_code) + uint32_t(in.read(of_code));
            if (of_code > 24) in.reload();
            const uint64_t ml = kMatchLenBase[ml_code] + in.read(kMatchLenBits[ml_code]);
            const uint64_t ll = kLitLenBase[ll_code] + in.read(kLitLenBits[ll_code]);
            in.reload();
            if (i + 1 < count) {
                ll_state = next_state(c.litlen, ll_state, in);
                ml_state = next_state(c.matchlen, ml_state, in);
                of_state = next_state(c.offset, of_state, in);
                in.reload();
            }
            // Repeat offsets: values 1-3 pick a recent offset, shifted by one
            // when the literal length is 0; anything else is a new offset.
            uint32_t offset;
            if (of_value > 3) {
                offset = of_value - 3;
                rep2 = rep1;
                rep1 = rep0;
                rep0 = offset;
            } else {
                const uint32_t index = of_value - 1 + (ll == 0 ? 1 : 0);
                if (index == 0) {
                    offset = rep0;
                } else if (index == 1) {
                    offset = rep1;
                    rep1 = rep0;
                    rep0 = offset;
                } else {
                    offset = index == 2 ? rep2 : rep0 - 1;
                    rep2 = rep1;
                    rep1 = rep0;
                    rep0 = offset;
                }
            }
            if (ll > lit_left) return kMalformed;
            const uint64_t produced = o.pos - o.frame_start + ll;
            if (offset == 0 || offset > produced || offset > c.window) return kMalformed;
            if (o.limit - o.pos < ml + lit_left) return kTooSmall;
            if (o.base) {
                copy_sequence(o.base + o.pos, literals, ll, ml, offset, lit, o.base + o.limit);
                literals += ll;
            }
            lit_left -= ll;
            o.pos += ll + ml;
        }
        in.reload();
        if (!in.finished()) return kMalformed;
        c.rep[0] = rep0;
        c.rep[1] = rep1;
        c.rep[2] = rep2;
    } else if (p != end) {
        return kMalformed;  // nothing may follow a zero sequence count
    }
    if (o.limit - o.pos < lit_left) return kTooSmall;
    if (o.base && lit_left) std::memmove(o.base + o.pos, literals, lit_left);
    o.pos += lit_left;
    return kDone;
}

int decode_block(Context& c, const uint8_t* src, size_t size, Output& o) {
    if (size < 2) return kMalformed;
    const uint64_t start = o.pos;
    Literals lit{};
    const int64_t used = decode_literals(c, src, size, o, lit);
    if (used < 0) return int(-used);
    const int r = decode_sequences(c, src + used, size - size_t(used), o, lit);
    if (r != kDone) return r;
    if (o.pos - start > o.block_max) return kMalformed;
    return kDone;
}

// Decodes (or walks) every frame of the input. Writing when output is not
// null; otherwise frames with a declared size are only walked unless
// counting is set.
int decompress_frames(const uint8_t* in, size_t length, uint8_t* output, uint64_t capacity,
                      uint64_t* produced, Context& c, bool counting) {
    const bool writing = output != nullptr;
    const uint64_t out_limit = writing ? capacity : kSeriesLimit;
    *produced = 0;
    if (length == 0) return kMalformed;
    const uint8_t* p = in;
    const uint8_t* const end = in + length;
    Output o{output, 0, 0, 0, 0};
    while (p < end) {
        size_t rest = size_t(end - p);
        if (rest < 4) return kMalformed;
        const uint32_t magic = read_u32le(p);
        if ((magic & kSkippableMask) == kSkippableMagic) {
            if (rest < 8) return kMalformed;
            const uint32_t skip = read_u32le(p + 4);
            if (skip >= 0x80000000u || skip > rest - 8) return kMalformed;
            p += 8 + skip;
            continue;
        }
        if (magic != kMagic || rest < 5) return kMalformed;
        const unsigned fhd = p[4];
        if (fhd & 0x08) return kMalformed;
        const bool single = fhd & 0x20;
        const bool checksum = fhd & 0x04;
        static constexpr size_t kDictBytes[4] = {0, 1, 2, 4};
        static constexpr size_t kSizeBytes[4] = {0, 2, 4, 8};
        const size_t dict_bytes = kDictBytes[fhd & 3];
        const size_t size_bytes = (fhd >> 6) == 0 ? (single ? 1 : 0) : kSizeBytes[fhd >> 6];
        const size_t header = 5 + (single ? 0 : 1) + dict_bytes + size_bytes;
        if (header > rest) return kMalformed;
        const uint8_t* h = p + 5;
        o.block_max = kBlockMax;
        c.window = kSeriesLimit;
        if (!single) {
            const unsigned wd = *h++;
            const unsigned exponent = wd >> 3;
            if (exponent > 21) return kMalformed;
            if (exponent < 21) {
                const uint64_t base = uint64_t(1) << (10 + exponent);
                c.window = base + (base / 8) * (wd & 7);
                o.block_max = std::min<uint64_t>(kBlockMax, c.window);
            }
        }
        uint32_t dict = 0;
        for (size_t i = 0; i < dict_bytes; ++i) dict |= uint32_t(h[i]) << (8 * i);
        h += dict_bytes;
        if (dict != 0) return kMalformed;
        int64_t content = -1;
        if (size_bytes == 1) {
            content = h[0];
        } else if (size_bytes == 2) {
            content = int64_t(read_u16le(h)) + 256;
        } else if (size_bytes == 4) {
            content = read_u32le(h);
            if (content >= 0x80000000LL) return kMalformed;
        } else if (size_bytes == 8) {
            const uint64_t v = read_u64le(h);
            if (v >= 0x80000000ULL) return kMalformed;
            content = int64_t(v);
        }
        if (single && content >= 0 && uint64_t(content) < o.block_max) o.block_max = uint64_t(content);
        if (content >= 0 && uint64_t(content) > out_limit - o.pos) return writing ? kTooSmall : kMalformed;
        o.frame_start = o.pos;
        o.limit = content >= 0 ? o.pos + uint64_t(content) : out_limit;
        const bool size_only = !writing && !counting && content >= 0;
        if (size_only) c.header_size = true;
        reset_frame(c);
        p += header;

        uint64_t upper = 0;  // most output the blocks can give
        for (;;) {
            if (size_t(end - p) < 3) return kMalformed;
            const uint32_t bh = read_u24le(p);
            p += 3;
            const bool last = bh & 1;
            const unsigned type = (bh >> 1) & 3;
            const uint32_t bsize = bh >> 3;
            if (type == 3) return kMalformed;
            if (bsize > o.block_max) return kMalformed;
            const size_t input = type == 1 ? 1 : bsize;
            if (input > size_t(end - p)) return kMalformed;
            upper = std::min<uint64_t>(kSeriesLimit, upper + (type == 2 ? o.block_max : bsize));
            if (!size_only) {
                if (type < 2) {
                    if (o.limit - o.pos < bsize) return writing && content < 0 ? kTooSmall : kMalformed;
                    if (writing) {
                        if (type == 0) std::memcpy(output + o.pos, p, bsize);
                        else std::memset(output + o.pos, p[0], bsize);
                    }
                    o.pos += bsize;
                } else {
                    const int r = decode_block(c, p, bsize, o);
                    if (r != kDone) return writing && content < 0 ? r : kMalformed;
                }
            }
            p += input;
            if (last) break;
        }
        if (checksum) {
            if (size_t(end - p) < 4) return kMalformed;
            if (writing) {
                const uint64_t sum = compress::xxh64(output + o.frame_start, size_t(o.pos - o.frame_start));
                if (uint32_t(sum) != read_u32le(p)) return kMalformed;
            }
            p += 4;
        }
        if (size_only) {
            if (uint64_t(content) > upper) return kMalformed;
            o.pos += uint64_t(content);
        } else if (content >= 0 && o.pos - o.frame_start != uint64_t(content)) {
            return kMalformed;
        }
    }
    *produced = o.pos;
    return kDone;
}

}  // namespace

compress::Result decompress(uint8_t* output, int32_t* size, const uint8_t* input, int32_t length) {
    using compress::Result;
    if (!size) return Result::Malformed;
    if (length < 0 || (!input && length > 0)) {
        *size = 0;
        return Result::Malformed;
    }
    Context c;
    const uint64_t capacity = compress::capacity_of(output, size);
    uint64_t total = 0;
    if (output) {
        const int r = decompress_frames(input, size_t(length), output, capacity, &total, c, false);
        if (r != kTooSmall) {
            *size = int32_t(total);
            return Result(r);
        }
    }
    c.header_size = false;
    int r = decompress_frames(input, size_t(length), nullptr, 0, &total, c, false);
    // Declared sizes are only trusted while they look plausible for the
    // input; otherwise every frame is decoded to learn the real size.
    if (r == kDone && c.header_size && ((total >> 5) >= uint64_t(length) || total >= 16777216))
        r = decompress_frames(input, size_t(length), nullptr, 0, &total, c, true);
    if (r != kDone) {
        *size = 0;
        return Result::Malformed;
    }
    if (output && total <= capacity) {
        *size = 0;
        return Result::Malformed;  // the data disagrees with itself
    }
    *size = int32_t(total);
    return total > 0 ? Result::OutputTooSmall : Result::Done;
}

}  // namespace qor::zstd
