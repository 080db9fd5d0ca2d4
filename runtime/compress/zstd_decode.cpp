// Zstandard frame decoder. One call decodes every frame of the input with
// all tables on its own stack. Output is addressed by offsets from the
// caller's buffer so that the same code also runs without a buffer, to
// count the decoded size. Huffman and RLE literals are decoded into the
// unused tail of the frame's output space rather than a separate buffer.
//
// Each sequence is decoded from tables that give each code's baseline and
// extra bits in one read, then checked and copied at once; copies go 8 or
// 16 bytes a step wherever the bytes they may write past their end are
// free.
#include "runtime/compress/zstd_decode.h"

#include <algorithm>
#include <bit>
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

// One cell of a sequence table: the state transition of its FSE cell and,
// looked up when the table is built, the baseline and extra-bit count of
// the code it decodes to, so that decoding a value costs one table read.
struct SeqCell {
    uint16_t next;       // baseline of the next state
    uint8_t state_bits;  // bits read for the next state
    uint8_t extra_bits;  // bits read for the value (offset code 31: above 30)
    uint32_t base;       // the value's baseline
};

// The cells live in the context, also when they are the predefined ones
// (copied in when a block picks them): the sequence loop finds all three
// tables at fixed places from the context rather than through pointers.
struct SeqTable {
    int log = -1;  // -1: no table yet in this frame
    SeqCell cells[512];
};

// What a code of one of the three sequence fields stands for.
enum class SeqField { litlen, offset, matchlen };

SeqCell seq_cell(SeqField field, FseCell fse) {
    const uint32_t code = fse_symbol(fse);
    SeqCell cell{uint16_t(fse_base(fse)), uint8_t(fse_bits(fse)), 0, 0};
    switch (field) {
    case SeqField::litlen:
        cell.extra_bits = kLitLenBits[code];
        cell.base = kLitLenBase[code];
        break;
    case SeqField::matchlen:
        cell.extra_bits = kMatchLenBits[code];
        cell.base = kMatchLenBase[code];
        break;
    case SeqField::offset:
        cell.extra_bits = uint8_t(code);
        cell.base = 1u << code;
        break;
    }
    return cell;
}

// The predefined table of each field, built once: blocks use them often,
// and they never change.
const SeqCell* predefined_cells(SeqField field) {
    struct Tables {
        SeqCell litlen[1 << kLitLenDefaultLog], offset[1 << kOffsetDefaultLog], matchlen[1 << kMatchLenDefaultLog];
    };
    static const Tables tables = [] {
        Tables t;
        FseCell fse[64];
        build_fse_table(kLitLenDefault, kLitLenCodes, kLitLenDefaultLog, fse);
        for (int i = 0; i < (1 << kLitLenDefaultLog); ++i) t.litlen[i] = seq_cell(SeqField::litlen, fse[i]);
        build_fse_table(kOffsetDefault, kOffsetDefaultCount, kOffsetDefaultLog, fse);
        for (int i = 0; i < (1 << kOffsetDefaultLog); ++i) t.offset[i] = seq_cell(SeqField::offset, fse[i]);
        build_fse_table(kMatchLenDefault, kMatchLenCodes, kMatchLenDefaultLog, fse);
        for (int i = 0; i < (1 << kMatchLenDefaultLog); ++i) t.matchlen[i] = seq_cell(SeqField::matchlen, fse[i]);
        return t;
    }();
    switch (field) {
    case SeqField::litlen: return tables.litlen;
    case SeqField::offset: return tables.offset;
    case SeqField::matchlen: return tables.matchlen;
    }
    return nullptr;
}

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
    const uint8_t* end;  // end of the readable bytes after the literals
};

inline void copy16(uint8_t* dst, const uint8_t* src) {
    uint8_t t[16];
    std::memcpy(t, src, 16);
    std::memcpy(dst, t, 16);
}

inline void copy8(uint8_t* dst, const uint8_t* src) {
    uint8_t t[8];
    std::memcpy(t, src, 8);
    std::memcpy(dst, t, 8);
}

// Bytes a sequence may write past its end when copied by wild_sequence.
constexpr uint64_t kWildSlack = 16;

