#!/bin/sh
# Peak memory and time of building and dropping a 100 MB tree ten times:
# the collector (bench_gc) next to the same program in Python 3 and Lua 5.4.
# Usage: bench/gc.sh [path to bench_gc]   (default build/bench/bench_gc)
set -eu
BIN=${1:-build/bench/bench_gc}
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

cat > "$TMP/tree.py" <<'PY'
for r in range(10):
    root = []
    for i in range(1000):
        branch = []
        for j in range(100):
            branch.append(bytearray([(r + i + j) & 255]) * 1000)
        root.append(branch)
    root = None
PY

cat > "$TMP/tree.lua" <<'LUA'
for r = 0, 9 do
  local root = {}
  for i = 0, 999 do
    local branch = {}
    for j = 0, 99 do
      branch[j + 1] = string.rep(string.char((r + i + j) % 256), 1000)
    end
    root[i + 1] = branch
  end
  root = nil
end
LUA

# Runs a command under /usr/bin/time -v; prints "seconds peak_kb".
measure() {
    /usr/bin/time -v "$@" > "$TMP/out" 2> "$TMP/time"
    secs=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$TMP/time")
    kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$TMP/time")
    echo "$secs $kb"
}

set -- $(measure "$BIN"); QT=$1; QM=$2
cat "$TMP/out"
set -- $(measure python3 "$TMP/tree.py"); PT=$1; PM=$2
set -- $(measure lua5.4 "$TMP/tree.lua"); LT=$1; LM=$2

printf '%-10s %10s %14s\n' program seconds "peak MB"
printf '%-10s %10s %14d\n' qor "$QT" $((QM / 1024))
printf '%-10s %10s %14d\n' python3 "$PT" $((PM / 1024))
printf '%-10s %10s %14d\n' lua5.4 "$LT" $((LM / 1024))
awk -v q="$QM" -v p="$PM" -v l="$LM" -v qt="$QT" -v pt="$PT" -v lt="$LT" 'BEGIN {
    printf "peak memory: qor/python3 %.2f, qor/lua5.4 %.2f\n", q / p, q / l
    printf "time:        qor/python3 %.2f, qor/lua5.4 %.2f\n", qt / pt, qt / lt
}'
