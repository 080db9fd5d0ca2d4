// Benchmark of the zstd codec against the system's libzstd (loaded with
// dlopen): compression and decompression speed and compressed size at
// levels 1, 3, 9 and 19 on one mixed corpus, printed as ratios.
//
//   bench_zstd [megabytes]     (default 100)
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/compress/zstd_compress.h"
#include "runtime/compress/zstd_decode.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Rng {
    uint64_t s;
    uint64_t next() {
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

// Appends regular files under dir (recursively) until out holds limit bytes.
void add_files(const std::string& dir, Bytes& out, size_t limit, int depth = 0) {
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
            out.insert(out.end(), data.begin(), data.begin() + long(std::min(data.size(), limit - out.size())));
        }
    }
    closedir(d);
}

// Source text, shared libraries and binaries, generated records and noise.
Bytes make_corpus(size_t size) {
    Bytes out;
    out.reserve(size);
    add_files("/usr/include", out, size * 4 / 10);
    add_files("/usr/lib/x86_64-linux-gnu", out, size * 7 / 10);
    Rng rng{12345};
    while (out.size() < size * 9 / 10) {  // records: counters and small deltas
        const uint64_t v = out.size() / 16 + (rng.next() % 4);
        for (int i = 0; i < 8; ++i) out.push_back(uint8_t(v >> (8 * i)));
    }
    while (out.size() < size) out.push_back(uint8_t(rng.next() >> 56));
    out.resize(size);
    return out;
}

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

struct LibZstd {
    size_t (*compress)(void*, size_t, const void*, size_t, int) = nullptr;
    size_t (*decompress)(void*, size_t, const void*, size_t) = nullptr;
    size_t (*bound)(size_t) = nullptr;
    unsigned (*is_error)(size_t) = nullptr;
    bool load() {
        void* h = dlopen("libzstd.so.1", RTLD_NOW);
        if (!h) h = dlopen("libzstd.so", RTLD_NOW);
        if (!h) return false;
        compress = reinterpret_cast<decltype(compress)>(dlsym(h, "ZSTD_compress"));
        decompress = reinterpret_cast<decltype(decompress)>(dlsym(h, "ZSTD_decompress"));
        bound = reinterpret_cast<decltype(bound)>(dlsym(h, "ZSTD_compressBound"));
        is_error = reinterpret_cast<decltype(is_error)>(dlsym(h, "ZSTD_isError"));
        return compress && decompress && bound && is_error;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const size_t mb = argc > 1 ? size_t(std::atol(argv[1])) : 100;
    const Bytes corpus = make_corpus(mb << 20);
    const auto n = int32_t(corpus.size());
    LibZstd lib;
    if (!lib.load()) {
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
        const double qc = seconds_since(t);
        ours.resize(size_t(size));
        Bytes back(corpus.size());
        int32_t cap = n;
        t = std::chrono::steady_clock::now();
        if (qor::zstd::decompress(back.data(), &cap, ours.data(), size) != qor::compress::Result::Done || back != corpus)
            return std::fprintf(stderr, "round trip failed at level %d\n", level), 1;
        const double qd = seconds_since(t);

        Bytes theirs(lib.bound(corpus.size()));
        t = std::chrono::steady_clock::now();
        const size_t zsize = lib.compress(theirs.data(), theirs.size(), corpus.data(), corpus.size(), level);
        const double zc = seconds_since(t);
        if (lib.is_error(zsize)) return 1;
        t = std::chrono::steady_clock::now();
        const size_t zback = lib.decompress(back.data(), back.size(), theirs.data(), zsize);
        const double zd = seconds_since(t);
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
