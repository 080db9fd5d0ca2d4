// The corpora the codec benchmarks share: a generated one (runs of
// word-like text, binary records and random bytes, the same bytes on every
// run) and one of the machine's own files (headers, libraries), with
// records and noise.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qor::bench {

using Bytes = std::vector<std::uint8_t>;

// splitmix64: a small, fast and well-mixed generator.
struct Rng {
    std::uint64_t s;
    std::uint64_t next() {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
};

// Words drawn with a skewed (roughly Zipf) distribution from a generated
// vocabulary, with punctuation and line breaks: compresses like prose.
inline void append_text(Bytes& out, std::size_t n, Rng& rng) {
    static const std::vector<std::string> vocab = [] {
        Rng r{99};
        std::vector<std::string> v;
        const char* syll[] = {"ka", "lo", "re", "mi", "tu", "sen", "dor", "al", "qua", "ix", "the", "ing", "er", "on", "st"};
        for (int i = 0; i < 4000; ++i) {
            std::string w;
            for (int k = 1 + static_cast<int>(r.below(3)); k > 0; --k) w += syll[r.below(15)];
            v.push_back(w);
        }
        return v;
    }();
    const std::size_t end = out.size() + n;
    while (out.size() < end) {
        const double u = static_cast<double>(rng.next() >> 11) * (1.0 / 9007199254740992.0);
        const auto idx = static_cast<std::size_t>(std::pow(static_cast<double>(vocab.size()), u)) - 1;
        out.insert(out.end(), vocab[idx].begin(), vocab[idx].end());
        const std::uint32_t r = rng.below(24);
        out.push_back(r == 0 ? '\n' : r == 1 ? ',' : r == 2 ? '.' : ' ');
    }
    out.resize(end);
}

// Fixed-size records with counters, slowly moving values and some noise.
inline void append_binary(Bytes& out, std::size_t n, Rng& rng) {
    const std::size_t end = out.size() + n;
    std::uint32_t counter = rng.below(1000), level = 5000;
    while (out.size() < end) {
        counter += 1 + rng.below(3);
        level += rng.below(17) - 8;
        const std::uint32_t rec[6] = {counter, level, rng.below(8), 0x3F800000u, rng.below(32) == 0 ? static_cast<std::uint32_t>(rng.next()) : 0u,
                                      static_cast<std::uint32_t>(rng.below(65536))};
        for (std::uint32_t v : rec)
            for (int b = 0; b < 4; ++b) out.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
    }
    out.resize(end);
}

inline void append_random(Bytes& out, std::size_t n, Rng& rng) {
    for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(rng.next() >> 56));
}

// 45% text, 40% binary records and 15% random bytes, in runs of 4 to 64 KB.
inline Bytes make_corpus(std::size_t size) {
    Rng rng{2024};
    Bytes out;
    out.reserve(size + 65536);
    while (out.size() < size) {
        const std::size_t run = 4096 + rng.below(60000);
        const std::uint32_t kind = rng.below(20);
        if (kind < 9) append_text(out, run, rng);
        else if (kind < 17) append_binary(out, run, rng);
        else append_random(out, run, rng);
    }
    out.resize(size);
    return out;
}

// Appends regular files under dir (recursively) until out holds limit bytes.
inline void add_files(const std::string& dir, Bytes& out, std::size_t limit, int depth = 0) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        if (out.size() >= limit) break;
        if (e->d_name[0] == '.') continue;
        const std::string path = dir + "/" + e->d_name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode) && depth < 6) {
            add_files(path, out, limit, depth + 1);
        } else if (S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size < (8 << 20)) {
            std::ifstream f(path, std::ios::binary);
            Bytes data((std::istreambuf_iterator<char>(f)), {});
            out.insert(out.end(), data.begin(), data.begin() + static_cast<long>(std::min(data.size(), limit - out.size())));
        }
    }
    closedir(d);
}

// Source text, shared libraries and binaries, generated records and noise.
inline Bytes make_file_corpus(std::size_t size) {
    Bytes out;
    out.reserve(size);
    add_files("/usr/include", out, size * 4 / 10);
    add_files("/usr/lib/x86_64-linux-gnu", out, size * 7 / 10);
    Rng rng{12345};
    while (out.size() < size * 9 / 10) {  // records: counters and small deltas
        const std::uint64_t v = out.size() / 16 + (rng.next() % 4);
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    while (out.size() < size) out.push_back(static_cast<std::uint8_t>(rng.next() >> 56));
    out.resize(size);
    return out;
}

}  // namespace qor::bench
