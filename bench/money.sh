#!/bin/sh
# Builds the money benchmark in release and runs it: money! addition and
# multiplication next to Python's decimal on the same values (ratios above 1
# mean money! is faster).
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOR_BENCH=ON -DQOR_TESTS=OFF >/dev/null
ninja -C build-bench bench_money >/dev/null
./build-bench/bench_money
