// Benchmark: our zlib encoder and decoder against the system's zlib, on a
// generated mixed corpus (text, binary records, random bytes), at levels 1,
// 6 and 9. Prints sizes and ratios; the system zlib is loaded at run time,
// so nothing but this program depends on it.
//
//   bench_deflate [megabytes]     (default 100)
#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/compress/deflate.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

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
void append_text(Bytes& out, std::size_t n, Rng& rng) {
    static std::vector<std::string> vocab = [] {
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
        const double u = (rng.next() >> 11) * (1.0 / 9007199254740992.0);
        const auto idx = static_cast<std::size_t>(std::pow(vocab.size(), u)) - 1;
        out.insert(out.end(), vocab[idx].begin(), vocab[idx].end());
        const std::uint32_t r = rng.below(24);
        out.push_back(r == 0 ? '\n' : r == 1 ? ',' : r == 2 ? '.' : ' ');
    }
    out.resize(end);
}

// Fixed-size records with counters, slowly moving values and some noise.
void append_binary(Bytes& out, std::size_t n, Rng& rng) {
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

void append_random(Bytes& out, std::size_t n, Rng& rng) {
    for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(rng.next() >> 56));
}

Bytes make_corpus(std::size_t size) {
    Rng rng{2024};
    Bytes out;
    out.reserve(size + 65536);
    while (out.size() < size) {
        const std::size_t run = 4096 + rng.below(60000);
        const std::uint32_t kind = rng.below(20);  // 45% text, 40% binary, 15% random
        if (kind < 9) append_text(out, run, rng);
        else if (kind < 17) append_binary(out, run, rng);
        else append_random(out, run, rng);
    }
    out.resize(size);
    return out;
}

// The few entry points of the system zlib that we compare with.
struct SystemZlib {
    using Compress2 = int (*)(unsigned char*, unsigned long*, const unsigned char*, unsigned long, int);
    using Uncompress = int (*)(unsigned char*, unsigned long*, const unsigned char*, unsigned long);
    void* handle = nullptr;
    Compress2 compress2 = nullptr;
    Uncompress uncompress = nullptr;

    SystemZlib() {
        handle = dlopen("libz.so.1", RTLD_NOW);
        if (!handle) return;
        compress2 = reinterpret_cast<Compress2>(dlsym(handle, "compress2"));
        uncompress = reinterpret_cast<Uncompress>(dlsym(handle, "uncompress"));
    }
    ~SystemZlib() {
        if (handle) dlclose(handle);
    }
    bool ok() const { return compress2 && uncompress; }
};

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

struct Run {
    std::size_t packed = 0;
    double enc_s = 0, dec_s = 0;
    bool ok = false;
};

Run run_ours(const Bytes& in, int level) {
    Run r;
    const auto n = static_cast<std::int32_t>(in.size());
    Bytes packed(in.size() + (in.size() >> 11) + 64);
    std::int32_t size = static_cast<std::int32_t>(packed.size());
    auto t = Clock::now();
    auto res = qor::zlib::compress(packed.data(), &size, in.data(), n, level);
    r.enc_s = seconds_since(t);
    if (res != qor::compress::Result::Done) return r;
    r.packed = static_cast<std::size_t>(size);
    Bytes out(in.size());
    std::int32_t out_size = n;
    t = Clock::now();
    res = qor::zlib::decompress(out.data(), &out_size, packed.data(), size);
    r.dec_s = seconds_since(t);
    r.ok = res == qor::compress::Result::Done && out == in;
    return r;
}

Run run_system(const SystemZlib& z, const Bytes& in, int level) {
    Run r;
    Bytes packed(in.size() + (in.size() >> 11) + 64);
    unsigned long size = packed.size();
    auto t = Clock::now();
    if (z.compress2(packed.data(), &size, in.data(), in.size(), level) != 0) return r;
    r.enc_s = seconds_since(t);
    r.packed = size;
    Bytes out(in.size());
    unsigned long out_size = out.size();
    t = Clock::now();
    const int res = z.uncompress(out.data(), &out_size, packed.data(), size);
    r.dec_s = seconds_since(t);
    r.ok = res == 0 && out == in;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const double mb = argc > 1 ? std::atof(argv[1]) : 100.0;
    if (!(mb > 0 && mb <= 1500)) {
        std::fprintf(stderr, "usage: %s [megabytes, up to 1500]\n", argv[0]);
        return 2;
    }
    const SystemZlib z;
    if (!z.ok()) {
        std::fprintf(stderr, "the system zlib (libz.so.1) could not be loaded\n");
        return 1;
    }
    const Bytes corpus = make_corpus(static_cast<std::size_t>(mb * 1048576.0));
    const double size_mb = static_cast<double>(corpus.size()) / 1048576.0;
    std::printf("corpus: %.1f MB mixed (45%% text, 40%% binary records, 15%% random)\n", size_mb);
    std::printf("%-5s | %-17s | %-17s | %-23s | %-23s\n", "level", "ratio qor / zlib", "qor vs zlib size",
                "compress MB/s qor/zlib", "inflate MB/s qor/zlib");
    int failures = 0;
    for (int level : {1, 6, 9}) {
        const Run ours = run_ours(corpus, level);
        const Run sys = run_system(z, corpus, level);
        if (!ours.ok || !sys.ok) {
            std::printf("level %d: round trip FAILED (qor %s, zlib %s)\n", level, ours.ok ? "ok" : "bad", sys.ok ? "ok" : "bad");
            ++failures;
            continue;
        }
        const double ratio_q = static_cast<double>(corpus.size()) / static_cast<double>(ours.packed);
        const double ratio_z = static_cast<double>(corpus.size()) / static_cast<double>(sys.packed);
        std::printf("%-5d | %6.3f / %6.3f   | %7.4fx          | %7.1f / %7.1f (%.2fx) | %7.1f / %7.1f (%.2fx)\n", level, ratio_q,
                    ratio_z, static_cast<double>(ours.packed) / static_cast<double>(sys.packed), size_mb / ours.enc_s,
                    size_mb / sys.enc_s, sys.enc_s / ours.enc_s, size_mb / ours.dec_s, size_mb / sys.dec_s,
                    sys.dec_s / ours.dec_s);
    }
    std::printf("(size column: our output size over zlib's, below 1 is smaller; speed (Nx): our speed over zlib's)\n");
    return failures ? 1 : 0;
}
