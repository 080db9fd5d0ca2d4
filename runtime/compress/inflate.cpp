// inflate.cpp - the raw deflate decoder. Each Huffman table is an array of
// entries sorted by left-aligned code and searched by binary search, which
// gives every bit pattern a defined symbol (the nearest lower code) even for
// over-subscribed or incomplete code sets. A small lookup table, derived
// from that search, answers the common short codes in one step. Output past
// the capacity is counted, not stored, so the decoder is its own size meter.
#include <algorithm>
#include <array>
#include <cstring>

#include "runtime/compress/deflate.h"
#include "runtime/compress/deflate_huffman.h"

namespace qor::inflate {

using compress::Result;
using deflate::reverse_bits16;

namespace {

// ---------------------------------------------------------------------------
// Bit reader

// Reads bits least significant first. When the input runs dry, missing bits
// read as zeros and the held count stops at 0. Bits above the held count are
// either zero or the input's next bytes in place, never anything else.
class BitReader {
public:
    BitReader(const std::uint8_t* in, std::uint64_t len) : in_(in), len_(len) { refill(); }

    // Tops the buffer up to at least 48 bits while input remains.
    void refill() {
        if (count_ >= 48) return;
        if (pos_ + 8 <= len_) {
            std::uint64_t word;
            std::memcpy(&word, in_ + pos_, 8);
            buf_ |= word << count_;
            const unsigned take = (63 - count_) >> 3;
            pos_ += take;
            count_ += take * 8;
            return;
        }
        while (count_ <= 56 && pos_ < len_) {
            buf_ |= static_cast<std::uint64_t>(in_[pos_++]) << count_;
            count_ += 8;
        }
    }
    [[nodiscard]] std::uint32_t peek16() const { return static_cast<std::uint32_t>(buf_ & 0xFFFF); }
    // Drops n bits without refilling; after refill() at least 48 bits are
    // held unless the input has run dry: enough for a whole match (length
    // code 15 + extra 5, distance code 15 + extra 13).
    void drop(unsigned n) {
        buf_ >>= n;
        count_ = count_ > n ? count_ - n : 0;
    }
    void consume(unsigned n) {
        drop(n);
        refill();
    }
    // The next n bits (0..16), without and with refilling.
    std::uint32_t take(unsigned n) {
        const auto v = static_cast<std::uint32_t>(buf_ & ((1u << n) - 1));
        drop(n);
        return v;
    }
    std::uint32_t get(unsigned n) {
        const std::uint32_t v = take(n);
        refill();
        return v;
    }
    void align_to_byte() { consume(count_ & 7); }
    // Hands the whole bytes still held back to the input (the reader is
    // byte aligned) and empties the buffer.
    void give_back_bytes() {
        pos_ -= count_ / 8;
        buf_ = 0;
        count_ = 0;
    }
    [[nodiscard]] bool more() const { return pos_ < len_ || count_ > 0; }
    [[nodiscard]] std::uint64_t remaining_bytes() const { return len_ - pos_; }
    [[nodiscard]] const std::uint8_t* cursor() const { return in_ + pos_; }
    void skip_bytes(std::uint64_t n) {
        pos_ += n;
        refill();
    }

private:
    const std::uint8_t* in_;
    std::uint64_t len_;
    std::uint64_t pos_ = 0;
    std::uint64_t buf_ = 0;
    unsigned count_ = 0;
};

// ---------------------------------------------------------------------------
// Huffman tables

constexpr std::uint16_t kSlow = 0xFFFF;  // lookup entry: use the binary search

// Entries are (code << (32 - length)) | symbol << 4 | length, grouped by
// length and then by code; symbols of length 0 give entries of value 0 at the
// front. `fast` is indexed by the next kBits input bits as they arrive.
template <unsigned kBits, int kMaxEntries>
struct Table {
    std::array<std::uint32_t, kMaxEntries> entries;
    int count = 0;
    std::array<std::uint16_t, 1u << kBits> fast;

    // Index after the greatest entry not above key (as an unsigned number).
    [[nodiscard]] int search(std::uint32_t key) const {
        int lo = 0, hi = count;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (key < entries[mid])
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    }
    [[nodiscard]] std::uint32_t entry_for(std::uint32_t key) const {
        const int i = search(key);
        return i > 0 ? entries[i - 1] : 0;
    }

