#!/bin/sh
# Builds the vector benchmark in release and runs it: element-wise vector
# math on 10 million elements next to Python's array loop and NumPy (when
# installed); ratios above 1 mean qor is faster.
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOR_BENCH=ON -DQOR_TESTS=OFF >/dev/null
ninja -C build-bench bench_vector >/dev/null
# Python with NumPy when one of the interpreters at hand has it.
for python in python3 /usr/bin/python3; do
  if "$python" -c "import numpy" 2>/dev/null; then PYTHON=$python; export PYTHON; break; fi
done
./build-bench/bench_vector
