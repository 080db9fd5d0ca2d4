// Compression natives: compress and decompress a binary (or a string's
// UTF-8) with zlib, raw deflate, gzip or zstd. The codecs answer "done",
// "output too small" with the size they need, or a failure; the natives size
// the output, retry once with the size asked for, and make the binary!.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/compress/codec.h"
#include "runtime/compress/deflate.h"
#include "runtime/compress/zstd_compress.h"
#include "runtime/compress/zstd_decode.h"
#include "runtime/core/error_fire.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/memory/series.h"
#include "runtime/strings/binary.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/symbol.h"

namespace qor::natives::impl {

namespace {

enum class Method : uint8_t { zlib, deflate, gzip, zstd };

bool present(std::span<const int32_t> refinements, size_t i) { return i < refinements.size() && refinements[i] >= 0; }

// The method a word names, compared without regard to case; invalid-arg
// for any other word.
Method method_of(const Cell& word) {
    constexpr std::string_view names[] = {"zlib", "deflate", "gzip", "zstd"};
    const std::string_view name = symbol::spelling(word.w2);
    for (size_t i = 0; i < std::size(names); i++) {
        const std::string_view m = names[i];
        if (m.size() != name.size()) continue;
        bool same = true;
        for (size_t k = 0; k < m.size() && same; k++) same = (name[k] | 0x20) == m[k];
        if (same) return static_cast<Method>(i);
    }
    error::fire(error::Id::invalid_arg, {word});
}

// The bytes to work on: a binary from its index, a string's UTF-8. They are
// copied out, since making the output may move the input's buffer.
std::vector<uint8_t> input_bytes(const Cell& data) {
    if (type_of(data) == TypeId::binary) return binary_type::bytes_of(data);
    const std::string text = str::to_utf8(data);
    return {text.begin(), text.end()};
}

compress::Result encode(Method m, uint8_t* out, int32_t* size, const std::vector<uint8_t>& in, int32_t level) {
    const auto n = static_cast<int32_t>(in.size());
    switch (m) {
        case Method::zlib: return zlib::compress(out, size, in.data(), n, level);
        case Method::deflate: return deflate::compress(out, size, in.data(), n, level);
        case Method::gzip: return gzip::compress(out, size, in.data(), n, level);
        case Method::zstd: return zstd::compress(out, size, in.data(), n, level);
    }
    error::unreachable();
}

compress::Result decode(Method m, uint8_t* out, int32_t* size, const std::vector<uint8_t>& in) {
    const auto n = static_cast<int32_t>(in.size());
    switch (m) {
        case Method::zlib: return zlib::decompress(out, size, in.data(), n);
        case Method::deflate: return inflate::decompress(out, size, in.data(), n);
        case Method::gzip: return gzip::decompress(out, size, in.data(), n);
        case Method::zstd: return zstd::decompress(out, size, in.data(), n);
    }
    error::unreachable();
}

// Runs the codec into a new binary! in the result slot, at most twice: a
// second time with the size the first call asked for. Anything but success
// then is invalid-data. The codec never allocates from the collected heap,
// so the output buffer stays put while it runs.
template <typename Codec>
void run_into_result(uint32_t capacity, Codec codec) {
    compress::Result r = compress::Result::Malformed;
    int32_t size = 0;
    for (int attempt = 0; attempt < 2; attempt++) {
        binary_type::make_at(*arg(0), capacity);
        series::Buffer* b = series::buffer(arg(0)->w2);
        size = static_cast<int32_t>(capacity);
        r = codec(b->head_ptr(), &size);
        if (r != compress::Result::OutputTooSmall || size < 0) break;
        capacity = static_cast<uint32_t>(size);
    }
    if (r != compress::Result::Done) error::fire(error::Id::invalid_data);
    series::Buffer* b = series::buffer(arg(0)->w2);
    b->tail = b->head + static_cast<uint32_t>(size);
}

// compress data method /level lvl: the compressed binary!.
void n_compress(bool, std::span<const int32_t> refinements) {
    const Method m = method_of(*arg(1));
    int32_t level = -1;
    if (present(refinements, 0)) {
        const Cell& lvl = *arg(static_cast<uint32_t>(refinements[0]));
        level = get_int(lvl);
        if (level < 1 || level > (m == Method::zstd ? 19 : 9)) error::fire(error::Id::out_of_range, {lvl});
    }
    const std::vector<uint8_t> in = input_bytes(*arg(0));
    if (in.size() > compress::kMaxSeriesBytes) error::fire(error::Id::too_long);
    const uint64_t n = in.size();
    const uint64_t capacity = n + (n >> 11) + 32;
    if (capacity > compress::kMaxSeriesBytes) error::fire(error::Id::too_long);
    run_into_result(static_cast<uint32_t>(capacity),
                    [&](uint8_t* out, int32_t* size) { return encode(m, out, size, in, level); });
}

// zlib and raw deflate streams do not tell their size: they decode once
// into a buffer that grows as needed (starting from a size given larger
// than the input, else from a guess), which then becomes the binary! in
// the result slot. The buffer grows to 256 MiB at most (or the size given):
// a larger output is counted to the end instead, so a stream that expands
// without bound never holds more. False when the buffer could not grow;
// *size then holds the size needed.
bool decode_growing(Method m, const std::vector<uint8_t>& in, int32_t given, int32_t* size) {
    constexpr uint64_t largest_growth = uint64_t{1} << 28;
    const bool trusted = given > 0 && static_cast<uint64_t>(given) > in.size();
    compress::GrowingBuffer out(trusted ? std::max<uint64_t>(static_cast<uint64_t>(given), largest_growth) : largest_growth);
    const uint64_t guess = trusted ? static_cast<uint64_t>(given) : std::min<uint64_t>(in.size() * 4, largest_growth);
    if (!out.reserve(guess)) return false;
    const auto n = static_cast<int32_t>(in.size());
    *size = 0;
    const compress::Result r = m == Method::zlib ? zlib::decompress_growing(out, size, in.data(), n)
                                                 : inflate::decompress_growing(out, size, in.data(), n);
    if (r == compress::Result::OutputTooSmall && *size >= 0) return false;
    if (r != compress::Result::Done) error::fire(error::Id::invalid_data);
    out.shrink_to(static_cast<uint64_t>(*size));  // before the binary! doubles the memory held
    binary_type::load_at(*arg(0), {out.data(), static_cast<size_t>(*size)});
    return true;
}

// decompress data method /size sz: the decompressed binary!. gzip and zstd
// frames that declare their size are measured from it (gzip always: its
// trailer holds the size, so /size is not needed); zlib and deflate streams
// decode once into a growing buffer.
void n_decompress(bool, std::span<const int32_t> refinements) {
    const Method m = method_of(*arg(1));
    const int32_t given = present(refinements, 0) ? get_int(*arg(static_cast<uint32_t>(refinements[0]))) : 0;
    const std::vector<uint8_t> in = input_bytes(*arg(0));
    if (in.size() > compress::kMaxSeriesBytes) error::fire(error::Id::too_long);
    if (m == Method::zlib || m == Method::deflate) {
        int32_t needed = 0;
        if (decode_growing(m, in, given, &needed)) return;
        run_into_result(static_cast<uint32_t>(needed), [&](uint8_t* out, int32_t* sz) { return decode(m, out, sz, in); });
        return;
    }
    bool measure = false;
    switch (m) {
        case Method::zlib: case Method::deflate: break;
        case Method::gzip: measure = true; break;
        case Method::zstd: measure = given <= 0; break;
    }
    int32_t size = given > 0 ? given : 0;
    if (measure) {
        size = 0;
        const compress::Result r = decode(m, nullptr, &size, in);
        if ((r != compress::Result::OutputTooSmall && r != compress::Result::Done) || size < 0)
            error::fire(error::Id::invalid_data);
    }
    run_into_result(static_cast<uint32_t>(size), [&](uint8_t* out, int32_t* sz) { return decode(m, out, sz, in); });
}

}  // namespace

void install_compress(Table& r) {
    r[Native::compress] = n_compress;
    r[Native::decompress] = n_decompress;
}

}  // namespace qor::natives::impl