// For a period p below 8, the factor that repeats p bytes (the low 8p
// bits of a word) over the 8 bytes of a word, and the largest multiple of
// p that is at most 8.
constexpr uint64_t kRepeatFactor[8] = {0,
                                       0x0101010101010101ull,
                                       0x0001000100010001ull,
                                       0x0001000001000001ull,
                                       0x0000000100000001ull,
                                       0x0000010000000001ull,
                                       0x0001000000000001ull,
                                       0x0100000000000001ull};
constexpr uint64_t kRepeatStep[8] = {0, 8, 8, 6, 8, 5, 6, 7};
static_assert(std::endian::native == std::endian::little, "a pattern's first byte is its word's lowest");

// Copies one sequence's literals and match in steps of 8 or 16 bytes,
// writing up to kWildSlack bytes past the match and reading as far past
// the literals; the caller has checked that both are harmless. Copying
// forward in whole steps is safe while the literals lie ahead of the
// cursor (or in the input), and a match reads only bytes already written.
//
// A match closer than 16 bytes repeats its first `offset` bytes. Copying it
// step by step from `offset` back would make every read wait for the
// stores just before it; instead the pattern is loaded once (the bytes
// after it are not yet the match's and are dropped or overwritten) and
// stored again and again, each store starting at a whole period.
inline void wild_sequence(uint8_t* dst, const uint8_t* literals, uint64_t ll, uint64_t ml, uint64_t offset) {
    copy16(dst, literals);
    for (uint64_t i = 16; i < ll; i += 16) copy16(dst + i, literals + i);
    dst += ll;
    const uint8_t* src = dst - offset;
    if (offset >= 16) {
        for (uint64_t i = 0; i < ml; i += 16) copy16(dst + i, src + i);
    } else if (offset >= 8) {
        uint8_t pattern[16];
        std::memcpy(pattern, src, 16);
        for (uint64_t i = 0; i < ml; i += offset) std::memcpy(dst + i, pattern, 16);
    } else {
        const uint64_t pattern = (read_u64le(src) & ((uint64_t(1) << (8 * offset)) - 1)) * kRepeatFactor[offset];
        const uint64_t step = kRepeatStep[offset];
        for (uint64_t i = 0; i < ml; i += step) std::memcpy(dst + i, &pattern, 8);
    }
}

// Copies one sequence's literals and match exactly, for the sequences
// too close to the unread literals or to the end of the output for
// wild_sequence.
inline void exact_sequence(uint8_t* dst, const uint8_t* literals, uint64_t ll, uint64_t ml, uint64_t offset) {
    if (ll) std::memmove(dst, literals, ll);
    copy_match(dst + ll, offset, ml);
}

// Builds the cells of a sequence table from a valid distribution of at
// most 64 codes, as build_fse_table and seq_cell would together but in
// one pass over the cells: what each code stands for is looked up once
// per code rather than once per cell.
void build_seq_cells(const int16_t* norm, int symbols, int log, SeqField field, SeqCell* cells) {
    const uint32_t size = 1u << log;
    uint8_t spread[512];
    fse_spread(norm, symbols, log, spread);
    SeqCell code[64];
    uint32_t next[64];
    for (int s = 0; s < symbols; ++s) {
        code[s] = seq_cell(field, FseCell(s));
        next[s] = uint32_t(norm[s] == -1 ? 1 : norm[s]);
    }
    for (uint32_t u = 0; u < size; ++u) {
        const uint32_t s = spread[u];
        const uint32_t state = next[s]++;
        const uint32_t bits = uint32_t(log - (31 - __builtin_clz(state)));  // state >= 1
        SeqCell cell = code[s];
        cell.next = uint16_t((state << bits) - size);
        cell.state_bits = uint8_t(bits);
        cells[u] = cell;
    }
}

