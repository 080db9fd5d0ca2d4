#!/bin/sh
# rejoin next to Python's join: one million joins of four values (two
# strings, two integers) in one loop on each side; prints both times and
# the ratio qor / Python (below 1 means qor is faster). The loop itself is
# measured on both sides and taken off, so the ratio is the joins' own.
# Usage: bench/rejoin.sh [path to qor]  (default: build/release/qor)
set -e
cd "$(dirname "$0")/.."
QOR=${1:-build/release/qor}
[ -x "$QOR" ] || { echo "build qor first (make build)"; exit 1; }
q=$("$QOR" <<'QOR' | grep -E '^[0-9.]+$'
t: now/precise loop 1000000 [] e: to float! difference now/precise t
t: now/precise loop 1000000 [rejoin ["x" 1 "y" 2]] j: to float! difference now/precise t
print j - e
QOR
)
p=$(python3 - <<'PY'
import time
t = time.perf_counter()
for i in range(1000000): pass
e = time.perf_counter() - t
t = time.perf_counter()
for i in range(1000000): s = "".join(["x", str(1), "y", str(2)])
print(time.perf_counter() - t - e)
PY
)
echo "rejoin x1M: qor ${q}s python ${p}s ratio $(python3 -c "print(round($q / $p, 2))")"
