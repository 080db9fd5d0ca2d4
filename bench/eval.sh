#!/bin/sh
# Interpreter speed next to Lua 5.4 and Python 3: recursive fib 27, a
# 10-million-step counting loop and 3 million function calls. Prints each
# program's time and the ratio qor / other (below 1 means qor is faster).
# Usage: bench/eval.sh BUILD_DIR (configured with -DQOR_BENCH=ON)
set -e
build=${1:-build-bench}
ninja -C "$build" bench_eval >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cat > "$tmp/b.lua" <<'LUA'
local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
local function time(f) local t = os.clock(); f(); return os.clock() - t end
print("fib27", time(function() fib(27) end))
print("count10M", time(function() local n = 0 for i = 1, 10000000 do n = n + 1 end end))
local function f(x) return x + 1 end
print("call3M", time(function() local n = 0 for i = 1, 3000000 do n = f(n) end end))
LUA

cat > "$tmp/b.py" <<'PY'
import time
def fib(n): return n if n < 2 else fib(n - 1) + fib(n - 2)
def f(x): return x + 1
def count():
    n = 0
    for _ in range(10000000): n = n + 1
def calls():
    n = 0
    for _ in range(3000000): n = f(n)
for name, body in (("fib27", lambda: fib(27)), ("count10M", count), ("call3M", calls)):
    t = time.perf_counter(); body(); print(name, time.perf_counter() - t)
PY

"$build/bench_eval" > "$tmp/qor.txt"
lua5.4 "$tmp/b.lua" | tr '\t' ' ' > "$tmp/lua.txt"
python3 "$tmp/b.py" > "$tmp/py.txt"
printf '%-10s %9s %9s %9s %10s %10s\n' program qor lua python qor/lua qor/python
join "$tmp/qor.txt" "$tmp/lua.txt" | join - "$tmp/py.txt" |
    awk '{ printf "%-10s %8.3fs %8.3fs %8.3fs %10.2f %10.2f\n", $1, $2, $3, $4, $2 / $3, $2 / $4 }'
