#!/bin/sh
# Peak memory and time of an allocation-heavy script run by the real qor,
# next to the same program in Python 3 and Lua 5.4: three million short
# strings made and dropped, while a working set of 100,000 strings is kept
# and replaced round-robin (so each collection has a live set to mark).
# Prints both figures per program and the ratios qor / other (below 1
# means qor uses less or is faster).
# Usage: bench/alloc_script.sh [path to qor]   (default build/release/qor)
set -eu
cd "$(dirname "$0")/.."
QOR=${1:-build/release/qor}
[ -x "$QOR" ] || { echo "build qor first (make build)"; exit 1; }
sh tools/install-deps.sh
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

cat > "$TMP/alloc.qor" <<'QOR'
Qor []
keep: make block! 100000
loop 100000 [append keep copy "0123456789"]
n: 0
repeat i 3000000 [
    s: copy "abcdefghijklmnopqrstuvwxyz"
    append s i
    poke keep i // 100000 + 1 s
    n: n + length? s
]
print n
QOR

cat > "$TMP/alloc.py" <<'PY'
keep = ["0123456789" for _ in range(100000)]
n = 0
for i in range(1, 3000001):
    s = "abcdefghijklmnopqrstuvwxyz" + str(i)
    keep[i % 100000] = s
    n += len(s)
print(n)
PY

cat > "$TMP/alloc.lua" <<'LUA'
local keep = {}
for i = 1, 100000 do keep[i] = "0123456789" end
local n = 0
for i = 1, 3000000 do
  local s = "abcdefghijklmnopqrstuvwxyz" .. tostring(i)
  keep[i % 100000 + 1] = s
  n = n + #s
end
print(n)
LUA

# Runs a command under /usr/bin/time -v; prints "seconds peak_kb".
measure() {
    /usr/bin/time -v "$@" > "$TMP/out" 2> "$TMP/time"
    secs=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$TMP/time")
    kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$TMP/time")
    echo "$secs $kb $(cat "$TMP/out")"
}

set -- $(measure "$QOR" "$TMP/alloc.qor"); QT=$1; QM=$2; QN=$3
set -- $(measure python3 "$TMP/alloc.py"); PT=$1; PM=$2; PN=$3
set -- $(measure lua5.4 "$TMP/alloc.lua"); LT=$1; LM=$2; LN=$3
[ "$QN" = "$PN" ] && [ "$QN" = "$LN" ] || echo "the programs disagree: $QN $PN $LN"

printf '%-10s %10s %14s\n' program seconds "peak MB"
printf '%-10s %10s %14d\n' qor "$QT" $((QM / 1024))
printf '%-10s %10s %14d\n' python3 "$PT" $((PM / 1024))
printf '%-10s %10s %14d\n' lua5.4 "$LT" $((LM / 1024))
awk -v q="$QM" -v p="$PM" -v l="$LM" -v qt="$QT" -v pt="$PT" -v lt="$LT" 'BEGIN {
    printf "peak memory: qor/python3 %.2f, qor/lua5.4 %.2f\n", q / p, q / l
    printf "time:        qor/python3 %.2f, qor/lua5.4 %.2f\n", qt / pt, qt / lt
}'
