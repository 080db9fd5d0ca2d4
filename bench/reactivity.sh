#!/bin/sh
# A chain of reactions: n reactors where each one's field follows the one
# before it (r2/v: r1/v + 1 ...), set off by changing the first. The time
# per reaction should stay flat as n grows (the chain runs in linear time).
# Beside it, the same chain in Python 3 with observer callbacks on property
# setters, for scale.
# Usage: bench/reactivity.sh [path to qor]  (default: build/release/qor)
set -e
cd "$(dirname "$0")/.."
QOR=${1:-build/release/qor}
[ -x "$QOR" ] || { echo "build qor first (make build)"; exit 1; }
script=$(mktemp --suffix=.qor)
trap 'rm -f "$script"' EXIT
cat > "$script" <<'QOR'
Qor []
chain: func [n /local t][
	clear-reactions
	repeat i n [set load rejoin ["zr" i] reactor [v: 0]]
	repeat i n - 1 [react/later load rejoin ["zr" i + 1 "/v: zr" i "/v + 1"]]
	t: now/precise
	zr1/v: 1
	t: to float! difference now/precise t
	unless n = get in get load rejoin ["zr" n] 'v [print "wrong result"]
	t
]
foreach n [1000 2000 4000 8000 16000][
	t: chain n
	print rejoin ["qor    n=" n "  " round/to t 0.0001 " s  " round/to t * 1e6 / n 0.01 " us per reaction"]
]
QOR
"$QOR" "$script"
python3 - <<'PY'
import sys, threading, time
sys.setrecursionlimit(200000)
threading.stack_size(512 * 1024 * 1024)
class R:
    def __init__(self): self._v = 0; self.watchers = []
    @property
    def v(self): return self._v
    @v.setter
    def v(self, x):
        self._v = x
        for w in self.watchers: w()
def run(n):
    rs = [R() for _ in range(n)]
    for i in range(n - 1):
        a, b = rs[i], rs[i + 1]
        a.watchers.append(lambda a=a, b=b: setattr(b, "v", a.v + 1))
    t = time.perf_counter()
    rs[0].v = 1
    t = time.perf_counter() - t
    print(f"python n={n}  {t:.4f} s  {t * 1e6 / n:.2f} us per reaction")
for n in (1000, 2000, 4000, 8000, 16000):
    th = threading.Thread(target=run, args=(n,))
    th.start()
    th.join()
PY
