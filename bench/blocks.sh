#!/bin/sh
# Builds the block benchmark in release and runs it: block append, sort and
# find next to the same work in Lua 5.4 and Python 3 (ratios above 1 mean
# the block side is faster).
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOR_BENCH=ON -DQOR_TESTS=OFF >/dev/null
ninja -C build-bench bench_blocks >/dev/null
./build-bench/bench_blocks