// Sets one sequence table from its mode: predefined, a single symbol
// (RLE), described in the block (FSE), or the previous one (repeat).
// Returns bytes used or -1.
int read_seq_table(Context& c, SeqTable& t, SeqField field, int mode, const uint8_t* src, size_t size,
                   int default_log, int max_log, int max_symbol) {
    FseCell fse[512];
    int used = 0;
    switch (mode) {
    case 0:
        std::memcpy(t.cells, predefined_cells(field), sizeof(SeqCell) << default_log);
        t.log = default_log;
        return 0;
    case 1:
        if (size < 1 || src[0] > max_symbol) return -1;
        fse[0] = src[0];
        t.log = 0;
        used = 1;
        break;
    case 2: {
        int symbols = 0, log = 0;
        used = read_ncount(src, size, max_log, max_symbol, c.norm, &symbols, &log);
        if (used < 0) return -1;
        build_seq_cells(c.norm, symbols, log, field, t.cells);
        t.log = log;
        return used;
    }
    default:
        return t.log < 0 ? -1 : 0;
    }
    for (uint32_t i = 0; i < (1u << t.log); ++i) t.cells[i] = seq_cell(field, fse[i]);
    return used;
}

// Literals in a block from which on decoding two symbols a look-up repays
// building the table of pairs.
constexpr uint64_t kPairsWorthIt = 4096;

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
        lit.end = src + size;
        return int64_t(header + input);
    }
    if (o.limit - o.pos < regenerated) return -kTooSmall;
    const uint64_t tail = o.limit - regenerated;
    uint8_t* dst = o.base ? o.base + tail : nullptr;
    lit.data = dst;
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
    if (dst && regenerated >= kPairsWorthIt) make_huffman_pairs(c.huff);
    if (!decode_huffman_streams4(c.huff, p, rest, dst, regenerated)) return -kMalformed;
    return int64_t(header + input);
}

