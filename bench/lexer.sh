#!/bin/sh
# Builds the lexer benchmark in release mode and runs it: qor's lexer on a
# generated 10 MB source file next to Python's ast.parse and Lua's load of
# the same data.
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOR_BENCH=ON -DQOR_TESTS=OFF >/dev/null
ninja -C build-bench bench_lexer >/dev/null
./build-bench/bench_lexer "${1:-10}"
