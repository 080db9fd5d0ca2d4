#!/bin/sh
# Every speed ratio of the interpreter and its codecs in one go: the codec
# benchmarks (CRC-32, inflate and zstd next to zlib and libzstd, replace/all
# on a text and on one twice as long), then the interpreter's programs next
# to Lua 5.4 and Python 3, then rejoin next to Python's join. All of them
# run from one release build in build-bench.
# Usage: bench/speed.sh
set -e
cd "$(dirname "$0")/.."
sh bench/codecs.sh
ninja -C build-bench qor >/dev/null
echo
sh bench/eval.sh build-bench
echo
sh bench/rejoin.sh build-bench/qor
