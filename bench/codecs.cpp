// Decoding speed of the codecs next to the system's zlib and libzstd, in one
// run: CRC-32 and Adler-32, inflate of zlib streams and zstd decompression.
// The streams are made by the system libraries, so both decoders read the
// same bytes; each decoded result is checked against the corpus. Every
// figure is the best of several runs of processor time, ours and theirs
// taken in turn, so that a busy machine slows both sides alike.
//
//   bench_codecs [megabytes]     (default 64)
//
// Prints MB/s of both sides and their ratio (above 1: ours is faster) next
// to the speed the codec is meant to reach.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bench/bench_support.h"
#include "bench/corpus.h"
#include "bench/system_codecs.h"
#include "runtime/compress/deflate.h"
#include "runtime/compress/zstd_decode.h"
#include "runtime/hash/checksum.h"

namespace {

using qor::bench::Bytes;

constexpr int kRuns = 7;

// Best time of `runs` calls of each side, alternating; a side that answers
// false failed (wrong result) and is reported as such.
struct Pair {
    double ours = 1e30, theirs = 1e30;
    bool ok = true;
};

Pair race(const std::function<bool()>& ours, const std::function<bool()>& theirs) {
    Pair p;
    for (int i = 0; i < kRuns; ++i) {
        double t = qor::bench::thread_cpu_seconds();
        p.ok &= ours();
        p.ours = std::min(p.ours, qor::bench::thread_cpu_seconds() - t);
        t = qor::bench::thread_cpu_seconds();
        p.ok &= theirs();
        p.theirs = std::min(p.theirs, qor::bench::thread_cpu_seconds() - t);
    }
    return p;
}

int failures = 0;

void report(const std::string& what, const char* lib, double megabytes, const Pair& p, double goal) {
    if (!p.ok) {
        std::printf("%-34s FAILED: a decoder gave a wrong result\n", what.c_str());
        ++failures;
        return;
    }
    const double ratio = p.theirs / p.ours;
    std::printf("%-34s %9.0f %9.0f %-8s %6.2fx", what.c_str(), megabytes / p.ours, megabytes / p.theirs, lib, ratio);
    if (goal > 0) std::printf("   %s %.2fx", ratio >= goal ? "meets" : "BELOW", goal);
    std::printf("\n");
    std::fflush(stdout);
}

void checksums(const qor::bench::SystemZlib& z, const Bytes& data, double mb) {
    uint32_t ours = 0, theirs = 0;
    Pair p = race([&] { ours = qor::checksum::crc32(data); return true; },
                  [&] { theirs = static_cast<uint32_t>(z.crc32(0, data.data(), static_cast<unsigned>(data.size()))); return true; });
    p.ok = ours == theirs;
    report("crc32", "zlib", mb, p, 0.8);
    p = race([&] { ours = qor::checksum::adler32(data); return true; },
             [&] { theirs = static_cast<uint32_t>(z.adler32(1, data.data(), static_cast<unsigned>(data.size()))); return true; });
    p.ok = ours == theirs;
    report("adler32", "zlib", mb, p, 0.0);
}

using Decoder = qor::compress::Result (*)(uint8_t*, int32_t*, const uint8_t*, int32_t);

// Our decoder (through the codec contract) against the library's
// (`theirs` fills the buffer it is given and answers whether it could),
// on the same packed bytes; both must give the corpus back.
template <typename Theirs>
Pair race_decoders(Decoder ours, Theirs theirs, const Bytes& packed, const Bytes& data) {
    Bytes out(data.size());
    return race(
        [&] {
            auto size = static_cast<int32_t>(out.size());
            return ours(out.data(), &size, packed.data(), static_cast<int32_t>(packed.size())) ==
                       qor::compress::Result::Done &&
                   static_cast<size_t>(size) == data.size() && out == data;
        },
        [&] { return theirs(out) && out == data; });
}

void inflate(const qor::bench::SystemZlib& z, const Bytes& data, double mb, const char* corpus, int level) {
    Bytes packed(data.size() + data.size() / 1000 + 64);
    unsigned long packed_size = packed.size();
    if (z.compress2(packed.data(), &packed_size, data.data(), data.size(), level) != 0) {
        std::printf("zlib could not compress the %s corpus\n", corpus);
        ++failures;
        return;
    }
    packed.resize(packed_size);
    const Pair p = race_decoders(
        qor::zlib::decompress,
        [&](Bytes& out) {
            unsigned long size = out.size();
            return z.uncompress(out.data(), &size, packed.data(), packed.size()) == 0 && size == out.size();
        },
        packed, data);
    report("inflate, " + std::string(corpus) + ", zlib level " + std::to_string(level), "zlib", mb, p, 0.9);
}

void zstd_decompress(const qor::bench::SystemZstd& z, const Bytes& data, double mb, const char* corpus, int level) {
    Bytes packed(z.bound(data.size()));
    const std::size_t packed_size = z.compress(packed.data(), packed.size(), data.data(), data.size(), level);
    if (z.is_error(packed_size)) {
        std::printf("libzstd could not compress the %s corpus\n", corpus);
        ++failures;
        return;
    }
    packed.resize(packed_size);
    const Pair p = race_decoders(
        qor::zstd::decompress,
        [&](Bytes& out) {
            const std::size_t size = z.decompress(out.data(), out.size(), packed.data(), packed.size());
            return !z.is_error(size) && size == out.size();
        },
        packed, data);
    report("zstd decompress, " + std::string(corpus) + ", level " + std::to_string(level), "libzstd", mb, p, 0.7);
}

}  // namespace

int main(int argc, char** argv) {
    const double mb = argc > 1 ? std::atof(argv[1]) : 64.0;
    if (!(mb > 0 && mb <= 1024)) {
        std::fprintf(stderr, "usage: %s [megabytes, up to 1024]\n", argv[0]);
        return 2;
    }
    const qor::bench::SystemZlib zlib;
    const qor::bench::SystemZstd zstd;
    if (!zlib.ok() || !zstd.ok()) {
        std::fprintf(stderr, "the system zlib (libz.so.1) or libzstd (libzstd.so.1) could not be loaded\n");
        return 1;
    }
    const auto size = static_cast<std::size_t>(mb * 1048576.0);
    const Bytes mixed = qor::bench::make_corpus(size);
    const Bytes files = qor::bench::make_file_corpus(size);
    std::printf("corpora of %.0f MB: generated (text, records, random) and files (headers, libraries); best of %d runs\n",
                mb, kRuns);
    std::printf("%-34s %9s %9s %-8s %7s   %s\n", "", "qor MB/s", "lib MB/s", "lib", "qor/lib", "goal");
    checksums(zlib, mixed, mb);
    for (int level : {1, 6, 9}) inflate(zlib, mixed, mb, "generated", level);
    inflate(zlib, files, mb, "files", 6);
    for (int level : {1, 3, 9}) zstd_decompress(zstd, mixed, mb, "generated", level);
    for (int level : {3, 19}) zstd_decompress(zstd, files, mb, "files", level);
    return failures ? 1 : 0;
}
