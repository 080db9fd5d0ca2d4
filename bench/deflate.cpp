// Benchmark: our zlib encoder and decoder against the system's zlib, on a
// generated mixed corpus (text, binary records, random bytes), at levels 1,
// 6 and 9. Prints sizes and ratios; the system zlib is loaded at run time,
// so nothing but this program depends on it.
//
//   bench_deflate [megabytes]     (default 100)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_support.h"
#include "bench/corpus.h"
#include "bench/system_codecs.h"
#include "runtime/compress/deflate.h"

namespace {

using qor::bench::Bytes;
using qor::bench::seconds_since;
using qor::bench::SystemZlib;
using Clock = std::chrono::steady_clock;

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
    const Bytes corpus = qor::bench::make_corpus(static_cast<std::size_t>(mb * 1048576.0));
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