    void build(const std::uint8_t* lengths, int n) {
        std::array<std::uint32_t, 16> lcount{};
        for (int i = 0; i < n; ++i) ++lcount[lengths[i] & 15];
        std::array<std::uint32_t, 16> next{}, start{};
        for (int l = 1; l < 16; ++l) {
            next[l] = (next[l - 1] + lcount[l - 1]) << 1;
            start[l] = start[l - 1] + lcount[l - 1];
        }
        count = n;
        std::fill_n(entries.begin(), n, 0u);
        for (int sym = 0; sym < n; ++sym) {
            const unsigned l = lengths[sym] & 15;
            if (l == 0) continue;
            entries[start[l]++] = (next[l]++ << (32 - l)) | static_cast<std::uint32_t>(sym) << 4 | l;
        }
        build_lookup();
    }

    // A lookup entry holds when every 16-bit window that starts with these
    // kBits bits finds the same entry. The search is monotonic in the key,
    // so the lowest and the highest window of each prefix decide. For
    // sorted entries (every well-formed code) the search result is the
    // number of entries not above the key, found by one merge-like walk.
    void build_lookup() {
        const bool sorted = std::is_sorted(entries.begin(), entries.begin() + count);
        int i = 0;
        for (std::uint32_t prefix = 0; prefix < (1u << kBits); ++prefix) {
            const std::uint32_t low = prefix << (32 - kBits) | 0xFFFF;
            const std::uint32_t high = prefix << (32 - kBits) | ((1u << (32 - kBits)) - 1);
            int at_low, at_high;
            if (sorted) {
                while (i < count && entries[i] <= low) ++i;
                at_low = i;
                while (i < count && entries[i] <= high) ++i;
                at_high = i;
            } else {
                at_low = search(low);
                at_high = search(high);
            }
            const std::uint32_t raw = reverse_bits16(prefix) >> (16 - kBits);
            fast[raw] = at_low == at_high && at_low > 0 ? static_cast<std::uint16_t>(entries[at_low - 1] & 0xFFFF) : kSlow;
        }
    }

