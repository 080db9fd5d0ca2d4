// Shared helpers for the deflate, zlib and gzip tests: deterministic test
// data, calls through the codec contract into vectors, a bit writer for
// hand-made streams, and running the system's tools.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/compress/deflate.h"

namespace qor::test {

using Bytes = std::vector<std::uint8_t>;
using compress::Result;
using Encoder = Result (*)(std::uint8_t*, std::int32_t*, const std::uint8_t*, std::int32_t, std::int32_t);
using Decoder = Result (*)(std::uint8_t*, std::int32_t*, const std::uint8_t*, std::int32_t);

// splitmix64: reproducible pseudo-random numbers.
struct Rng {
    std::uint64_t s;
    explicit Rng(std::uint64_t seed) : s(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
};

// English-like text: words of a small vocabulary, punctuation, line breaks.
inline Bytes make_text(std::size_t n, std::uint64_t seed = 1) {
    static const char* const words[] = {
        "the", "of", "and", "a", "to", "in", "is", "you", "that", "it", "he", "was", "for", "on",
        "are", "as", "with", "his", "they", "block", "value", "series", "word", "context", "parse",
        "function", "compress", "stream", "window", "symbol", "literal", "distance", "length"};
    Rng rng(seed);
    Bytes out;
    out.reserve(n + 16);
    while (out.size() < n) {
        const char* w = words[rng.below(std::size(words))];
        while (*w) out.push_back(static_cast<std::uint8_t>(*w++));
        const std::uint32_t r = rng.below(20);
        out.push_back(r == 0 ? '\n' : r == 1 ? ',' : r == 2 ? '.' : ' ');
    }
    out.resize(n);
    return out;
}

// Binary records: counters, small deltas and occasional noise.
inline Bytes make_binary(std::size_t n, std::uint64_t seed = 2) {
    Rng rng(seed);
    Bytes out;
    out.reserve(n + 16);
    std::uint32_t counter = 0, level = 1000;
    while (out.size() < n) {
        counter += 1 + rng.below(3);
        level += rng.below(9) - 4;
        const std::uint32_t rec[4] = {counter, level, static_cast<std::uint32_t>(rng.below(4)),
                                      rng.below(16) == 0 ? static_cast<std::uint32_t>(rng.next()) : 0u};
        for (std::uint32_t v : rec)
            for (int b = 0; b < 4; ++b) out.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
    }
    out.resize(n);
    return out;
}

inline Bytes make_random(std::size_t n, std::uint64_t seed = 3) {
    Rng rng(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng.next() >> 56);
    return out;
}

// Text, binary and random data in runs of a few kilobytes.
inline Bytes make_mixed(std::size_t n, std::uint64_t seed = 4) {
    Rng rng(seed);
    Bytes out;
    out.reserve(n);
    while (out.size() < n) {
        const std::size_t run = 1024 + rng.below(16384);
        const std::uint32_t kind = rng.below(3);
        Bytes part = kind == 0 ? make_text(run, rng.next()) : kind == 1 ? make_binary(run, rng.next()) : make_random(run, rng.next());
        out.insert(out.end(), part.begin(), part.end());
    }
    out.resize(n);
    return out;
}

// Encodes as the natives do: a first capacity of n + n/2048 + 32 and one
// retry with the size written back.
inline Bytes encode(Encoder fn, const Bytes& in, int level) {
    const auto n = static_cast<std::int32_t>(in.size());
    std::int32_t size = n + (n >> 11) + 32;
    Bytes out(static_cast<std::size_t>(size));
    Result r = fn(out.data(), &size, in.data(), n, level);
    if (r == Result::OutputTooSmall) {
        out.assign(static_cast<std::size_t>(size), 0);
        r = fn(out.data(), &size, in.data(), n, level);
    }
    EXPECT_EQ(r, Result::Done);
    out.resize(r == Result::Done ? static_cast<std::size_t>(size) : 0);
    return out;
}

// Decodes with a measuring call first; `result` receives the final code.
inline Bytes decode(Decoder fn, const Bytes& in, Result* result = nullptr) {
    const auto n = static_cast<std::int32_t>(in.size());
    std::int32_t size = 0;
    (void)fn(nullptr, &size, in.data(), n);
    Bytes out(static_cast<std::size_t>(size));
    Result r = fn(out.data(), &size, in.data(), n);
    if (r == Result::OutputTooSmall) {
        out.assign(static_cast<std::size_t>(size), 0);
        r = fn(out.data(), &size, in.data(), n);
    }
    if (result) *result = r;
    out.resize(r == Result::Done ? static_cast<std::size_t>(size) : 0);
    return out;
}

inline std::string hex(const Bytes& b) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (std::uint8_t c : b) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

// Writes bits least significant first, for hand-made deflate streams.
struct Bits {
    Bytes bytes;
    unsigned used = 0;  // bits used in the last byte
    void put(std::uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            if (used == 0) bytes.push_back(0);
            if (value >> i & 1) bytes.back() |= static_cast<std::uint8_t>(1u << used);
            used = (used + 1) & 7;
        }
    }
    // A Huffman code, most significant bit first.
    void put_code(std::uint32_t code, unsigned len) {
        for (unsigned i = len; i-- > 0;) put(code >> i & 1, 1);
    }
    void align() { used = 0; }
};

// A scratch directory for files handed to the system's tools.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/qor-deflate-XXXXXX";
        path_ = mkdtemp(tmpl) ? tmpl : "/tmp";
    }
    ~TempDir() { (void)std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void write_file(const std::string& path, const Bytes& data) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline Bytes read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline bool have_command(const std::string& probe) {
    return std::system((probe + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace qor::test
