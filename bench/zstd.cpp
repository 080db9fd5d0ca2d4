// Benchmark of the zstd codec against the system's libzstd (loaded with
// dlopen): compression and decompression speed and compressed size at
// levels 1, 3, 9 and 19 on one mixed corpus, printed as ratios.
//
//   bench_zstd [megabytes]     (default 100)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_support.h"
#include "bench/corpus.h"
#include "bench/system_codecs.h"
#include "runtime/compress/zstd_compress.h"
#include "runtime/compress/zstd_decode.h"

using qor::bench::Bytes;

int main(int argc, char** argv) {
    const size_t mb = argc > 1 ? size_t(std::atol(argv[1])) : 100;
    const Bytes corpus = qor::bench::make_file_corpus(mb << 20);
    const auto n = int32_t(corpus.size());
    const qor::bench::SystemZstd lib;
    if (!lib.ok()) {
        std::fprintf(stderr, "libzstd not found: install libzstd1\n");
        return 1;
    }
    std::printf("corpus: %zu bytes (text, libraries, records, noise)\n", corpus.size());
    std::printf("%-6s %12s %12s %9s %14s %14s\n", "level", "qor bytes", "zstd bytes", "size q/z",
                "compress q/z", "decompress q/z");
    for (int level : {1, 3, 9, 19}) {
        int32_t size = 0;
        (void)qor::zstd::compress(nullptr, &size, corpus.data(), n, level);
        Bytes ours(size_t(size) + 0);
        auto t = std::chrono::steady_clock::now();
        if (qor::zstd::compress(ours.data(), &size, corpus.data(), n, level) != qor::compress::Result::Done) return 1;
        const double qc = qor::bench::seconds_since(t);
        ours.resize(size_t(size));
        Bytes back(corpus.size());
        int32_t cap = n;
        t = std::chrono::steady_clock::now();
        if (qor::zstd::decompress(back.data(), &cap, ours.data(), size) != qor::compress::Result::Done || back != corpus)
            return std::fprintf(stderr, "round trip failed at level %d\n", level), 1;
        const double qd = qor::bench::seconds_since(t);

        Bytes theirs(lib.bound(corpus.size()));
        t = std::chrono::steady_clock::now();
        const size_t zsize = lib.compress(theirs.data(), theirs.size(), corpus.data(), corpus.size(), level);
        const double zc = qor::bench::seconds_since(t);
        if (lib.is_error(zsize)) return 1;
        t = std::chrono::steady_clock::now();
        const size_t zback = lib.decompress(back.data(), back.size(), theirs.data(), zsize);
        const double zd = qor::bench::seconds_since(t);
        if (lib.is_error(zback) || zback != corpus.size()) return 1;
        // libzstd also reads our frame.
        if (lib.is_error(lib.decompress(back.data(), back.size(), ours.data(), ours.size())) || back != corpus)
            return std::fprintf(stderr, "libzstd cannot read our level %d\n", level), 1;
        std::printf("%-6d %12d %12zu %9.4f %8.2f (%4.0f MB/s) %6.2f (%5.0f MB/s)\n", level, size, zsize,
                    double(size) / double(zsize), qc / zc, double(mb) / qc, qd / zd, double(mb) / qd);
        std::fflush(stdout);
    }
    std::printf("size q/z below 1: ours is smaller; time ratios above 1: ours is slower\n");
    return 0;
}