    // Decodes one symbol: the entry of the greatest code not above the next
    // 16 input bits (first bit most significant). Does not refill.
    std::uint32_t decode_held(BitReader& r) const {
        std::uint32_t e = fast[r.peek16() & ((1u << kBits) - 1)];
        if (e == kSlow) e = entry_for(reverse_bits16(r.peek16()) << 16 | 0xFFFF);
        r.drop(e & 15);
        return (e >> 4) & 0xFFF;
    }
    std::uint32_t decode(BitReader& r) const {
        const std::uint32_t sym = decode_held(r);
        r.refill();
        return sym;
    }
};

using LitLenTable = Table<10, deflate::kLitLenCodes>;
using DistanceTable = Table<8, deflate::kDistanceCodes>;
using CodeLengthTable = Table<7, deflate::kCodeLengthSymbols>;

struct FixedTables {
    LitLenTable lit;
    DistanceTable dist;
};

const FixedTables& fixed_tables() {
    static const FixedTables tables = [] {
        FixedTables t;
        std::array<std::uint8_t, deflate::kLitLenCodes> lit;
        for (int i = 0; i < deflate::kLitLenCodes; ++i) lit[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        std::array<std::uint8_t, deflate::kDistanceCodes> dist;
        dist.fill(5);
        t.lit.build(lit.data(), deflate::kLitLenCodes);
        t.dist.build(dist.data(), deflate::kDistanceCodes);
        return t;
    }();
    return tables;
}

// ---------------------------------------------------------------------------
// Decoder

// Output sink: stores before the end of the buffer, counts everything. A
// sink with a growing buffer enlarges it rather than count past its end.
struct Output {
    std::uint8_t* out;
    std::uint64_t cap;
    std::uint64_t produced = 0;
    compress::GrowingBuffer* growing = nullptr;

    // True when n more bytes can be stored, after growing when possible.
    bool room_for(std::uint64_t n) {
        if (produced + n <= cap) return true;
        if (growing == nullptr || !growing->reserve(produced + n)) return false;
        out = growing->data();
        cap = growing->capacity();
        return true;
    }
};

enum class Step { Continue, EndOfBlock };

// Reads a dynamic block's header into `lit` and `dist`.
Result read_dynamic_tables(BitReader& r, LitLenTable& lit, DistanceTable& dist) {
    const int hlit = static_cast<int>(r.get(5)) + 257;
    const int hdist = static_cast<int>(r.get(5)) + 1;
    const int hclen = static_cast<int>(r.get(4)) + 4;
    std::array<std::uint8_t, deflate::kCodeLengthSymbols> cl_lengths{};
    for (int i = 0; i < hclen; ++i) cl_lengths[deflate::kCodeLengthOrder[i]] = static_cast<std::uint8_t>(r.get(3));
    CodeLengthTable cl;
    cl.build(cl_lengths.data(), deflate::kCodeLengthSymbols);

    std::array<std::uint8_t, 320> lengths;
    const int total = hlit + hdist;
    int i = 0;
    while (i < total) {
        const std::uint32_t sym = cl.decode(r);
        if (sym < 16) {
            lengths[i++] = static_cast<std::uint8_t>(sym);
            continue;
        }
        std::uint8_t value = 0;
        int repeat;
        if (sym == 16) {
            if (i == 0) return Result::Malformed;  // nothing to repeat
            value = lengths[i - 1];
            repeat = 3 + static_cast<int>(r.get(2));
        } else if (sym == 17) {
            repeat = 3 + static_cast<int>(r.get(3));
        } else {
            repeat = 11 + static_cast<int>(r.get(7));
        }
        if (i + repeat > total) return Result::Malformed;
        std::fill_n(lengths.begin() + i, repeat, value);
        i += repeat;
    }
    // With no literal/length code at all every symbol would decode from zero
    // bits, endlessly: such a block is malformed.
    if (std::all_of(lengths.begin(), lengths.begin() + hlit, [](std::uint8_t l) { return l == 0; }))
        return Result::Malformed;
    lit.build(lengths.data(), hlit);
    dist.build(lengths.data() + hlit, hdist);
    return Result::Done;
}

// Copies a match of `length` bytes from `distance` back; byte by byte in
// effect, so overlapping copies repeat.
[[gnu::always_inline]] inline void copy_match(Output& o, std::uint32_t distance, std::uint32_t length) {
    // Far from the end of the output, a match at least 8 bytes back is
    // copied 8 bytes at a time: each piece reads bytes already final, and
    // the last may write up to 7 bytes past the match, which later output
    // overwrites.
    if (distance >= 8 && o.produced + length + 8 <= o.cap) [[likely]] {
        std::uint8_t* dst = o.out + o.produced;
        const std::uint8_t* src = dst - distance;
        std::uint8_t* const end = dst + length;
        do {
            std::memcpy(dst, src, 8);
            dst += 8;
            src += 8;
        } while (dst < end);
        o.produced += length;
        return;
    }
    if (o.produced + length <= o.cap || o.room_for(length)) {
        std::uint8_t* dst = o.out + o.produced;
        const std::uint8_t* src = dst - distance;
        if (distance >= length) {
            std::memcpy(dst, src, length);
        } else {
            for (std::uint32_t k = 0; k < length; ++k) dst[k] = src[k];
        }
        o.produced += length;
        return;
    }
    for (std::uint32_t k = 0; k < length; ++k) {
        if (o.produced < o.cap) o.out[o.produced] = o.out[o.produced - distance];
        else {
            o.produced += length - k;
            return;
        }
        ++o.produced;
    }
}

// Decodes symbols until the end of the block or of the input.
[[gnu::always_inline]] inline Result decode_symbols_in(BitReader& r, Output& o, const LitLenTable& lit,
                                                       const DistanceTable& dist, Step& step) {
    // Stores a literal; false when the output can hold no more.
    const auto literal = [&o](std::uint32_t sym) {
        if (o.produced < o.cap || o.room_for(1)) o.out[o.produced] = static_cast<std::uint8_t>(sym);
        else if (o.produced >= compress::kMaxSeriesBytes) return false;
        ++o.produced;
        return true;
    };
    while (r.more()) {
        r.refill();  // one refill covers a literal or a whole match
        std::uint32_t sym = lit.decode_held(r);
        if (sym < 256) {
            if (!literal(sym)) return Result::Malformed;
            // The bits still held (at least 33) cover one more code: a
            // literal goes out at once, anything else after a refill.
            if (!r.more()) break;
            sym = lit.decode_held(r);
            if (sym < 256) {
                if (!literal(sym)) return Result::Malformed;
                continue;
            }
            r.refill();
        }
        if (sym == deflate::kEndOfBlock) {
            step = Step::EndOfBlock;
            return Result::Done;
        }
        if (sym > 285) return Result::Malformed;
        const unsigned lc = sym - 257;
        const std::uint32_t length = deflate::kLengthBase[lc] + r.take(deflate::kLengthExtra[lc]);
        const std::uint32_t dc = dist.decode_held(r);
        if (dc > 29) return Result::Malformed;
        const std::uint32_t distance = deflate::kDistanceBase[dc] + r.take(deflate::kDistanceExtra[dc]);
        if (distance > o.produced) return Result::DistanceTooFar;
        copy_match(o, distance, length);
        if (o.produced > compress::kMaxSeriesBytes) return Result::Malformed;
    }
    step = Step::Continue;
    return Result::Done;
}

// Works on local copies of the reader and the output: byte stores through
// the output pointer could otherwise alias their fields and force reloads.
Result decode_symbols(BitReader& reader, Output& output, const LitLenTable& lit, const DistanceTable& dist,
                      Step& step) {
    BitReader r = reader;
    Output o = output;
    const Result res = decode_symbols_in(r, o, lit, dist, step);
    reader = r;
    output = o;
    return res;
}

// Copies a stored block; the reader is positioned after the block header.
Result copy_stored(BitReader& r, Output& o) {
    r.align_to_byte();
    const std::uint32_t len = r.get(16);
    r.get(16);  // NLEN is not compared with LEN
    if (len == 0) return Result::Done;
    r.give_back_bytes();
    if (r.remaining_bytes() < len) return Result::StoredOverrun;
    (void)o.room_for(len);
    if (o.produced < o.cap) std::memcpy(o.out + o.produced, r.cursor(), std::min<std::uint64_t>(len, o.cap - o.produced));
    o.produced += len;
    r.skip_bytes(len);
    return o.produced > compress::kMaxSeriesBytes ? Result::Malformed : Result::Done;
}

Result finish(std::int32_t* size, const Output& o, Result r) {
    if (!compress::store_size(size, o.produced)) return Result::Malformed;
    if (r != Result::Done) return r;
    return o.produced > o.cap ? Result::OutputTooSmall : Result::Done;
}

// Decodes the stream into the sink.
Result run(Output& o, std::int32_t* size, const std::uint8_t* in, std::int32_t length) {
    if (length < 0 || (in == nullptr && length > 0)) return finish(size, o, Result::Malformed);
    BitReader r(in, static_cast<std::uint64_t>(length));
    LitLenTable lit;
    DistanceTable dist;
    while (r.more()) {
        const bool final = r.get(1) != 0;
        const std::uint32_t type = r.get(2);
        Result res = Result::Done;
        Step step = Step::EndOfBlock;
        switch (type) {
            case 0:
                res = copy_stored(r, o);
                break;
            case 1: {
                const FixedTables& fixed = fixed_tables();
                res = decode_symbols(r, o, fixed.lit, fixed.dist, step);
                break;
            }
            case 2:
                res = read_dynamic_tables(r, lit, dist);
                if (res == Result::Done) res = decode_symbols(r, o, lit, dist, step);
                break;
            default:
                res = Result::BadBlockType;
                break;
        }
        if (res != Result::Done) return finish(size, o, res);
        if (step == Step::EndOfBlock && final) break;
        // A block cut short by the end of the input ends the stream.
    }
    return finish(size, o, Result::Done);
}

}  // namespace

Result decompress(std::uint8_t* out, std::int32_t* size, const std::uint8_t* in, std::int32_t length) {
    if (size == nullptr) return Result::Malformed;
    Output o{out, compress::capacity_of(out, size)};
    return run(o, size, in, length);
}

Result decompress_growing(compress::GrowingBuffer& out, std::int32_t* size, const std::uint8_t* in,
                          std::int32_t length) {
    if (size == nullptr) return Result::Malformed;
    Output o{out.data(), out.capacity(), 0, &out};
    return run(o, size, in, length);
}

}  // namespace qor::inflate
