#!/bin/sh
# Interpreter speed next to Lua 5.4 and Python 3: recursive fib 30, a
# 10-million-step while loop, 3 million calls of a one- and of a
# three-argument function, 3 million updates of an object's field, and a
# block of a million values built by appending and summed by foreach. The
# same programs in all three languages. Prints each program's median time
# over five runs and the ratio qor / other (below 1 means qor is faster).
# Usage: bench/eval.sh BUILD_DIR (configured with -DQOR_BENCH=ON)
set -e
build=${1:-build-bench}
ninja -C "$build" bench_eval >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cat > "$tmp/b.lua" <<'LUA'
local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
local function time(f) local t = os.clock(); f(); return os.clock() - t end
print("fib30", time(function() fib(30) end))
print("count10M", time(function() local n, i = 0, 0 while i < 10000000 do n = n + 1 i = i + 1 end end))
local function f(x) return x + 1 end
print("call3M", time(function() local n = 0 for i = 1, 3000000 do n = f(n) end end))
local function g(a, b, c) return a + b + c end
print("call3args", time(function() local n = 0 for i = 1, 3000000 do n = g(n, 1, 0) end end))
print("field3M", time(function() local o = {x = 0} for i = 1, 3000000 do o.x = o.x + 1 end end))
print("foreach1M", time(function()
    local b = {} for i = 1, 1000000 do b[#b + 1] = 1 end
    local s = 0 for _, v in ipairs(b) do s = s + v end end))
LUA

cat > "$tmp/b.py" <<'PY'
import time
def fib(n): return n if n < 2 else fib(n - 1) + fib(n - 2)
def f(x): return x + 1
def g(a, b, c): return a + b + c
class O: pass
def count():
    n = 0
    i = 0
    while i < 10000000:
        n = n + 1
        i = i + 1
def calls():
    n = 0
    for _ in range(3000000): n = f(n)
def calls3():
    n = 0
    for _ in range(3000000): n = g(n, 1, 0)
def field():
    o = O()
    o.x = 0
    for _ in range(3000000): o.x = o.x + 1
def each():
    b = []
    for _ in range(1000000): b.append(1)
    s = 0
    for v in b: s = s + v
for name, body in (("fib30", lambda: fib(30)), ("count10M", count), ("call3M", calls),
                   ("call3args", calls3), ("field3M", field), ("foreach1M", each)):
    t = time.perf_counter(); body(); print(name, time.perf_counter() - t)
PY

# Each language's programs run five times, taking turns; a program's time
# is the median of its five (the machine's load swings between runs).
runs=5
for i in $(seq $runs); do
    "$build/bench_eval" >> "$tmp/qor.all"
    lua5.4 "$tmp/b.lua" | tr '\t' ' ' >> "$tmp/lua.all"
    python3 "$tmp/b.py" >> "$tmp/py.all"
done
# The median of each program's times, the programs in their first order.
median() {
    awk '{ if (!($1 in seen)) { seen[$1] = 1; order[++n] = $1 } t[$1, ++c[$1]] = $2 }
         END { for (i = 1; i <= n; i++) { k = order[i]; m = c[k]
                 for (a = 1; a <= m; a++) v[a] = t[k, a]
                 for (a = 2; a <= m; a++) for (b = a; b > 1 && v[b - 1] > v[b]; b--) { x = v[b]; v[b] = v[b - 1]; v[b - 1] = x }
                 print k, v[int((m + 1) / 2)] } }' "$1"
}
median "$tmp/qor.all" > "$tmp/qor.txt"
median "$tmp/lua.all" > "$tmp/lua.txt"
median "$tmp/py.all" > "$tmp/py.txt"
printf '%-10s %9s %9s %9s %10s %10s\n' program qor lua python qor/lua qor/python
# The programs in qor's order, each with its times from the three files.
awk 'FILENAME == ARGV[1] { order[++n] = $1; q[$1] = $2 }
     FILENAME == ARGV[2] { l[$1] = $2 }
     FILENAME == ARGV[3] { p[$1] = $2 }
     END { for (i = 1; i <= n; i++) { k = order[i]
             printf "%-10s %8.3fs %8.3fs %8.3fs %10.2f %10.2f\n", k, q[k], l[k], p[k], q[k] / l[k], q[k] / p[k] } }' \
    "$tmp/qor.txt" "$tmp/lua.txt" "$tmp/py.txt"
