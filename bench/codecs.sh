#!/bin/sh
# Builds the codec benchmarks in release and runs them in one go:
#   bench_codecs   CRC-32, Adler-32, inflate and zstd decompression next to
#                  the system's zlib and libzstd (ratios above 1: qor is faster);
#   bench_replace  replace/all on a text and on one twice as long (a time
#                  ratio of 2 is linear).
# The system libraries are loaded at run time; the script installs them
# (through tools/install-deps.sh) when they are missing.
# Usage: bench/codecs.sh [megabytes for bench_codecs] [lines for bench_replace]
set -e
cd "$(dirname "$0")/.."

# The zstd tool the tests use brings libzstd (and zlib) with it.
sh tools/install-deps.sh

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOR_BENCH=ON -DQOR_TESTS=OFF >/dev/null
ninja -C build-bench bench_codecs bench_replace >/dev/null
./build-bench/bench_codecs ${1:-64}
echo
./build-bench/bench_replace ${2:-80000}