// Decodes `count` sequences from their bitstream and executes them as they
// come: copies each one's literals and match to the output (when there is
// one). The literal cursor and count advance as they are used. A sequence
// is checked and copied before the next one is decoded, so the first
// failing sequence decides the result.
//
// Decoding a sequence is one long chain of dependent steps (table look-up,
// bits, next state), and copying one is short independent work: in one
// loop the processor runs the copy of a sequence while it waits on the
// chain of the next. Values the chain does not need (the output limits,
// the repeat offsets) may live on the stack.
int run_sequences(Context& c, const uint8_t* stream, size_t size, uint32_t count, Output& o, const Literals& lit,
                  const uint8_t*& literals_io, uint64_t& lit_left_io) {
    BackwardBits in;
    if (!in.init(stream, size)) return kMalformed;
    uint32_t ll_state = uint32_t(in.read(unsigned(c.litlen.log)));
    uint32_t of_state = uint32_t(in.read(unsigned(c.offset.log)));
    uint32_t ml_state = uint32_t(in.read(unsigned(c.matchlen.log)));
    in.reload();
    uint32_t rep0 = c.rep[0], rep1 = c.rep[1], rep2 = c.rep[2];
    const SeqCell* const ll_cells = c.litlen.cells;
    const SeqCell* const of_cells = c.offset.cells;
    const SeqCell* const ml_cells = c.matchlen.cells;

    uint8_t* const base = o.base;
    const uint64_t limit = o.limit, frame_start = o.frame_start, window = c.window;
    uint64_t pos = o.pos, lit_left = lit_left_io;
    const uint8_t* literals = literals_io;
    // Literals in the output's tail end exactly at the frame limit, and raw
    // literals are followed by the rest of the block, so how far past the
    // literals may be read is a constant of the block.
    const uint64_t lit_slack = base ? uint64_t(lit.end - literals) - lit_left : 0;

    for (uint32_t left = count; left > 0; --left) {
        const unsigned of_bits = of_cells[of_state].extra_bits;
        if (of_bits > 30) return kMalformed;
        const uint32_t of_value = of_cells[of_state].base + uint32_t(in.read(of_bits));
        if (of_bits > 24) in.reload();
        // Most literal and match lengths have no extra bits: skipping
        // their read is cheaper than reading zero bits, and the predicted
        // branch takes the bit count out of the chain of dependent steps
        // (reading them without a branch measured slower).
        const unsigned ml_bits = ml_cells[ml_state].extra_bits, ll_bits = ll_cells[ll_state].extra_bits;
        uint64_t ml = ml_cells[ml_state].base, ll = ll_cells[ll_state].base;
        if (ml_bits) ml += in.read_some(ml_bits);
        if (ll_bits) ll += in.read_some(ll_bits);
        // A reload leaves at least 57 bits in the window (or all that is
        // left of the stream); the state updates take at most 26.
        if ((of_bits > 24 ? 0u : of_bits) + ml_bits + ll_bits > 57 - 26) in.reload();
        // Repeat offsets: values 1-3 pick a recent offset, shifted by one
        // when the literal length is 0; anything else is a new offset.
        // Codes 0 and 1 give the values 1-3, so the branch can be taken on
        // the code, known before its bits are read.
        uint32_t offset32;
        if (of_bits > 1) {
            offset32 = of_value - 3;
            rep2 = rep1;
            rep1 = rep0;
            rep0 = offset32;
        } else {
            const uint32_t index = of_value - 1 + (ll == 0 ? 1 : 0);
            if (index == 0) {
                offset32 = rep0;
            } else if (index == 1) {
                offset32 = rep1;
                rep1 = rep0;
                rep0 = offset32;
            } else {
                offset32 = index == 2 ? rep2 : rep0 - 1;
                rep2 = rep1;
                rep1 = rep0;
                rep0 = offset32;
            }
        }
        // The states move on after every sequence but the last. The cells
        // are read again here rather than kept from above: fewer values
        // live across the loop leaves more of them in registers.
        if (left > 1) {
            ll_state = ll_cells[ll_state].next + uint32_t(in.read(ll_cells[ll_state].state_bits));
            ml_state = ml_cells[ml_state].next + uint32_t(in.read(ml_cells[ml_state].state_bits));
            of_state = of_cells[of_state].next + uint32_t(in.read(of_cells[of_state].state_bits));
            in.reload();
        }

        const uint64_t offset = offset32;
        if (ll > lit_left) return kMalformed;
        // The offset lies in 1 .. min(bytes produced in this frame, window).
        const uint64_t reach = std::min(pos - frame_start + ll, window);
        if (offset - 1 >= reach) return kMalformed;
        // The match and every unread literal (which lie in the output's
        // tail) must fit before the frame limit: `spare` is what is left.
        const int64_t spare = int64_t(limit - pos) - int64_t(ml + lit_left);
        if (base && spare >= int64_t(kWildSlack) && lit_left + lit_slack >= ll + kWildSlack) {
            wild_sequence(base + pos, literals, ll, ml, offset);
        } else {
            if (spare < 0) return kTooSmall;
            if (base) exact_sequence(base + pos, literals, ll, ml, offset);
        }
        // Without an output the literals may not be stored at all (null),
        // and no pointer may step off null.
        literals += base ? ll : 0;
        lit_left -= ll;
        pos += ll + ml;
    }
    in.reload();
    if (!in.finished()) return kMalformed;
    c.rep[0] = rep0;
    c.rep[1] = rep1;
    c.rep[2] = rep2;
    o.pos = pos;
    literals_io = literals;
    lit_left_io = lit_left;
    return kDone;
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
        int used = read_seq_table(c, c.litlen, SeqField::litlen, modes >> 6, p, size_t(end - p), kLitLenDefaultLog,
                                  kLitLenMaxLog, kLitLenCodes - 1);
        if (used < 0) return kMalformed;
        p += used;
        used = read_seq_table(c, c.offset, SeqField::offset, (modes >> 4) & 3, p, size_t(end - p), kOffsetDefaultLog,
                              kOffsetMaxLog, kOffsetCodes - 1);
        if (used < 0) return kMalformed;
        p += used;
        used = read_seq_table(c, c.matchlen, SeqField::matchlen, (modes >> 2) & 3, p, size_t(end - p),
                              kMatchLenDefaultLog, kMatchLenMaxLog, kMatchLenCodes - 1);
        if (used < 0) return kMalformed;
        p += used;

        const int r = run_sequences(c, p, size_t(end - p), count, o, lit, literals, lit_left);
        if (r != kDone) return r;
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
